// Bitmap fonts: grid measuring, the built-in font, text drawing and widths.
#include <functional>

#include "gfx/fonts.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

// A font image (rows of cells, 16 columns) with ink columns per character.
// inkColumns(c) gives [first, last] ink column of character c's cell, or
// first > last for an empty cell. Ink is white, the rest black (the font key).
std::string make_font(const std::string& path, int w, int h, int cellH,
                      const std::function<std::pair<int, int>(int)>& inkColumns) {
  const int cw = w / 16;
  std::vector<uint8_t> rgb(size_t(w) * h * 3, 0);
  for (int c = 0; c < 16 * (h / cellH); ++c) {
    auto [a, b] = inkColumns(c);
    for (int col = a; col <= b; ++col)
      for (int r = 2; r < cellH - 2; ++r) {
        const int x = cw * (c % 16) + col, y = cellH * (c / 16) + r;
        std::memset(&rgb[(size_t(y) * w + x) * 3], 255, 3);
      }
  }
  EXPECT_TRUE(write_png_rgb(path, w, h, rgb));
  return path;
}

}  // namespace

using Text = GfxTest;

TEST_F(Text, BuiltinFontGlyphsAtScaleFour) {
  ASSERT_TRUE(gfx_install_builtin_font(0));
  const SpriteSlot& s = g_gfx->slots[kFontSlotBase];
  EXPECT_EQ(s.width, 128);
  EXPECT_EQ(s.height, 64);
  EXPECT_EQ(s.textureWidth, 128);
  EXPECT_FLOAT_EQ(s.sExtent, 1.0f);
  EXPECT_FLOAT_EQ(g_gfx->fontScale[0], 4.0f);
  EXPECT_EQ(g_gfx->glyphs[0][200].width, 8);
  EXPECT_FLOAT_EQ(g_gfx->glyphs[0][17].s0, 8.0f / 128.0f);
  gfx_set_font(0, 4.0);
  // '|': a vertical bar at glyph column 2, rows 0..4, one pixel inside the cell.
  gfx_print(BasicString("|"), 0, 0, 0);
  EXPECT_EQ(pixel(13, 5), (Rgba{255, 255, 255, 255}));   // glyph (2, 0) -> cell (3, 1) -> x 12..15, y 4..7
  EXPECT_EQ(pixel(14, 22), (Rgba{255, 255, 255, 255}));  // glyph (2, 4)
  EXPECT_EQ(pixel(9, 5), (Rgba{8, 8, 8, 255}));          // outline left of the bar
  EXPECT_EQ(pixel(13, 25), (Rgba{8, 8, 8, 255}));        // outline below it
  EXPECT_EQ(pixel(1, 1), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(pixel(13, 1), (Rgba{8, 8, 8, 255}));         // outline above it, in the cell's top row
  EXPECT_EQ(pixel(1, 5), (Rgba{0, 0, 0, 255}));          // the cell's first column stays empty
  // Two characters advance by one 32-pixel cell.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_print(BasicString("||"), 0, 0, 1);
  EXPECT_EQ(pixel(13 + 32, 5), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(gfx_text_width(BasicString("||"), 1), 64);
}

TEST_F(Text, ProportionalFontIsMeasuredFromItsInk) {
  // 256 x 128: wider than high, 128 characters in cells of 16 x 16.
  const std::string path = make_font(temp_path("font.png"), 256, 128, 16, [](int c) -> std::pair<int, int> {
    if (c == 'A') return {3, 9};
    if (c == 'W') return {0, 15};
    if (c == 'j') return {5, 8};
    if (c == 'i') return {0, 0};
    return {1, 0};  // empty
  });
  gfx_load_font(BasicString(path.c_str()), 3);
  ASSERT_EQ(g_error_state.code, 0);
  EXPECT_EQ(gfx_get_font(), 3);
  const GlyphRecord* g = g_gfx->glyphs[3];
  EXPECT_EQ(g['A'].left, 3);
  EXPECT_EQ(g['A'].width, 8);  // 7 ink columns and one of spacing
  EXPECT_EQ(g['W'].width, 16);  // full cell: no spacing
  EXPECT_EQ(g['i'].width, 2);
  EXPECT_EQ(g['j'].width, 5);
  EXPECT_EQ(g['#'].left, 0);
  EXPECT_EQ(g['#'].width, 16);  // empty cell: a full cell wide
  EXPECT_EQ(g[' '].width, 5);   // the space is as wide as j
  EXPECT_FLOAT_EQ(g[' '].s0, 0.0f);
  EXPECT_FLOAT_EQ(g[' '].s1, g['j'].s1 - g['j'].s0);
  EXPECT_FLOAT_EQ(g['A'].s0, (16.0f * ('A' % 16) + 3) / 256.0f);
  // Characters 128..255 repeat 0..127.
  EXPECT_EQ(g['A' + 128].width, 8);
  EXPECT_EQ(gfx_text_width(BasicString("AW A"), 1), 8 + 16 + 5 + 8);
  EXPECT_EQ(gfx_text_width(BasicString("AW A"), 0), 4 * 16);
  double fw = 0, fh = 0;
  gfx_get_font_size(fw, fh);
  EXPECT_EQ(fw, 16.0);
  EXPECT_EQ(fh, 16.0);

  // Drawing: "AA" with kerning puts the second A 8 pixels on; at x = 10.2 the
  // text starts at 11. A's ink is columns 3..9 of its cell; drawing starts at
  // its left ink column.
  gfx_print(BasicString("AA"), 10.2, 20.0, 1);
  EXPECT_EQ(pixel(11, 24), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(17, 24), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(18, 24), (Rgba{0, 0, 0, 255}));  // the spacing column
  EXPECT_EQ(pixel(19, 24), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(10, 24), (Rgba{0, 0, 0, 255}));
  // Character 128 ends the drawn text (128 mod 128 = 0) but counts for the width.
  glClear(GL_COLOR_BUFFER_BIT);
  const char withStop[] = {'A', char(128), 'A', 0};
  gfx_print(BasicString(withStop), 0, 0, 1);
  EXPECT_EQ(pixel(3, 4), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(pixel(11, 4), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(gfx_text_width(BasicString(withStop), 1), 8 + g[0].width + 8);
}

TEST_F(Text, TallImagesHold256CharactersAndScalesApply) {
  const std::string path = make_font(temp_path("font256.png"), 256, 256, 16, [](int c) -> std::pair<int, int> {
    if (c == 200) return {0, 3};
    return {1, 0};
  });
  gfx_load_font(BasicString(path.c_str()), 4);
  ASSERT_EQ(g_error_state.code, 0);
  EXPECT_EQ(g_gfx->glyphs[4][200].width, 5);
  EXPECT_EQ(g_gfx->glyphs[4][200 - 128].width, 16);
  const char one[] = {char(200), 0};
  gfx_print(BasicString(one), 0, 0, 1);
  EXPECT_EQ(pixel(1, 8), (Rgba{255, 255, 255, 255}));
  // Scale 1.5: monospaced "AB" in this 16-wide grid is 48; the builtin's 8-wide
  // cells give 24.
  gfx_set_font(4, 1.5);
  EXPECT_EQ(gfx_text_width(BasicString("AB"), 0), 48);
  ASSERT_TRUE(gfx_install_builtin_font(5));
  gfx_set_font(5, 1.5);
  EXPECT_EQ(gfx_text_width(BasicString("AB"), 0), 24);
  int iw = 0, ih = 0;
  gfx_get_font_size(iw, ih);
  EXPECT_EQ(iw, 12);
  EXPECT_EQ(ih, 12);
}

TEST_F(Text, FailedLoadsFallBackToTheBuiltinFont) {
  gfx_load_font(BasicString(temp_path("nothing.png").c_str()), 2);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(gfx_get_font(), 2);
  EXPECT_FLOAT_EQ(g_gfx->fontScale[2], 4.0f);
  EXPECT_EQ(g_gfx->slots[kFontSlotBase + 2].width, 128);
  // 32 x 32 pixels per character.
  EXPECT_EQ(gfx_text_width(BasicString("ab"), 0), 64);
  double w = 0, h = 0;
  gfx_get_font_size(w, h);
  EXPECT_EQ(w, 32.0);
  EXPECT_EQ(h, 32.0);
  // Out-of-range slots: error 7, nothing else.
  gfx_set_font(32, 2.0);
  EXPECT_EQ(g_error_state.code, 7);
  EXPECT_EQ(gfx_get_font(), 2);
  gfx_set_font(-1, 2.0);
  EXPECT_EQ(g_error_state.code, 7);
  gfx_load_font(BasicString("x.png"), 40);
  EXPECT_EQ(g_error_state.code, 7);
  EXPECT_EQ(gfx_get_font(), 2);
  // The highest slot without a font.
  EXPECT_EQ(gfx_gen_font(), 31);
  ASSERT_TRUE(gfx_install_builtin_font(31));
  EXPECT_EQ(gfx_gen_font(), 30);
  // An empty name frees the font's texture.
  gfx_load_font(BasicString(""), 31);
  EXPECT_EQ(g_gfx->slots[kFontSlotBase + 31].width, 0);
  EXPECT_EQ(gfx_gen_font(), 31);
  // Empty text draws nothing and has width 0.
  gfx_print(BasicString(""), 0, 0, 1);
  EXPECT_EQ(gfx_text_width(BasicString(""), 1), 0);
}
