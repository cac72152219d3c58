// The glyph measurement of bitmap fonts, on a decoded image alone (no GL):
// the font loader and the font fuzz target share it.
#pragma once

#include "gfx/context.h"
#include "gfx/image_decode.h"

// Measures the 16-column glyph grid of `img` into glyphs[0..255]: wider than
// high gives 128 characters in 8 rows (repeated for 128..255), square or
// taller 256 in 16. A glyph's width is its inked columns plus one column of
// spacing; an empty cell keeps the whole cell width. Character 32 (space)
// takes the width of character 106.
void gfx_measure_font_glyphs(const ImageBuffer& img, GlyphRecord (&glyphs)[256]);
