// Off-screen surfaces, the viewport and orientations, the frame clear and
// backgrounds, grabbing, the swap file and screenshots.
#include <png.h>
#include <sys/stat.h>

#include "gfx/backgrounds.h"
#include "gfx/fonts.h"
#include "gfx/gl_state.h"
#include "gfx/grab.h"
#include "gfx/screenshot.h"
#include "gfx/surfaces.h"
#include "gfx/swap_file.h"
#include "gfx/texture_store.h"
#include "gfx/viewport.h"
#include "gfx/context.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255}, kBlack{0, 0, 0, 255};

std::vector<uint8_t> slot_pixels(int slot) {
  ImageBuffer img;
  if (!gfx_read_sprite_pixels(slot, img)) return {};
  return std::vector<uint8_t>(img.pixels, img.pixels + size_t(img.width) * img.height * 4);
}

bool file_exists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

}  // namespace

using Surfaces = GfxTest;

TEST_F(Surfaces, SurfaceStretchedOverTheWindowIsUpright) {
  ASSERT_EQ(gfx_create_screen(0, 5, 640, 400), 1);
  const SpriteSlot& s = g_gfx->slots[5];
  EXPECT_EQ(s.textureWidth, 1024);
  EXPECT_EQ(s.textureHeight, 512);
  EXPECT_FLOAT_EQ(s.sExtent, 0.625f);
  EXPECT_FLOAT_EQ(s.tExtent, 0.78125f);
  EXPECT_EQ(g_gfx->screens[0].slot, 5);

  gfx_use_screen(0);
  int tw = 0, th = 0;
  gfx_get_target_size(tw, th);
  EXPECT_EQ(tw, 640);
  EXPECT_EQ(th, 400);
  gfx_draw_rect(0, 0, 640, 400, 0x000000);
  gfx_draw_rect(0, 0, 20, 20, 0x0000FF);      // top-left red
  gfx_draw_rect(620, 380, 20, 20, 0x00FF00);  // bottom-right green
  EXPECT_EQ(gfx_get_pixel(5, 5), 0x0000FF);
  EXPECT_EQ(gfx_get_pixel(630, 390), 0x00FF00);
  EXPECT_EQ(gfx_get_pixel(300, 200), 0);
  gfx_use_screen(-1);
  gfx_get_target_size(tw, th);
  EXPECT_EQ(tw, kWinW);
  EXPECT_EQ(th, kWinH);

  // The window is untouched by the surface's drawing.
  EXPECT_EQ(pixel(2, 2), kBlack);
  gfx_smooth_shading(0);
  gfx_draw_sprite_scaled(5, 0, 0, kWinW, kWinH);
  EXPECT_EQ(pixel(2, 2), kRed);
  EXPECT_EQ(pixel(kWinW - 3, kWinH - 3), kGreen);
  EXPECT_EQ(pixel(kWinW - 3, 2), kBlack);
  EXPECT_EQ(pixel(160, 100), kBlack);
  // Drawn at its own size it covers 640 x 400 from the corner (clipped here).
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_draw_sprite(5, 0, 0);
  EXPECT_EQ(pixel(19, 19), kRed);
  EXPECT_EQ(pixel(20, 20), kBlack);
}

TEST_F(Surfaces, KeyColourPunchesATransparentHole) {
  ASSERT_EQ(gfx_create_screen(1, 6, 64, 32), 1);
  gfx_use_screen(1);
  gfx_alpha_mode(0);
  gfx_draw_rect(0, 0, 64, 32, 0x00FF00);
  gfx_draw_rect(10, 10, 8, 8, 0x8000FF);  // the sprite colour key
  gfx_use_screen(-1);
  gfx_alpha_mode(-1);
  gfx_draw_rect(0, 0, kWinW, kWinH, 0xFF0000);  // blue window
  gfx_draw_sprite(6, 100, 100);
  EXPECT_EQ(pixel(105, 105), kGreen);
  EXPECT_EQ(pixel(113, 113), kBlue);  // through the hole
  auto p = slot_pixels(6);
  ASSERT_EQ(p.size(), 64u * 32 * 4);
  EXPECT_EQ(p[(12 * 64 + 12) * 4 + 3], 0);
  EXPECT_EQ(p[(2 * 64 + 2) * 4 + 3], 255);
}

TEST_F(Surfaces, CreationRulesAndNumbers) {
  EXPECT_EQ(gfx_gen_screen(), 31);
  ASSERT_EQ(gfx_create_screen(31, 7, 3, 5), 1);
  EXPECT_EQ(g_gfx->slots[7].textureWidth, 4);  // surfaces pad to at least 2, not 16
  EXPECT_EQ(g_gfx->slots[7].textureHeight, 8);
  EXPECT_FLOAT_EQ(g_gfx->slots[7].sExtent, 0.75f);
  EXPECT_EQ(gfx_gen_screen(), 30);
  EXPECT_EQ(gfx_create_screen(32, 7, 16, 16), 0);
  EXPECT_EQ(gfx_create_screen(-1, 7, 16, 16), 0);
  EXPECT_EQ(gfx_create_screen(2, 8, 0, 16), 0);
  EXPECT_EQ(gfx_create_screen(2, -1, 16, 16), 0);
  EXPECT_EQ(gfx_create_screen(2, 8, 100000, 16), 0);
  // A screen that was not created, or one above 31, leaves drawing on the window.
  gfx_use_screen(2);
  EXPECT_EQ(g_gfx->currentScreen, -1);
  gfx_use_screen(40);
  EXPECT_EQ(g_gfx->currentScreen, -1);
  gfx_draw_rect(0, 0, 4, 4, 0xFFFFFF);
  EXPECT_EQ(pixel(1, 1), (Rgba{255, 255, 255, 255}));
  // Using a surface twice in a row ends the first use cleanly.
  gfx_use_screen(31);
  gfx_use_screen(31);
  gfx_draw_rect(0, 0, 3, 5, 0x0000FF);
  gfx_use_screen(-1);
  auto p = slot_pixels(7);
  ASSERT_EQ(p.size(), 3u * 5 * 4);
  EXPECT_EQ(p[0], 255);
}

TEST_F(Surfaces, ReloadingTheTargetSpriteRebuildsTheSurface) {
  ASSERT_EQ(gfx_create_screen(3, 9, 32, 32), 1);
  ASSERT_TRUE(write_png_rgb(temp_path("t.png"), 20, 10, solid_rgb(20, 10, 0, 0, 255)));
  gfx_use_screen(3);  // reloaded while drawing into it: the drawing ends first
  gfx_load_sprite(BasicString(temp_path("t.png").c_str()), 9);
  ASSERT_EQ(g_gfx->slots[9].width, 20);
  EXPECT_EQ(g_gfx->currentScreen, -1);
  EXPECT_EQ(g_gfx->screens[3].previousBinding, -1);
  ASSERT_NE(g_gfx->screens[3].framebuffer, 0u);
  EXPECT_EQ(g_gfx->screens[3].width, 32);  // the new texture's size
  gfx_use_screen(3);
  gfx_draw_rect(0, 0, 5, 5, 0x00FF00);
  gfx_use_screen(-1);
  auto p = slot_pixels(9);
  ASSERT_EQ(p.size(), 20u * 10 * 4);
  EXPECT_EQ((Rgba{p[0], p[1], p[2], 255}), kGreen);
  EXPECT_EQ((Rgba{p[(9 * 20 + 19) * 4], p[(9 * 20 + 19) * 4 + 1], p[(9 * 20 + 19) * 4 + 2], 255}), kBlue);
}

TEST_F(Surfaces, ViewportPlacesTheLogicalOrigin) {
  gfx_set_viewport(100, 50, 40, 20);
  int x, y, w, h;
  gfx_get_viewport(x, y, w, h);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(w, 40);
  gfx_draw_rect(0, 0, 5, 5, 0xFFFFFF);
  gfx_draw_rect(38, 0, 10, 5, 0x0000FF);  // clipped at the viewport's right edge
  EXPECT_EQ(pixel(100, 50), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(99, 50), kBlack);
  EXPECT_EQ(pixel(139, 52), kRed);
  EXPECT_EQ(pixel(140, 52), kBlack);
  gfx_set_viewport(0, 0, 0, 0);
  gfx_get_viewport(x, y, w, h);
  EXPECT_EQ(w, kWinW);
  EXPECT_EQ(h, kWinH);
  gfx_set_viewport(10, 10, 10, 10);
  gfx_use_screen(-1);  // on the back buffer: only resets the viewport
  gfx_get_viewport(x, y, w, h);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(w, kWinW);
}

TEST_F(Surfaces, OrientationsTurnTheLogicalScreen) {
  struct Case {
    int orientation;
    int wx, wy;    // where logical (1, 1) shows in the window
    int lw, lh;    // logical target size
  };
  const Case cases[] = {{0, 1, 1, kWinW, kWinH},
                        {1, kWinW - 2, 1, kWinH, kWinW},
                        {2, kWinW - 2, kWinH - 2, kWinW, kWinH},
                        {3, 1, kWinH - 2, kWinH, kWinW}};
  for (const Case& c : cases) {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_set_orientation(c.orientation);
    EXPECT_EQ(gfx_get_orientation(), c.orientation);
    int tw, th;
    gfx_get_target_size(tw, th);
    EXPECT_EQ(tw, c.lw);
    EXPECT_EQ(th, c.lh);
    gfx_set_pixel(1, 1, 0x0000FF);
    gfx_set_pixel(2, 1, 0x00FF00);  // one step along logical x
    EXPECT_EQ(pixel(c.wx, c.wy), kRed) << c.orientation;
    EXPECT_EQ(gfx_get_pixel(1, 1), 0x0000FF) << c.orientation;
    EXPECT_EQ(gfx_get_pixel(2, 1), 0x00FF00) << c.orientation;
    // A rectangle at the far logical corner shows at the opposite window corner.
    gfx_draw_rect(c.lw - 4, c.lh - 4, 4, 4, 0xFFFFFF);
    EXPECT_EQ(gfx_get_pixel(c.lw - 1, c.lh - 1), 0xFFFFFF) << c.orientation;
    EXPECT_EQ(pixel(kWinW - 1 - c.wx, kWinH - 1 - c.wy), (Rgba{255, 255, 255, 255})) << c.orientation;
  }
  gfx_set_orientation(9);
  EXPECT_EQ(gfx_get_orientation(), 3);
  gfx_set_orientation(-2);
  EXPECT_EQ(gfx_get_orientation(), 0);
}

TEST_F(Surfaces, FrameClearColourAndBackground) {
  gfx_clear_screen(0x00FF00);
  EXPECT_EQ(pixel(5, 5), kGreen);  // cleared at once
  gfx_draw_rect(0, 0, 10, 10, 0xFFFFFF);
  gfx_clear_frame();
  EXPECT_EQ(pixel(5, 5), kGreen);
  gfx_clear_screen(-1);
  gfx_draw_rect(0, 0, 10, 10, 0x0000FF);
  gfx_clear_frame();
  EXPECT_EQ(pixel(5, 5), kRed);  // no clear: the old pixels stay

  // A background is tiled from the top-left corner and drawn every frame.
  std::vector<uint8_t> rgb = solid_rgb(100, 60, 0, 0, 255);
  for (int x = 0; x < 100; ++x) std::memset(&rgb[(59 * 100 + x) * 3], 255, 3);  // white bottom row
  ASSERT_TRUE(write_png_rgb(temp_path("bg.png"), 100, 60, rgb));
  gfx_load_background(BasicString(temp_path("bg.png").c_str()));
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(g_gfx->backgrounds[0].columns, 1);
  EXPECT_EQ(pixel(50, 30), kBlue);
  EXPECT_EQ(pixel(50, 59), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(100, 30), kBlack);  // the tile's padding, drawn without blending
  gfx_draw_rect(40, 20, 20, 20, 0x00FF00);
  gfx_clear_frame();
  EXPECT_EQ(pixel(50, 30), kBlue);
  // A picture wider than one tile: two columns of 512-pixel tiles; the second
  // tile holds the picture from x 512 on, its top row in the tile's top row.
  std::vector<uint8_t> wide = solid_rgb(700, 20, 0, 0, 255);
  std::memset(&wide[512 * 3], 200, 3);  // pixel (512, 0)
  ASSERT_TRUE(write_png_rgb(temp_path("wide.png"), 700, 20, wide));
  gfx_load_background(BasicString(temp_path("wide.png").c_str()));
  const BackgroundImage& bg = g_gfx->backgrounds[0];
  ASSERT_EQ(bg.columns, 2);
  ASSERT_EQ(bg.rows, 1);
  EXPECT_EQ(bg.tileWidth[8], 512);
  ASSERT_NE(bg.tiles[8], 0u);
  std::vector<uint8_t> tile(512 * 512 * 4);
  glBindTexture(GL_TEXTURE_2D, bg.tiles[8]);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tile.data());
  gfx_forget_gl_state();
  EXPECT_EQ(tile[(511 * 512 + 0) * 4], 200);
  EXPECT_EQ(tile[(511 * 512 + 1) * 4 + 2], 255);
  EXPECT_EQ(tile[(511 * 512 + 200) * 4 + 3], 0);  // past the picture's right edge
  EXPECT_EQ(pixel(50, 10), kBlue);
  // A missing background: error 3, black clear.
  gfx_load_background(BasicString(temp_path("none.png").c_str()));
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(g_gfx->backgrounds[0].columns, 0);
  EXPECT_EQ(pixel(50, 30), kBlack);
  EXPECT_TRUE(g_gfx->clearColourFlag);
}

// The line editor keeps the picture that was on the screen behind the text
// it edits: the back buffer becomes background image 3 and is drawn back.
TEST_F(Surfaces, BackBufferCapturedAsABackgroundDrawsBackInPlace) {
  gfx_draw_rect(10, 10, 20, 20, 0x0000FF);
  gfx_draw_rect(100, 50, 10, 10, 0x00FF00);
  ASSERT_TRUE(gfx_capture_background(3));
  EXPECT_EQ(g_gfx->backgrounds[3].columns, 1);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(pixel(15, 15), kBlack);
  gfx_draw_background(3);
  EXPECT_EQ(pixel(15, 15), kRed);
  EXPECT_EQ(pixel(29, 29), kRed);
  EXPECT_EQ(pixel(30, 30), kBlack);
  EXPECT_EQ(pixel(105, 55), kGreen);
  EXPECT_EQ(pixel(200, 150), kBlack);
  gfx_free_background(3);
  EXPECT_EQ(g_gfx->backgrounds[3].columns, 0);
  EXPECT_EQ(g_gfx->backgrounds[0].columns, 0);  // the frame's own background is untouched
}

TEST_F(Surfaces, GrabSpriteCopiesARectangleOfTheTarget) {
  gfx_draw_rect(10, 10, 30, 20, 0x0000FF);
  gfx_draw_rect(40, 10, 30, 20, 0x00FF00);
  gfx_grab_sprite(12, 25, 10, 30, 20);
  const SpriteSlot& s = g_gfx->slots[12];
  EXPECT_EQ(s.width, 30);
  EXPECT_EQ(s.height, 20);
  EXPECT_EQ(s.textureWidth, 32);
  EXPECT_EQ(s.frameWidth, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_smooth_shading(0);
  gfx_draw_sprite(12, 100, 100);
  EXPECT_EQ(pixel(100, 100), kRed);
  EXPECT_EQ(pixel(114, 119), kRed);
  EXPECT_EQ(pixel(115, 100), kGreen);
  EXPECT_EQ(pixel(129, 119), kGreen);
  EXPECT_EQ(pixel(130, 100), kBlack);
  // Inside a surface the surface is copied.
  ASSERT_EQ(gfx_create_screen(4, 13, 16, 16), 1);
  gfx_use_screen(4);
  gfx_draw_rect(0, 0, 16, 8, 0xFFFFFF);
  gfx_draw_rect(0, 8, 16, 8, 0xFF0000);
  gfx_grab_sprite(14, 0, 4, 8, 8);
  gfx_use_screen(-1);
  auto p = slot_pixels(14);
  ASSERT_EQ(p.size(), 8u * 8 * 4);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[2], 255);                // top half white
  EXPECT_EQ(p[(7 * 8) * 4], 0);        // bottom half blue
  EXPECT_EQ(p[(7 * 8) * 4 + 2], 255);
  // Size 0 empties the slot.
  gfx_grab_sprite(14, 0, 0, 0, 5);
  EXPECT_EQ(g_gfx->slots[14].width, 0);
}

TEST_F(Surfaces, GrabRefusesRectanglesNoTextureOrSlotCanHold) {
  // As if the GL took textures of any size: only the engine's own limits are left.
  g_gfx->maxTextureSize = 1 << 20;
  const struct {
    int w, h;
  } cases[] = {
      {20000, 1},      // padded to 32768, beyond the slot's 16-bit texture width
      {1, 16385},      // likewise in height
      {40000, 1},      // wider than any image
      {6000, 6000},    // more pixels than any image
  };
  for (const auto& c : cases) {
    std::vector<int32_t> px(16, int32_t(0xFF0000FF));
    ASSERT_EQ(gfx_mem_to_sprite_raw(px.data(), 16, 20, 4, 4), 1);
    gfx_grab_sprite(20, 0, 0, c.w, c.h);
    const SpriteSlot& s = g_gfx->slots[20];
    EXPECT_EQ(s.width, 4) << c.w << "x" << c.h;
    EXPECT_EQ(s.height, 4) << c.w << "x" << c.h;
    EXPECT_EQ(s.textureWidth, 16) << c.w << "x" << c.h;
    EXPECT_EQ(s.textureHeight, 16) << c.w << "x" << c.h;
  }
  // Beyond what the GL takes.
  GLint glMax = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glMax);
  g_gfx->maxTextureSize = glMax;
  if (glMax < kMaxImageSide) {
    gfx_grab_sprite(20, 0, 0, glMax + 1, 1);
    EXPECT_EQ(g_gfx->slots[20].width, 4);
  }
}

TEST_F(Surfaces, GrabSpriteFollowsTheOrientation) {
  for (int o = 1; o < 4; ++o) {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_set_orientation(o);
    gfx_draw_rect(10, 10, 10, 6, 0x0000FF);  // left half red
    gfx_draw_rect(20, 10, 10, 6, 0x00FF00);  // right half green
    gfx_grab_sprite(16, 10, 10, 20, 6);
    gfx_set_orientation(0);
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_smooth_shading(0);
    gfx_draw_sprite(16, 0, 0);
    EXPECT_EQ(pixel(1, 1), kRed) << o;
    EXPECT_EQ(pixel(9, 5), kRed) << o;
    EXPECT_EQ(pixel(10, 0), kGreen) << o;
    EXPECT_EQ(pixel(19, 5), kGreen) << o;
    EXPECT_EQ(pixel(20, 3), kBlack) << o;
  }
}

TEST_F(Surfaces, SwapFileCarriesTheSpritesAcross) {
  ImageBuffer img;
  ASSERT_TRUE(img.resize(5, 3));
  for (int i = 0; i < 15; ++i) {
    img.pixels[4 * i] = uint8_t(i * 10);
    img.pixels[4 * i + 1] = 7;
    img.pixels[4 * i + 2] = uint8_t(255 - i);
    img.pixels[4 * i + 3] = uint8_t(i * 17);
  }
  ASSERT_TRUE(gfx_upload_sprite(20, img, false));
  gfx_set_sprite_anim(20, 1, 1);
  ASSERT_TRUE(gfx_install_builtin_font(0));
  const auto before = slot_pixels(20);
  const auto fontBefore = slot_pixels(kFontSlotBase);
  EXPECT_EQ(gfx_swap_textures(0), 0);
  const std::string& file = gfx_swap_file_name();
  EXPECT_EQ(file.rfind(GlEnvironment::tempDir + "/tmxtxs", 0), 0u) << file;
  EXPECT_TRUE(file_exists(file));
  // The textures go (as with a lost GL context) ...
  gfx_free_sprite_slot(20);
  gfx_free_sprite_slot(kFontSlotBase);
  // ... and come back from the file, which is then deleted.
  EXPECT_EQ(gfx_swap_textures(1), 0);
  EXPECT_FALSE(file_exists(file));
  EXPECT_EQ(g_gfx->slots[20].width, 5);
  EXPECT_EQ(g_gfx->slots[20].textureWidth, 16);
  EXPECT_EQ(g_gfx->slots[20].frameWidth, 1);
  EXPECT_EQ(slot_pixels(20), before);
  EXPECT_EQ(slot_pixels(kFontSlotBase), fontBefore);
  // A damaged swap file restores what it can and never crashes.
  EXPECT_EQ(gfx_swap_textures(0), 0);
  std::FILE* f = std::fopen(file.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 4, SEEK_SET);
  const uint8_t huge[4] = {0xFF, 0xFF, 0xFF, 0x7F};
  std::fwrite(huge, 1, 4, f);
  std::fclose(f);
  EXPECT_EQ(gfx_swap_textures(1), 0);
  EXPECT_FALSE(file_exists(file));
}

namespace {

std::vector<uint8_t> read_png_rgba(const std::string& path, int& w, int& h) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return {};
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return {};
  w = int(img.width);
  h = int(img.height);
  return px;
}

}  // namespace

TEST_F(Surfaces, ScreenshotWritesThePresentedFrame) {
  gfx_capture_presented_frames(true);
  gfx_clear_screen(0x00FF00);
  gfx_draw_rect(10, 20, 30, 40, 0x0000FF);
  // The runtime's frame end: surfaces end, the frame is kept, buffers swap and
  // the next frame starts cleared.
  gfx_end_of_frame();
  present();
  gfx_clear_frame();
  gfx_draw_rect(0, 0, 5, 5, 0xFFFFFF);  // the next frame, not yet shown
  const std::string path = temp_path("shot.png");
  ASSERT_TRUE(gfx_write_screenshot_png(path.c_str()));
  int w = 0, h = 0;
  auto px = read_png_rgba(path, w, h);
  ASSERT_EQ(w, kWinW);
  ASSERT_EQ(h, kWinH);
  auto at = [&](int x, int y) {
    const uint8_t* p = &px[(size_t(y) * kWinW + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(at(10, 20), kRed);
  EXPECT_EQ(at(39, 59), kRed);
  EXPECT_EQ(at(40, 59), kGreen);
  EXPECT_EQ(at(2, 2), kGreen);
  EXPECT_FALSE(gfx_write_screenshot_png((GlEnvironment::tempDir + "/no/such/dir/x.png").c_str()));

  // Without captures the back buffer is written.
  gfx_capture_presented_frames(false);
  ASSERT_TRUE(gfx_write_screenshot_png(path.c_str()));
  px = read_png_rgba(path, w, h);
  ASSERT_EQ(px.size(), size_t(kWinW) * kWinH * 4);
  EXPECT_EQ(at(2, 2), (Rgba{255, 255, 255, 255}));
}

TEST_F(Surfaces, ScreenshotFollowsEveryFrameAndWindowSizeChanges) {
  gfx_capture_presented_frames(true);
  auto frame = [this](int colour) {
    gfx_clear_screen(colour);
    gfx_end_of_frame();
    present();
  };
  const std::string path = temp_path("later.png");
  auto shot = [&](int& w, int& h) {
    EXPECT_TRUE(gfx_write_screenshot_png(path.c_str()));
    return read_png_rgba(path, w, h);
  };
  auto all_of = [](const std::vector<uint8_t>& px, const Rgba& c) {
    for (size_t i = 0; i < px.size(); i += 4)
      if (!(Rgba{px[i], px[i + 1], px[i + 2], px[i + 3]} == c)) return false;
    return !px.empty();
  };
  int w = 0, h = 0;
  // Each frame replaces the kept one, not only the first after turning on.
  for (const auto& [colour, expected] : {std::pair<int, Rgba>{0x00FF00, kGreen}, {0x0000FF, kRed}, {0xFF0000, kBlue}}) {
    frame(colour);
    const auto px = shot(w, h);
    EXPECT_EQ(w, kWinW);
    EXPECT_EQ(h, kWinH);
    EXPECT_TRUE(all_of(px, expected)) << colour;
  }
  // A smaller window: the kept frame takes the new size, and back again.
  gfx_window_size_changed(kWinW / 2, kWinH / 2);
  frame(0x0000FF);
  auto px = shot(w, h);
  EXPECT_EQ(w, kWinW / 2);
  EXPECT_EQ(h, kWinH / 2);
  EXPECT_TRUE(all_of(px, kRed));
  gfx_window_size_changed(kWinW, kWinH);
  frame(0x00FF00);
  px = shot(w, h);
  EXPECT_EQ(w, kWinW);
  EXPECT_EQ(h, kWinH);
  EXPECT_TRUE(all_of(px, kGreen));
  // The window's textures go with its GL context, the kept frame too: until
  // the next frame end the back buffer is written, and then the new frame.
  gfx_release_window_textures();
  gfx_clear_screen(0xFF0000);
  px = shot(w, h);
  EXPECT_TRUE(all_of(px, kBlue));
  frame(0x0000FF);
  gfx_clear_screen(0x00FF00);
  px = shot(w, h);
  EXPECT_TRUE(all_of(px, kRed));
  gfx_capture_presented_frames(false);
}

// Code outside the 2-D drawing may leave rows or pixels to skip in GL's
// pixel transfer state; the engine's read-backs and uploads must not follow
// them out of their buffers.
TEST_F(Surfaces, PixelTransfersIgnoreSkipsLeftByOtherCode) {
  auto foreign = [] {
    glPixelStorei(GL_PACK_SKIP_ROWS, 5);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 3);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 5);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 3);
  };
  auto tidy = [] {  // for the fixture's own read-backs
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  };
  // Grabbing under a turned orientation reads the pixels back and uploads them.
  gfx_set_orientation(1);
  gfx_draw_rect(10, 10, 10, 6, 0x0000FF);
  gfx_draw_rect(20, 10, 10, 6, 0x00FF00);
  foreign();
  gfx_grab_sprite(16, 10, 10, 20, 6);
  EXPECT_EQ(gfx_get_pixel(12, 12), 0x0000FF);
  tidy();
  gfx_set_orientation(0);
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_smooth_shading(0);
  gfx_draw_sprite(16, 0, 0);
  EXPECT_EQ(pixel(0, 0), kRed);
  EXPECT_EQ(pixel(9, 5), kRed);
  EXPECT_EQ(pixel(10, 0), kGreen);
  EXPECT_EQ(pixel(19, 5), kGreen);
  // A sprite read back from its texture, and the kept frame of a screenshot.
  foreign();
  ImageBuffer img;
  ASSERT_TRUE(gfx_read_sprite_pixels(16, img));
  tidy();
  ASSERT_EQ(img.width, 20);
  EXPECT_EQ(img.pixels[0], 255);
  EXPECT_EQ(img.pixels[(5 * 20 + 19) * 4 + 1], 255);
  gfx_capture_presented_frames(true);
  gfx_end_of_frame();
  foreign();
  const std::string path = temp_path("skips.png");
  ASSERT_TRUE(gfx_write_screenshot_png(path.c_str()));
  tidy();
  gfx_capture_presented_frames(false);
  int w = 0, h = 0;
  const auto px = read_png_rgba(path, w, h);
  ASSERT_EQ(w, kWinW);
  ASSERT_EQ(px.size(), size_t(kWinW) * kWinH * 4);
  EXPECT_EQ(px[0], 255);                            // (0, 0) red
  EXPECT_EQ(px[(5 * kWinW + 19) * 4 + 1], 255);     // (19, 5) green
  EXPECT_EQ(px[(5 * kWinW + 20) * 4 + 1], 0);       // (20, 5) black
}

TEST_F(Surfaces, FallbackWithoutFramebufferObjects) {
  g_fbo_available = false;
  ASSERT_EQ(gfx_create_screen(5, 15, 32, 16), 1);
  gfx_draw_rect(0, 0, kWinW, kWinH, 0xFF0000);  // what the window showed
  gfx_use_screen(5);
  gfx_alpha_mode(0);
  gfx_draw_rect(0, 0, 32, 16, 0x00FF00);
  gfx_draw_rect(0, 0, 8, 8, 0x0000FF);
  gfx_alpha_mode(-1);
  gfx_use_screen(-1);
  g_fbo_available = true;
  // The window shows its old picture again ...
  EXPECT_EQ(pixel(4, 4), kBlue);
  EXPECT_EQ(pixel(100, 100), kBlue);
  // ... and the surface holds what was drawn.
  gfx_smooth_shading(0);
  gfx_draw_sprite(15, 100, 100);
  EXPECT_EQ(pixel(102, 102), kRed);
  EXPECT_EQ(pixel(120, 110), kGreen);
}
