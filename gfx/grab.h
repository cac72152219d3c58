// Reading pixels back from GL: screen rectangles into slots, slots into
// images.
#pragma once

#include <cstdint>

#include "gfx/image_decode.h"

// The slot's image as RGBA rows top-down; false when the slot has none.
bool gfx_read_sprite_pixels(int slot, ImageBuffer& image);
// Reverses the order of the rows of w x h RGBA pixels in place (GL's
// bottom-up rows become top-down); opaque: every alpha byte becomes 255.
void gfx_flip_rows(uint8_t* pixels, int w, int h, bool opaque);
