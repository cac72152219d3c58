// Drawing without blending where blending cannot change a pixel: opaque slot
// textures drawn texel for texel.
#pragma once

#include "gfx/image_decode.h"

// A slot's texture is opaque when every pixel of its image has alpha 255.
// Measured when an image is uploaded; forgotten when the texture changes or
// becomes a drawing target.
void gfx_texture_opacity_measure(int slot, const ImageBuffer& image);
void gfx_texture_opacity_forget(int slot);
bool gfx_texture_is_opaque(int slot);

// Blending with (source alpha, 1 - source alpha) at colour (1, 1, 1, 1) gives
// exactly the texture's pixels where its alpha is 1: an opaque slot drawn
// texel for texel (its own size, integer position, whole image or a frame
// inside it) is drawn with blending off. True when blending was switched off;
// then gfx_unblended_draw_end() after the draw.
bool gfx_opaque_texel_draw_begin(int slot, int x0, int y0, int x1, int y1);
void gfx_unblended_draw_end();
