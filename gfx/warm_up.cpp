// The start-up warm-up of the GL driver.
//
// A software GL driver builds machine code for each combination of state it
// meets (blending, texture filtering, shading, target format) the first time
// it draws with it, which costs tens of milliseconds in the middle of a
// program's frame. The warm-up draws each kind of 2-D drawing once with each
// blending class, into a small surface and into the window's back buffer, at
// start-up. Everything it touches is put back: the slots it borrowed are
// empty again, the GL state and the drawing state are as before, and the back
// buffer gets the frame's clear.
#include <vector>

#include "gfx/backgrounds.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/fonts.h"
#include "gfx/gl_ext.h"
#include "gfx/gl_state.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "tamblix/gfx.h"

namespace {

// Borrowed while the warm-up runs: the highest surface and the two sprite
// slots below the scratch slot; start-up runs before any program code, so
// they are empty.
constexpr int kWarmScreen = kScreenCount - 1;
constexpr int kWarmSurfaceSlot = kScratchSlot - 1;
constexpr int kWarmSpriteSlot = kScratchSlot - 2;
constexpr int kSide = 64;

// One of each kind of drawing the 2-D commands do, in the current blending.
void draw_each_kind() {
  gfx_draw_sprite(kWarmSpriteSlot, 0, 0);
  gfx_draw_sprite_scaled(kWarmSpriteSlot, 0, 0, 48, 48);
  gfx_draw_sprite_scaled(kWarmSpriteSlot, 0, 0, 80, 80);
  gfx_draw_anim(kWarmSpriteSlot, 1, 0, 0);
  gfx_zoom_sprite(kWarmSpriteSlot, 8, 8, 0.5, 0.5);
  gfx_draw_rect(0, 0, 4, 4, 0x336699);
  gfx_draw_line(0, 0, 8, 8, 0x996633);
  for (int colour : {0xFFFFFF, 0x3399FF}) {
    gfx_start_poly(kWarmSpriteSlot, 0);
    gfx_poly_vertex(0, 0, 0, 0, colour);
    gfx_poly_vertex(0, 16, 0, 16, colour);
    gfx_poly_vertex(16, 16, 16, 16, colour);
    gfx_poly_vertex(16, 0, 16, 0, colour);
    gfx_end_poly();
  }
  gfx_start_poly(-1, 0);
  gfx_poly_vertex(0, 0, 0, 0, 0x3399FF);
  gfx_poly_vertex(0, 16, 0, 0, 0x3399FF);
  gfx_poly_vertex(16, 16, 0, 0, 0x3399FF);
  gfx_end_poly();
  gfx_print_c("Ag0:", 0, 0, 1);
}

// Each blending class of gfx_alpha_mode: off, alpha blending (opaque and
// translucent), additive (translucent and full).
void draw_each_blend() {
  for (double mode : {0.0, -1.0, -0.5, 0.1, 1.0}) {
    gfx_alpha_mode(mode);
    draw_each_kind();
  }
}

}  // namespace

void gfx_warm_up() {
  if (!g_gfx) return;
  // The drawing state the program could see.
  const bool smoothing = g_gfx->smoothing;
  const float globalAlpha = g_gfx->globalAlpha;
  const float alphaTestRef = g_gfx->alphaTestRef;
  const int currentScreen = g_gfx->currentScreen;
  const int orientation = g_gfx->orientation;
  const int32_t lastBoundSlot = g_last_bound_slot;
  if (currentScreen >= 0) return;  // only on the back buffer
  for (int slot : {kWarmSurfaceSlot, kWarmSpriteSlot})
    if (g_gfx->slots[slot].texture) return;
  if (g_gfx->screens[kWarmScreen].slot >= 0) return;
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);

  // A sprite with opaque, translucent and clear pixels, two frames wide.
  std::vector<int32_t> pixels(size_t(kSide) * kSide);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      pixels[size_t(y) * kSide + x] = int32_t(uint32_t((x * 4) | (y * 4) << 8 | 0x80 << 16) |
                                              uint32_t((x + y) % 3 == 0 ? 0 : (x % 2 ? 0x80 : 0xFF)) << 24);
  if (gfx_mem_to_sprite_raw(pixels.data(), int(pixels.size()), kWarmSpriteSlot, kSide, kSide)) {
    gfx_set_sprite_anim(kWarmSpriteSlot, kSide / 2, kSide);
    if (gfx_create_screen(kWarmScreen, kWarmSurfaceSlot, kSide, kSide)) {
      gfx_use_screen(kWarmScreen);
      draw_each_blend();
      gfx_use_screen(-1);
      // The surface itself drawn onto the back buffer (the playfield stretch).
      for (double mode : {0.0, -1.0}) {
        gfx_alpha_mode(mode);
        gfx_draw_sprite_scaled(kWarmSurfaceSlot, 0, 0, 100, 60);
        gfx_draw_sprite(kWarmSurfaceSlot, 0, 0);
      }
    }
    draw_each_blend();
    glFinish();
  }

  // Give everything back (leaving the surface also resets the viewport to the
  // whole window, as start-up left it).
  gfx_use_screen(-1);
  gfx_destroy_framebuffer(g_gfx->screens[kWarmScreen]);
  g_gfx->screens[kWarmScreen] = ScreenRecord{};
  gfx_free_sprite_slot(kWarmSurfaceSlot);
  gfx_free_sprite_slot(kWarmSpriteSlot);
  glPopClientAttrib();
  glPopAttrib();
  gfx_forget_gl_state();
  glColor4fv(colour);
  gfx_colour_cache_invalidate();
  g_gfx->smoothing = smoothing;
  g_gfx->globalAlpha = globalAlpha;
  g_gfx->alphaTestRef = alphaTestRef;
  g_gfx->orientation = orientation;
  g_last_bound_slot = lastBoundSlot;
  gfx_clear_frame();
}
