// Loading images into sprite slots on a real GL context: texture sizes and
// layout, colour keys, errors and empty slots.
#include "gfx/draw_state.h"
#include "gfx/grab.h"
#include "gfx/texture_store.h"
#include "runtime/virtual_file.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

// Image pixels of a slot as they sit in its texture, top-down.
std::vector<uint8_t> slot_pixels(int slot) {
  ImageBuffer img;
  if (!gfx_read_sprite_pixels(slot, img)) return {};
  return std::vector<uint8_t>(img.pixels, img.pixels + size_t(img.width) * img.height * 4);
}

std::vector<uint8_t> rgba_fill(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  std::vector<uint8_t> v;
  for (int i = 0; i < w * h; ++i) v.insert(v.end(), {r, g, b, a});
  return v;
}

}  // namespace

using Images = GfxTest;

TEST_F(Images, TextureSizesAndExtents) {
  struct Case {
    int w, h, tw, th;
  };
  const Case cases[] = {{100, 50, 128, 64}, {10, 3, 16, 16}, {16, 16, 16, 16}, {17, 300, 32, 512}};
  for (const Case& c : cases) {
    const std::string path = temp_path("size.png");
    ASSERT_TRUE(write_png_rgb(path, c.w, c.h, solid_rgb(c.w, c.h, 10, 20, 30)));
    gfx_load_sprite(BasicString(path.c_str()), 7);
    EXPECT_EQ(g_error_state.code, 0);
    const SpriteSlot& s = g_gfx->slots[7];
    EXPECT_EQ(s.width, c.w);
    EXPECT_EQ(s.height, c.h);
    EXPECT_EQ(s.textureWidth, c.tw);
    EXPECT_EQ(s.textureHeight, c.th);
    EXPECT_FLOAT_EQ(s.sExtent, float(c.w) / c.tw);
    EXPECT_FLOAT_EQ(s.tExtent, float(c.h) / c.th);
    EXPECT_NE(s.texture, 0u);
    EXPECT_EQ(s.mipmapTexture, 0u);  // made when a draw first asks for it
    EXPECT_TRUE(s.mipmapPending);
    int w = 0, h = 0;
    gfx_get_sprite_size(7, w, h);
    EXPECT_EQ(w, c.w);
    EXPECT_EQ(h, c.h);
  }
}

namespace {

// Every level of a mipmapped texture, level 0 first.
std::vector<std::vector<uint8_t>> mip_levels(uint32_t tex) {
  std::vector<std::vector<uint8_t>> levels;
  glBindTexture(GL_TEXTURE_2D, tex);
  for (int level = 0;; ++level) {
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &h);
    if (w < 1 || h < 1) break;
    std::vector<uint8_t> px(size_t(w) * h * 4);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    levels.push_back(std::move(px));
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  gfx_gl_binding_cache_invalidate();
  return levels;
}

}  // namespace

// A load uploads no mipmap texture; the first draw that asks for one builds
// it, level for level the same as one built at load time from the same
// image (plain and bump textures, square, wide and tall). Fonts never get one.
TEST_F(Images, MipmapTextureIsBuiltOnFirstUseAndMatchesOneBuiltAtLoad) {
  struct Case {
    int w, h;
    bool bump;
  } cases[] = {{100, 50, false}, {17, 300, false}, {64, 64, true}, {5, 3, false}};
  for (const Case& c : cases) {
    ImageBuffer img;
    ASSERT_TRUE(img.resize(c.w, c.h));
    for (int i = 0; i < c.w * c.h * 4; ++i) img.pixels[i] = uint8_t((i * 37 + (i / 4) * 11) ^ (i >> 5));
    ASSERT_TRUE(gfx_upload_sprite(9, img, c.bump));
    const SpriteSlot& s = g_gfx->slots[9];
    EXPECT_EQ(s.mipmapTexture, 0u) << c.w << "x" << c.h;
    uint32_t tex = 0, eager = 0;
    ASSERT_TRUE(gfx_upload_texture_region(img, 0, 0, 0, 0, &tex, &eager, c.bump, false));
    const auto expected = mip_levels(eager);
    ASSERT_GE(expected.size(), 5u);  // down to 1 x 1 from at least 16 x 16
    gfx_bind_sprite_texture(9, -1, true);
    gfx_bind_sprite_texture(-1);
    ASSERT_NE(s.mipmapTexture, 0u);
    const uint32_t made = s.mipmapTexture;
    EXPECT_EQ(mip_levels(made), expected) << c.w << "x" << c.h;
    gfx_bind_sprite_texture(9, -1, true);  // built once
    gfx_bind_sprite_texture(-1);
    EXPECT_EQ(s.mipmapTexture, made);
    glDeleteTextures(1, &tex);
    glDeleteTextures(1, &eager);
  }
  ImageBuffer img;
  ASSERT_TRUE(img.resize(8, 8));
  ASSERT_TRUE(gfx_upload_sprite(kFontSlotBase + 1, img, false));
  gfx_bind_sprite_texture(kFontSlotBase + 1, -1, true);
  gfx_bind_sprite_texture(-1);
  EXPECT_EQ(g_gfx->slots[kFontSlotBase + 1].mipmapTexture, 0u);
  gfx_free_sprite_slot(kFontSlotBase + 1);
  gfx_free_sprite_slot(9);
  EXPECT_FALSE(g_gfx->slots[9].mipmapPending);
}

TEST_F(Images, ImageSitsInTheLowerLeftOfItsTextureBottomRowFirst) {
  // 3 x 2 picture: top row red, bottom row green.
  std::vector<uint8_t> rgb = {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0};
  const std::string path = temp_path("layout.png");
  ASSERT_TRUE(write_png_rgb(path, 3, 2, rgb));
  gfx_load_sprite(BasicString(path.c_str()), 3);
  const SpriteSlot& s = g_gfx->slots[3];
  std::vector<uint8_t> tex(size_t(s.textureWidth) * s.textureHeight * 4);
  glBindTexture(GL_TEXTURE_2D, s.texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.data());
  gfx_gl_binding_cache_invalidate();
  auto texel = [&](int x, int y) { return Rgba{tex[(y * 16 + x) * 4], tex[(y * 16 + x) * 4 + 1], tex[(y * 16 + x) * 4 + 2], tex[(y * 16 + x) * 4 + 3]}; };
  EXPECT_EQ(texel(0, 0), (Rgba{0, 255, 0, 255}));   // texture row 0: the image's bottom row
  EXPECT_EQ(texel(2, 1), (Rgba{255, 0, 0, 255}));   // row 1: its top row
  EXPECT_EQ(texel(3, 0), (Rgba{0, 0, 0, 0}));       // padding is transparent black
  EXPECT_EQ(texel(0, 2), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(texel(15, 15), (Rgba{0, 0, 0, 0}));
}

TEST_F(Images, ColourKeyAppliesToBmpAndRgbPngButNotToRgbaPngOrJpeg) {
  // Key colour red 255, green 0, blue 128 surrounded by blue.
  auto rgb = solid_rgb(3, 3, 0, 0, 200);
  rgb[4 * 3] = 255;
  rgb[4 * 3 + 1] = 0;
  rgb[4 * 3 + 2] = 128;
  ASSERT_TRUE(write_bmp(temp_path("k.bmp"), 3, 3, 24, rgb));
  ASSERT_TRUE(write_png_rgb(temp_path("k.png"), 3, 3, rgb));
  auto rgba = rgba_fill(3, 3, 0, 0, 200, 255);
  rgba[16] = 255;
  rgba[17] = 0;
  rgba[18] = 128;
  ASSERT_TRUE(write_png_rgba(temp_path("ka.png"), 3, 3, rgba));
  ASSERT_TRUE(write_jpeg_rgb(temp_path("k.jpg"), 3, 3, rgb));

  struct Case {
    const char* file;
    int centreAlpha;
  };
  for (const Case c : {Case{"k.bmp", 0}, Case{"k.png", 0}, Case{"ka.png", 255}, Case{"k.jpg", 255}}) {
    gfx_load_sprite(BasicString(temp_path(c.file).c_str()), 1);
    ASSERT_EQ(g_error_state.code, 0) << c.file;
    auto p = slot_pixels(1);
    ASSERT_EQ(p.size(), 36u) << c.file;
    EXPECT_EQ(p[4 * 4 + 3], c.centreAlpha) << c.file;
    EXPECT_EQ(p[3], 255) << c.file;
    if (c.centreAlpha == 0) {
      // Bled: the hole takes the colour of its opaque inner neighbours (none
      // here: all its neighbours lie on the border), so it is black.
      EXPECT_EQ(p[16] + p[17] + p[18], 0) << c.file;
    }
  }
  // Key 0 makes black transparent; -1 keys nothing.
  ASSERT_TRUE(write_bmp(temp_path("black.bmp"), 2, 1, 24, solid_rgb(2, 1, 0, 0, 0)));
  gfx_set_transparency(0);
  gfx_load_sprite(BasicString(temp_path("black.bmp").c_str()), 2);
  EXPECT_EQ(slot_pixels(2)[3], 0);
  gfx_set_transparency(-1);
  gfx_load_sprite(BasicString(temp_path("k.bmp").c_str()), 2);
  EXPECT_EQ(slot_pixels(2)[4 * 4 + 3], 255);
}

TEST_F(Images, EmptyNamesMissingAndUnreadableFiles) {
  ASSERT_TRUE(write_png_rgb(temp_path("ok.png"), 4, 4, solid_rgb(4, 4, 1, 2, 3)));
  ASSERT_TRUE(write_png_grey_alpha(temp_path("ga.png"), 4, 4));
  ASSERT_TRUE(write_file(temp_path("junk.bin"), {'j', 'u', 'n', 'k', 0, 1, 2, 3}));
  ASSERT_TRUE(write_file(temp_path("empty.bin"), {}));
  const std::string ok = temp_path("ok.png");

  gfx_load_anim(BasicString(ok.c_str()), 9, 2, 2);
  ASSERT_EQ(g_gfx->slots[9].width, 4);
  ASSERT_EQ(g_gfx->slots[9].frameWidth, 2);

  // Empty name: the slot is freed and no error recorded.
  sys_raise_error(7);
  gfx_load_sprite(BasicString(""), 9);
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(g_gfx->slots[9].width, 0);
  EXPECT_EQ(g_gfx->slots[9].texture, 0u);

  // A missing file, an unknown format, a grey+alpha PNG, an empty file, a
  // directory: error 3 and an empty slot; the program goes on.
  for (const std::string& name : {temp_path("missing.png"), temp_path("junk.bin"), temp_path("ga.png"),
                                 temp_path("empty.bin"), GlEnvironment::tempDir}) {
    gfx_load_sprite(BasicString(ok.c_str()), 9);
    ASSERT_EQ(g_gfx->slots[9].width, 4);
    testing::internal::CaptureStdout();
    gfx_load_sprite(BasicString(name.c_str()), 9);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(g_error_state.code, 3) << name;
    EXPECT_EQ(g_gfx->slots[9].width, 0) << name;
    EXPECT_EQ(g_gfx->slots[9].texture, 0u) << name;
    // The frame size survives a failed load.
    EXPECT_EQ(g_gfx->slots[9].frameWidth, 2) << name;
  }
  gfx_load_anim(BasicString(temp_path("missing.png").c_str()), 9, 5, 5);
  EXPECT_EQ(g_gfx->slots[9].frameWidth, 2);
  // Setting the frame size of an empty slot changes nothing.
  gfx_set_sprite_anim(9, 7, 7);
  EXPECT_EQ(g_gfx->slots[9].frameWidth, 2);
  // Slot numbers outside the table: error 7, nothing else.
  gfx_load_sprite(BasicString(ok.c_str()), 70000);
  EXPECT_EQ(g_error_state.code, 7);
  gfx_load_sprite(BasicString(ok.c_str()), -1);
  EXPECT_EQ(g_error_state.code, 7);
}

TEST_F(Images, GenSpriteAndMemToSprite) {
  EXPECT_EQ(gfx_gen_sprite(), 65503);
  BasicArray<int32_t> px;
  px.dim(6);
  // 3 x 2: red, green, blue / white, transparent, half-alpha grey.
  const int32_t values[6] = {int32_t(0xFF0000FF), int32_t(0xFF00FF00), int32_t(0xFFFF0000),
                             int32_t(0xFFFFFFFF), 0, int32_t(0x80808080)};
  for (int i = 0; i < 6; ++i) px(i) = values[i];
  EXPECT_EQ(gfx_mem_to_sprite(px, 65503, 3, 2), 1);
  EXPECT_EQ(gfx_gen_sprite(), 65502);
  auto p = slot_pixels(65503);
  ASSERT_EQ(p.size(), 24u);
  EXPECT_EQ((Rgba{p[0], p[1], p[2], p[3]}), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ((Rgba{p[8], p[9], p[10], p[11]}), (Rgba{0, 0, 255, 255}));
  EXPECT_EQ((Rgba{p[16], p[17], p[18], p[19]}), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ((Rgba{p[20], p[21], p[22], p[23]}), (Rgba{128, 128, 128, 128}));
  // A count that does not match changes nothing; an empty picture fails
  // without ending the program.
  EXPECT_EQ(gfx_mem_to_sprite(px, 65503, 2, 2), 0);
  EXPECT_EQ(g_gfx->slots[65503].width, 3);
  BasicArray<int32_t> empty;
  EXPECT_EQ(gfx_mem_to_sprite(empty, 65503, 0, 0), 0);
  EXPECT_EQ(g_gfx->slots[65503].width, 3);
}

TEST_F(Images, BumpTextureBecomesANormalMap) {
  // A flat height field: every normal points straight out (128, 128, 255).
  ASSERT_TRUE(write_png_rgb(temp_path("flat.png"), 4, 4, solid_rgb(4, 4, 0, 0, 77)));
  gfx_load_bump_texture(BasicString(temp_path("flat.png").c_str()), 4);
  ASSERT_EQ(g_error_state.code, 0);
  const SpriteSlot& s = g_gfx->slots[4];
  std::vector<uint8_t> tex(16 * 16 * 4);
  glBindTexture(GL_TEXTURE_2D, s.texture);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, tex.data());
  gfx_gl_binding_cache_invalidate();
  // Texel (8, 8) is padding far from the image: flat as well.
  EXPECT_EQ((Rgba{tex[(8 * 16 + 8) * 4], tex[(8 * 16 + 8) * 4 + 1], tex[(8 * 16 + 8) * 4 + 2], 0}),
            (Rgba{127, 127, 255, 0}));
  // The image's edge against the padding slopes: red differs from 127.
  EXPECT_NE(tex[(0 * 16 + 3) * 4], 127);
}

TEST_F(Images, MemoryFilesLoadAsBmpAndPngButNotAsJpeg) {
  auto slurp = [](const std::string& p) {
    std::FILE* f = std::fopen(p.c_str(), "rb");
    std::vector<uint8_t> v;
    int c;
    while (f && (c = std::fgetc(f)) != EOF) v.push_back(uint8_t(c));
    if (f) std::fclose(f);
    return v;
  };
  ASSERT_TRUE(write_png_rgb(temp_path("m.png"), 6, 5, solid_rgb(6, 5, 9, 8, 7)));
  ASSERT_TRUE(write_bmp(temp_path("m.bmp"), 7, 3, 24, solid_rgb(7, 3, 1, 2, 3)));
  ASSERT_TRUE(write_jpeg_rgb(temp_path("m.jpg"), 8, 8, solid_rgb(8, 8, 100, 100, 100)));
  struct Case {
    const char* file;
    int width;  // 0: refused
  };
  for (const Case c : {Case{"m.png", 6}, Case{"m.bmp", 7}, Case{"m.jpg", 0}}) {
    const auto bytes = slurp(temp_path(c.file));
    ASSERT_FALSE(bytes.empty());
    // What the media lookup hands out for a file found in the archive.
    const std::string name = runtime_register_memory_file(bytes.data(), uint32_t(bytes.size()));
    EXPECT_EQ(gfx_load_sprite_file(30, name.c_str(), 0x8000FF, false), c.width != 0) << c.file;
    EXPECT_EQ(g_gfx->slots[30].width, c.width) << c.file;
    runtime_release_memory_file(bytes.data());
  }
  // The same JPEG from the disk loads.
  gfx_load_sprite(BasicString(temp_path("m.jpg").c_str()), 30);
  EXPECT_EQ(g_error_state.code, 0);
  EXPECT_EQ(g_gfx->slots[30].width, 8);
}
