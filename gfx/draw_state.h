// The 2-D drawing's GL state: cached capabilities, colour, texture bindings
// and parameters, client arrays, pixel transfer settings; quads.
#pragma once

#include <cstdint>

#include "gfx/gl_ext.h"

void gfx_state_enable(GLenum cap);
void gfx_state_disable(GLenum cap);
void gfx_state_cache_invalidate();
void gfx_set_colour_rgba(float r, float g, float b, float a);
// glShadeModel through a cache.
void gfx_set_shade_model(GLenum mode);
// The bound slot's texture gets the wrap mode its draw needs.
void gfx_sync_bound_wrap();
// A new GL context: the next 2-D reset forgets every cache.
void gfx_caches_new_context();
// glBlendFunc through a cache.
void gfx_set_blend_func(GLenum src, GLenum dst);
// Blending on with (source alpha, 1 - source alpha), current colour (1, 1, 1, 1).
bool gfx_blend_is_normal_at_white();
void gfx_colour_cache_invalidate();
void gfx_bind_sprite_texture(int slot, int second = -1, bool mipmap = false, const uint32_t* table = nullptr);
// Filtering of the bound slot's texture by the smoothing flag.
void gfx_apply_sprite_filter();
void gfx_set_bound_filter(bool linear);
struct QuadVertex {
  float x, y, s, t;
};
void gfx_draw_textured_quad(const QuadVertex v[4]);
// One quad in immediate mode (texture coordinates when tex).
void gfx_emit_quad(const QuadVertex v[4], bool tex);
void gfx_reset_2d_state();
// Forget what is known about GL bindings (after foreign GL code ran).
void gfx_gl_binding_cache_invalidate();
// The texture of a slot was (re)created or deleted.
void gfx_texture_params_forget(int slot);
// Client arrays switched through a small cache.
void gfx_client_arrays(bool vertex, bool texcoord, bool colour);
void gfx_begin_frame_blend();
void gfx_colour_to_rgb(int colour, float& r, float& g, float& b);
// Pixel transfers of tightly packed RGBA rows: alignment 4, no row length, no
// skipped rows or pixels, whatever code outside the 2-D drawing left there
// (a skip would move the transfer past the end of the engine's buffers).
void gfx_pixel_pack_defaults();
void gfx_pixel_unpack_defaults();

// Slot of the texture bound last for drawing, -1 when none (program-wide).
extern int32_t g_last_bound_slot;
