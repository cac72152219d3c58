// Off-screen surfaces: framebuffer objects of the screen records, and which
// of them drawing goes into.
#pragma once

#include <cstdint>

#include "gfx/context.h"
#include "gfx/gl_ext.h"

bool gfx_create_framebuffer(ScreenRecord& rec, int w, int h, uint32_t texture, bool withDepth);
void gfx_destroy_framebuffer(ScreenRecord& rec);
// Ends drawing into the current surface (collecting its picture on the
// fallback path) and resets the viewport.
void gfx_end_screen_drawing();
// Whether drawing currently goes into a surface's framebuffer.
bool gfx_drawing_into_surface();
// Height of the current surface's image.
int gfx_surface_image_height();
// The framebuffer binding now.
GLint gfx_current_fbo_binding();
// Binds the record's framebuffer, saving the current binding. False when it
// was already bound (the rebind message is logged).
bool gfx_bind_record(ScreenRecord& rec);
// Puts back the binding saved by gfx_bind_record.
void gfx_unbind_record(ScreenRecord& rec);
