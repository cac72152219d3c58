// Sprite and animation drawing read back from the window: positions, sizes,
// frames, rotation, filtering and the per-frame reset.
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

#include "gfx/backgrounds.h"
#include "gfx/draw_state.h"
#include "gfx/fonts.h"
#include "gfx/gl_state.h"
#include "gfx/screenshot.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "gfx/context.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

using PixelFn = std::function<Rgba(int x, int y)>;

void make_sprite(int slot, int w, int h, const PixelFn& fn) {
  ImageBuffer img;
  ASSERT_TRUE(img.resize(w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgba c = fn(x, y);
      uint8_t* p = img.pixels + (size_t(y) * w + x) * 4;
      p[0] = uint8_t(c.r);
      p[1] = uint8_t(c.g);
      p[2] = uint8_t(c.b);
      p[3] = uint8_t(c.a);
    }
  ASSERT_TRUE(gfx_upload_sprite(slot, img, false));
}

const Rgba kBlack{0, 0, 0, 255};
bool lit(const Rgba& c) { return c.r + c.g + c.b > 0; }

// The bounding box of lit pixels in the window.
struct Box {
  int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
};
Box lit_box() {
  std::vector<uint8_t> all(size_t(kWinW) * kWinH * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, kWinW, kWinH, GL_RGBA, GL_UNSIGNED_BYTE, all.data());
  Box b;
  for (int gy = 0; gy < kWinH; ++gy)
    for (int x = 0; x < kWinW; ++x) {
      const uint8_t* p = &all[(size_t(gy) * kWinW + x) * 4];
      if (p[0] + p[1] + p[2] == 0) continue;
      const int y = kWinH - 1 - gy;
      b.x0 = std::min(b.x0, x);
      b.y0 = std::min(b.y0, y);
      b.x1 = std::max(b.x1, x);
      b.y1 = std::max(b.y1, y);
    }
  return b;
}

}  // namespace

using Draw = GfxTest;

TEST_F(Draw, SpriteCoversExactlyItsPixels) {
  make_sprite(1, 100, 50, [](int x, int y) { return Rgba{200, x, y, 255}; });
  gfx_draw_sprite(1, 10, 20);
  const Box b = lit_box();
  EXPECT_EQ(b.x0, 10);
  EXPECT_EQ(b.y0, 20);
  EXPECT_EQ(b.x1, 109);
  EXPECT_EQ(b.y1, 69);
  // Upright and unfiltered at its own size.
  EXPECT_EQ(pixel(10, 20), (Rgba{200, 0, 0, 255}));
  EXPECT_EQ(pixel(109, 69), (Rgba{200, 99, 49, 255}));
  EXPECT_EQ(pixel(50, 30), (Rgba{200, 40, 10, 255}));
}

TEST_F(Draw, ScaledSpriteStretchesAndMirrors) {
  // 2 x 2: red green / blue white.
  make_sprite(2, 2, 2, [](int x, int y) {
    static const Rgba c[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
    return c[y * 2 + x];
  });
  gfx_smooth_shading(0);
  gfx_draw_sprite_scaled(2, 0, 0, 40, 20);
  EXPECT_EQ(pixel(0, 0), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(pixel(39, 0), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(pixel(0, 19), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(pixel(40, 0), kBlack);
  EXPECT_EQ(pixel(0, 20), kBlack);
  // Negative width: mirrored, extending left of x.
  gfx_draw_sprite_scaled(2, 140, 40, -40, 20);
  EXPECT_EQ(pixel(100, 40), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(pixel(139, 40), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(pixel(140, 40), kBlack);
  EXPECT_EQ(pixel(99, 40), kBlack);
}

TEST_F(Draw, ZoomAboutTheCentre) {
  make_sprite(3, 32, 32, [](int, int) { return Rgba{255, 255, 255, 255}; });
  struct Case {
    double f;
    int x0, size;
  };
  for (const Case c : {Case{2.0, 84, 64}, Case{0.5, 108, 16}, Case{1.0, 100, 32}}) {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_zoom_sprite(3, 100, 100, c.f, c.f);
    const Box b = lit_box();
    EXPECT_EQ(b.x0, c.x0) << c.f;
    EXPECT_EQ(b.y0, c.x0) << c.f;
    EXPECT_EQ(b.x1, c.x0 + c.size - 1) << c.f;
    EXPECT_EQ(b.y1, c.x0 + c.size - 1) << c.f;
  }
}

TEST_F(Draw, RotationTurnsCounterClockwise) {
  // 32 x 32 blue square with a red top edge (4 rows).
  make_sprite(4, 32, 32, [](int, int y) { return y < 4 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 255}; });
  gfx_smooth_shading(0);
  gfx_rotate_sprite(4, 100, 100, 90.0);
  // Centre (116, 116); the top edge now faces left.
  EXPECT_EQ(pixel(102, 116), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(pixel(116, 102), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ(pixel(129, 116), (Rgba{0, 0, 255, 255}));
  glClear(GL_COLOR_BUFFER_BIT);
  // Zoom 2 at angle 180: 64 x 64 about the same centre, top edge at the bottom.
  gfx_rotozoom_sprite(4, 100, 100, 180.0, 2.0);
  const Box b = lit_box();
  EXPECT_EQ(b.x0, 84);
  EXPECT_EQ(b.x1, 147);
  EXPECT_EQ(b.y0, 84);
  EXPECT_EQ(b.y1, 147);
  EXPECT_EQ(pixel(116, 145), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(pixel(116, 86), (Rgba{0, 0, 255, 255}));
}

TEST_F(Draw, AnimationFramesAddressTheirCells) {
  // 96 x 128 sheet of 32 x 64 cells; each cell's colour encodes its number.
  make_sprite(5, 96, 128, [](int x, int y) {
    const int cell = (y / 64) * 3 + x / 32;
    return Rgba{40 * (cell + 1), 0, 0, 255};
  });
  // Frame size never set: nothing drawn.
  gfx_draw_anim(5, 0, 0, 0);
  EXPECT_FALSE(lit(pixel(16, 32)));
  gfx_set_sprite_anim(5, 32, 64);
  for (int frame = 0; frame < 6; ++frame) {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_draw_anim(5, frame, 10, 5);
    EXPECT_EQ(pixel(26, 37).r, 40 * (frame + 1)) << frame;
    const Box b = lit_box();
    EXPECT_EQ(b.x0, 10);
    EXPECT_EQ(b.y0, 5);
    EXPECT_EQ(b.x1, 41);
    EXPECT_EQ(b.y1, 68);
  }
  // Frame 4 is row 1, column 1: its cell's top-left pixel.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_draw_anim(5, 4, 0, 0);
  EXPECT_EQ(pixel(0, 0).r, 200);
  EXPECT_EQ(pixel(31, 63).r, 200);
  // Stretched: frame 1 over 64 x 32.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_smooth_shading(0);
  gfx_stretch_anim(5, 1, 100, 100, 64, 32);
  EXPECT_EQ(pixel(100, 100).r, 80);
  EXPECT_EQ(pixel(163, 131).r, 80);
  EXPECT_FALSE(lit(pixel(99, 100)));
  EXPECT_FALSE(lit(pixel(100, 99)));
  // Rotated frame: angle 0, zoom 1 draws the frame at its place.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_rotozoom_anim(5, 2, 50.0, 50.0, 0.0, 1.0);
  EXPECT_EQ(pixel(66, 82).r, 120);
  const Box r = lit_box();
  EXPECT_EQ(r.x0, 50);
  EXPECT_EQ(r.y0, 50);
  EXPECT_EQ(r.x1, 81);
  EXPECT_EQ(r.y1, 113);
}

TEST_F(Draw, ExtremeFrameNumbersAndNegativeFrameSizesAreSafe) {
  make_sprite(7, 32, 32, [](int, int) { return Rgba{200, 0, 0, 255}; });
  // A frame width of -32 gives rows of -1 frames: the lowest frame number
  // divided by that must not trap, nor may the cell offsets overflow.
  const int frames[] = {INT_MIN, INT_MIN + 1, -1, 0, INT_MAX};
  const int16_t sizes[][2] = {{-32, 16}, {-1, -1}, {64, 64}, {1, 1}, {-32768, 32767}};
  for (const auto& size : sizes) {
    gfx_set_sprite_anim(7, size[0], size[1]);
    for (const int frame : frames) {
      gfx_draw_anim(7, frame, 100, 50);
      gfx_stretch_anim(7, frame, 100, 50, 20, 20);
      gfx_rotozoom_anim(7, frame, 100.0, 50.0, 30.0, 1.0);
    }
  }
  // Drawing goes on normally afterwards.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_set_sprite_anim(7, 16, 16);
  gfx_draw_anim(7, 3, 10, 20);
  const Box b = lit_box();
  EXPECT_EQ(b.x0, 10);
  EXPECT_EQ(b.y0, 20);
  EXPECT_EQ(b.x1, 25);
  EXPECT_EQ(b.y1, 35);
  EXPECT_EQ(pixel(17, 27).r, 200);
}

TEST_F(Draw, SmoothingPicksTheFilterUntilTheFrameReset) {
  // Black and white halves, stretched 50 times.
  make_sprite(6, 2, 1, [](int x, int) { return x ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255}; });
  auto greys = [] {
    int n = 0;
    for (int x = 0; x < 100; ++x) {
      const int r = pixel(x, 5).r;
      if (r != 0 && r != 255) ++n;
    }
    return n;
  };
  gfx_draw_sprite_scaled(6, 0, 0, 100, 10);
  EXPECT_GT(greys(), 10);
  gfx_smooth_shading(0);
  gfx_draw_sprite_scaled(6, 0, 0, 100, 10);
  EXPECT_EQ(greys(), 0);
  EXPECT_EQ(pixel(49, 5).r, 0);
  EXPECT_EQ(pixel(50, 5).r, 255);
  gfx_reset_2d_state();
  EXPECT_TRUE(g_gfx->smoothing);
  gfx_draw_sprite_scaled(6, 0, 0, 100, 10);
  EXPECT_GT(greys(), 10);
}

TEST_F(Draw, EmptySlotsAndSlotsOutsideTheTableDrawNothing) {
  gfx_draw_sprite(11, 10, 10);
  gfx_draw_sprite_scaled(11, 10, 10, 50, 50);
  gfx_draw_sprite(-5, 10, 10);
  gfx_draw_sprite(1 << 20, 10, 10);
  gfx_draw_anim(1 << 20, 3, 10, 10);
  gfx_rotozoom_sprite(-1, 10, 10, 10, 2);
  const Box b = lit_box();
  EXPECT_EQ(b.x1, -1);
}

TEST_F(Draw, AlphaTestDropsPixelsAtOrBelowTheReference) {
  // Left half alpha 100, right half alpha 200, blending off.
  make_sprite(7, 2, 1, [](int x, int) { return Rgba{255, 255, 0, x ? 200 : 100}; });
  gfx_alpha_mode(0);
  gfx_smooth_shading(0);
  gfx_alpha_test(0.5);
  gfx_draw_sprite_scaled(7, 0, 0, 20, 4);
  EXPECT_FALSE(lit(pixel(2, 1)));
  EXPECT_EQ(pixel(15, 1), (Rgba{255, 255, 0, 255}));
  gfx_alpha_test(1.0);
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  gfx_draw_sprite_scaled(7, 0, 0, 20, 4);
  EXPECT_EQ(pixel(2, 1), (Rgba{255, 255, 0, 255}));
}

// An opaque texture drawn texel for texel at full alpha skips blending; every
// other case must still blend over what is there.
TEST_F(Draw, OpaqueSpritesSkipBlendingOnlyWhereNothingCanShowThrough) {
  make_sprite(3, 8, 8, [](int, int) { return Rgba{0, 0, 255, 255}; });
  make_sprite(4, 8, 8, [](int x, int y) { return Rgba{0, 0, 255, x == 2 && y == 2 ? 0 : 255}; });
  gfx_draw_rect(0, 0, 64, 32, 0x0000FF);  // red underneath
  gfx_draw_sprite(3, 0, 0);
  EXPECT_EQ(pixel(3, 3), (Rgba{0, 0, 255, 255}));
  EXPECT_TRUE(glIsEnabled(GL_BLEND));  // back on for what follows
  gfx_draw_sprite(4, 10, 0);            // one transparent pixel: blended
  EXPECT_EQ(pixel(12, 2), (Rgba{255, 0, 0, 255}));
  gfx_alpha_mode(-0.5);  // half alpha: blended
  gfx_draw_sprite(3, 20, 0);
  const Rgba half = pixel(23, 3);
  EXPECT_NEAR(half.r, 128, 2);
  EXPECT_NEAR(half.b, 128, 2);
  gfx_alpha_mode(1);  // additive
  gfx_draw_sprite(3, 30, 0);
  EXPECT_EQ(pixel(33, 3), (Rgba{255, 0, 255, 255}));
  gfx_alpha_mode(-1);
  gfx_draw_anim(3, 0, 40, 0);  // no frame size: nothing drawn
  EXPECT_EQ(pixel(43, 3), (Rgba{255, 0, 0, 255}));
}

TEST_F(Draw, ResetRestoresTheDefaultState) {
  gfx_alpha_mode(0.5);
  gfx_alpha_test(0.2);
  glEnable(GL_DEPTH_TEST);  // changed behind the caches' back
  gfx_reset_2d_state();
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FLOAT_EQ(g_gfx->globalAlpha, 1.0f);
  GLint src = 0, dst = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[3], 1.0f);
}

TEST_F(Draw, ForeignGlChangesAreForgottenOnRequest) {
  make_sprite(1, 8, 8, [](int, int) { return Rgba{255, 0, 0, 255}; });
  gfx_draw_sprite(1, 0, 0);
  // Someone else unbinds the texture, switches texturing off and changes the
  // colour behind the caches.
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
  glColor4f(0, 1, 0, 1);
  gfx_forget_gl_state();
  gfx_draw_sprite(1, 20, 0);
  EXPECT_EQ(pixel(24, 4), (Rgba{255, 0, 0, 255}));
}

// ------------------------------------------------------------ allocation

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  ++g_allocations;
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST_F(Draw, AFrameOfDrawingAllocatesNothingOnceWarm) {
  make_sprite(1, 64, 64, [](int x, int y) { return Rgba{x * 4, y * 4, 0, 255}; });
  gfx_set_sprite_anim(1, 16, 16);
  ASSERT_TRUE(gfx_install_builtin_font(0));
  ASSERT_EQ(gfx_create_screen(0, 2, 64, 40), 1);
  // The frame clear paints a tiled background, and every frame end keeps a
  // copy of the frame for a screenshot.
  ImageBuffer picture;
  ASSERT_TRUE(picture.resize(600, 100));
  std::memset(picture.pixels, 90, size_t(600) * 100 * 4);
  gfx_fill_background(0, picture);
  gfx_capture_presented_frames(true);
  const BasicString text("SCORE 123");
  auto frame = [&] {
    gfx_reset_2d_state();
    gfx_use_screen(0);
    gfx_draw_sprite(1, 0, 0);
    for (int i = 0; i < 50; ++i) gfx_draw_anim(1, i, i, i);
    gfx_draw_sprite_scaled(1, 0, 0, 30, 30);
    gfx_rotozoom_sprite(1, 5, 5, 30, 1.5);
    gfx_alpha_mode(0.5);
    gfx_start_poly(-1, 1);
    for (int i = 0; i < 510; ++i) gfx_poly_vertex(i % 64, i % 40, 0, 0, 0xFF00FF);
    gfx_end_poly();
    for (int i = 0; i < 100; ++i) gfx_draw_rect(i % 60, i % 30, 3, 3, 0x00FF00);
    gfx_alpha_mode(-1);
    gfx_print(text, 1, 1, 1);
    gfx_use_screen(-1);
    gfx_draw_sprite_scaled(2, 0, 0, kWinW, kWinH);
    gfx_end_of_frame();
    gfx_clear_frame();
  };
  // Warm: the batch and the text buffer reach their sizes, and the GL (the
  // software renderer compiles code for new state combinations) settles.
  for (int i = 0; i < 4; ++i) frame();
  const long before = g_allocations.load();
  frame();
  frame();
  EXPECT_EQ(g_allocations.load(), before);
  gfx_capture_presented_frames(false);
}
