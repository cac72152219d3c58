// Bitmap fonts on arbitrary bytes: the font loader's image readers (BMP,
// then PNG, with the font colour key; no JPEG fonts) and the glyph
// measurement of the decoded grid.
#include <cstddef>
#include <cstdint>

#include "gfx/font_glyphs.h"
#include "gfx/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ImageBuffer img;
  if (!gfx_decode_bmp(img, data, size, 0) && !gfx_decode_png(img, data, size, 0, "font.png")) return 0;
  GlyphRecord glyphs[256];
  gfx_measure_font_glyphs(img, glyphs);
  return 0;
}
