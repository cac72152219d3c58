#include "gfx/font_glyphs.h"

#include <cstddef>

#include "gfx/texture_store.h"

void gfx_measure_font_glyphs(const ImageBuffer& img, GlyphRecord (&glyphs)[256]) {
  const int W = img.width, H = img.height;
  const int cw = W >> 4;
  // Wider than high: 128 characters in 8 rows; square or taller: 256 in 16.
  const bool full = W <= H;
  const int count = full ? 256 : 128;
  const int ch = full ? H >> 4 : H >> 3;
  const float texW = float(gfx_pow2_at_least(W, 16));
  for (int c = 0; c < count; ++c) {
    const int x0 = cw * (c % 16), y0 = ch * (c / 16);
    auto column_has_ink = [&](int col) {
      for (int r = 0; r < ch; ++r)
        if (img.pixels[(size_t(y0 + r) * W + x0 + col) * 4 + 3]) return true;
      return false;
    };
    int left = -1, last = -1;
    for (int col = 0; col < cw; ++col)
      if (column_has_ink(col)) {
        left = col;
        break;
      }
    for (int col = cw - 1; col >= 0; --col)
      if (column_has_ink(col)) {
        last = col;
        break;
      }
    GlyphRecord g;
    if (left < 0) {
      g.left = 0;
      g.width = uint8_t(cw);
    } else {
      const int ink = last - left + 1;
      g.left = uint8_t(left);
      g.width = uint8_t(left + ink < cw ? ink + 1 : ink);
    }
    g.s0 = float(x0 + g.left) / texW;
    g.s1 = float(x0 + g.left + g.width) / texW;
    glyphs[c] = g;
    if (c == 106) {
      GlyphRecord& space = glyphs[32];
      space.width = g.width;
      space.s0 = 0.0f;
      space.s1 = g.s1 - g.s0;
    }
    if (count == 128) glyphs[c + 128] = glyphs[c];
  }
}
