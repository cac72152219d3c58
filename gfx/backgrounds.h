// The per-frame clear and the tiled background images.
#pragma once

#include "gfx/image_decode.h"

void gfx_clear_frame();
void gfx_free_background(int b);
void gfx_draw_background(int b);
// Background image b from a picture (tiles of at most 512 x 512, 8 x 8 at most).
void gfx_fill_background(int b, const ImageBuffer& img);
// Background image b from the window's back buffer; false when it cannot be read.
bool gfx_capture_background(int b);
void gfx_load_background_named(const char* name);
