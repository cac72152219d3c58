// Drawing without blending where blending cannot change a pixel. Blending
// with (source alpha, 1 - source alpha) at colour (1, 1, 1, 1) writes exactly
// the texture's pixel wherever its alpha is 1, so:
// - an opaque slot texture drawn texel for texel needs no blending;
// - a surface stretched over the back buffer while that holds nothing but its
//   black clear is drawn without blending, except over the parts where the
//   surface's alpha may be below 1 (tracked for every drawing into it) and
//   its edges (where filtering reaches the transparent padding): those are
//   cleared again and drawn blended, as before.
#pragma once

#include "gfx/draw_state.h"
#include "gfx/image_decode.h"

// Measured when an image is uploaded: opaque (every image pixel has alpha
// 255) and binary (every alpha 0 or 255). Forgotten when the texture changes.
void texture_opacity_measure(int slot, const ImageBuffer& image);
void texture_opacity_forget(int slot);
bool texture_is_opaque(int slot);
// Drawing into a surface begins: its slot's picture may change.
void surface_drawing_begins(int slot);

// The back buffer's content: cleared to black (true) or anything else.
void back_buffer_cleared(bool black);

// Every drawing call reports here, before it draws: the logical rectangle it
// may touch (none known: transformed, whole target) and whether its fragments
// come out with alpha exactly 0 or 1 (binary) or exactly 1 (opaque).
struct DrawAlpha {
  bool binary = false;
  bool opaque = false;
};
void note_drawing();
void note_drawing_rect(float x0, float y0, float x1, float y1, DrawAlpha a);
// What a draw with the bound slot's texture (or none) at the current colour
// gives; `exact`: texel for texel (1:1 at integer positions).
DrawAlpha textured_draw_alpha(bool exact);
DrawAlpha colour_draw_alpha(float alpha);

// An opaque slot drawn texel for texel: true when blending was switched off
// for it; then unblended_draw_end() after the draw. The texel rectangle is in
// image pixels from the image's bottom-left corner.
bool opaque_texel_draw_begin(int slot, int x0, int y0, int x1, int y1);
void unblended_draw_end();
// After an opaque texel draw at (x, y), w x h: covering the whole surface
// being drawn, it makes the surface's alpha 1 everywhere.
void note_opaque_cover(int x, int y, int w, int h);
// Drawing through a moved modelview matrix: rectangles are not known.
void note_transformed_drawing(bool on);

// A slot stretched to (x, y, w, h) on the back buffer: draws it as described
// above and returns true, or returns false (nothing drawn; draw as usual).
bool stretch_onto_cleared_target(int slot, int x, int y, int w, int h, const QuadVertex v[4]);
