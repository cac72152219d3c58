// Untextured primitives, reading pixels, the polygon batch and blending.
#include <cmath>
#include <cstring>
#include <new>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/gl_ext.h"
#include "gfx/poly_batch.h"
#include "gfx/texture_store.h"
#include "tamblix/gfx.h"

VertexArray<PolyVertex> g_poly;
PolyState g_poly_state;

template <class V>
bool VertexArray<V>::grow(int32_t n) {
  // An array that already holds n vertices is kept (no reallocation to the
  // same size when the count reaches the capacity).
  if (n <= capacity) return true;
  int32_t newCap = reserve >= n ? reserve : growthStep * (n / growthStep + 1);
  V* fresh = new (std::nothrow) V[size_t(newCap)];
  if (!fresh) {
    delete[] data;
    data = nullptr;
    capacity = count = 0;
    return false;
  }
  if (data && count > 0) std::memcpy(fresh, data, sizeof(V) * size_t(count));
  delete[] data;
  data = fresh;
  capacity = newCap;
  return true;
}
template struct VertexArray<PolyVertex>;
template struct VertexArray<TextVertex>;

namespace {

inline float draw_alpha(int colour) {
  return colour == g_gfx->spriteKey ? 0.0f : g_gfx->globalAlpha;
}

void restore_colour() { gfx_set_colour_rgba(1, 1, 1, g_gfx->globalAlpha); }

}  // namespace

void gfx_alpha_mode(double mode) {
  if (!g_gfx) return;
  const float m = float(mode);
  if (m == 0.0f) {
    gfx_state_disable(GL_BLEND);
    g_gfx->globalAlpha = 1.0f;
  } else if (m > 0.0f) {
    gfx_state_enable(GL_BLEND);
    gfx_set_blend_func(GL_SRC_ALPHA, GL_ONE);
    g_gfx->globalAlpha = m < 1.0f ? m : 1.0f;
  } else {
    gfx_state_enable(GL_BLEND);
    gfx_set_blend_func(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    g_gfx->globalAlpha = -m < 1.0f ? -m : 1.0f;
  }
  restore_colour();
}

void gfx_draw_rect(int x, int y, int width, int height, int colour) {
  if (!g_gfx) return;
  if (width < 0) {
    x = x + width + 1;
    width = -width;
  }
  if (height < 0) {
    y = y + height + 1;
    height = -height;
  }
  float r, g, b;
  gfx_colour_to_rgb(colour, r, g, b);
  gfx_set_colour_rgba(r, g, b, draw_alpha(colour));
  gfx_bind_sprite_texture(-1);
  const float x0 = float(x), y0 = float(y), x1 = float(x + width), y1 = float(y + height);
  const QuadVertex v[4] = {{x0, y1, 0, 0}, {x1, y1, 0, 0}, {x1, y0, 0, 0}, {x0, y0, 0, 0}};
  gfx_draw_textured_quad(v);
  restore_colour();
}

namespace {

void draw_points_or_line(GLenum mode, int x1, int y1, int x2, int y2, int colour) {
  float r, g, b;
  gfx_colour_to_rgb(colour, r, g, b);
  gfx_set_colour_rgba(r, g, b, draw_alpha(colour));
  gfx_bind_sprite_texture(-1);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glTranslatef(0.375f, 0.375f, 0.0f);
  gfx_client_arrays(true, false, false);
  const float line[4] = {float(x1), float(y1), float(x2), float(y2)};
  glVertexPointer(2, GL_FLOAT, 0, line);
  if (mode == GL_LINES) {
    glDrawArrays(GL_LINES, 0, 2);
    glDrawArrays(GL_POINTS, 1, 1);
  } else {
    glDrawArrays(GL_POINTS, 0, 1);
  }
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  // The array lives on this stack frame: leave no pointer to it enabled.
  gfx_client_arrays(false, false, false);
  restore_colour();
}

}  // namespace

void gfx_set_pixel(int x, int y, int colour) {
  if (!g_gfx) return;
  draw_points_or_line(GL_POINTS, x, y, x, y, colour);
}

void gfx_draw_line(int x1, int y1, int x2, int y2, int colour) {
  if (!g_gfx) return;
  draw_points_or_line(GL_LINES, x1, y1, x2, y2, colour);
}

// Where logical pixel (x, y) of the window lies in GL window coordinates
// (origin bottom-left) under the current orientation.
void gfx_logical_to_window_pixel(int x, int y, int& wx, int& wy) {
  const int W = g_gfx->windowWidth, H = g_gfx->windowHeight;
  switch (g_gfx->orientation) {
    case 1: wx = W - 1 - y; wy = H - 1 - x; break;
    case 2: wx = W - 1 - x; wy = y; break;
    case 3: wx = y; wy = x; break;
    default: wx = x; wy = H - 1 - y; break;
  }
}

int gfx_get_pixel(int x, int y) {
  if (!g_gfx) return 0;
  int rx, ry;
  if (g_gfx->currentScreen >= 0 && g_gfx->screens[g_gfx->currentScreen].framebuffer) {
    const int slot = g_gfx->screens[g_gfx->currentScreen].slot;
    const int h = gfx_valid_slot(slot) ? g_gfx->slots[slot].height : 0;
    rx = x;
    ry = h - 1 - y;
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
  } else {
    gfx_logical_to_window_pixel(x, y, rx, ry);
    glReadBuffer(GL_BACK);
  }
  uint8_t px[4] = {0, 0, 0, 0};
  gfx_pixel_pack_defaults();
  if (g_gfx->bgra) {
    glReadPixels(rx, ry, 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, px);
    std::swap(px[0], px[2]);
  } else {
    glReadPixels(rx, ry, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
  }
  return px[0] + 256 * px[1] + 65536 * px[2];
}

// ------------------------------------------------------------ polygon batch

void gfx_start_poly(int slot, int mode) {
  if (!g_gfx) return;
  if (!gfx_valid_slot(slot)) slot = -1;
  gfx_bind_sprite_texture(slot);
  g_poly.count = 0;
  if (g_poly.capacity <= 2) g_poly.grow(2);
  g_poly_state.colourArray = false;
  g_poly_state.stripJoin = false;
  g_poly_state.mode = mode;
  if (slot >= 0) {
    const SpriteSlot& s = g_gfx->slots[slot];
    g_poly_state.invTexWidth = s.textureWidth > 0 ? 1.0f / float(s.textureWidth) : 0.0f;
    g_poly_state.invTexHeight = s.textureHeight > 0 ? 1.0f / float(s.textureHeight) : 0.0f;
  }
}

void gfx_poly_vertex(double x, double y, double tx, double ty, int colour) {
  if (!g_gfx) return;
  const int32_t old = g_poly.count;
  const int32_t n = old + 1 + (g_poly_state.stripJoin ? 1 : 0);
  if (!g_poly.grow(n)) return;
  PolyVertex& v = g_poly.data[old];
  v.x = float(x);
  v.y = float(y);
  v.s = v.t = 0.0f;
  if (g_last_bound_slot >= 0 && gfx_valid_slot(g_last_bound_slot)) {
    v.s = float(tx) * g_poly_state.invTexWidth;
    v.t = float(g_gfx->slots[g_last_bound_slot].height - ty) * g_poly_state.invTexHeight;
  }
  if (colour == 0xFFFFFF) {
    v.r = v.g = v.b = 255;
  } else {
    g_poly_state.colourArray = true;
    v.r = uint8_t(colour & 255);
    v.g = uint8_t((colour >> 8) & 255);
    v.b = uint8_t((colour >> 16) & 255);
  }
  if (colour == g_gfx->spriteKey)
    v.a = 0;
  else
    v.a = g_gfx->globalAlpha == 1.0f ? 255 : uint8_t(g_gfx->globalAlpha * 255.0f);
  g_poly.count = n;
  if (g_poly_state.stripJoin) {
    g_poly.data[old + 1] = v;
    g_poly_state.stripJoin = false;
  }
}

void gfx_poly_new_strip() {
  if (g_poly.count == 0 || g_poly_state.stripJoin) return;
  g_poly_state.stripJoin = true;
  if (!g_poly.grow(g_poly.count + 1)) return;
  g_poly.data[g_poly.count] = g_poly.data[g_poly.count - 1];
  ++g_poly.count;
}

void gfx_end_poly() {
  if (!g_gfx || !g_poly.data) return;
  const bool tex = g_last_bound_slot >= 0;
  if (g_poly_state.colourArray || g_gfx->globalAlpha != 1.0f) {
    g_poly_state.colourArray = true;
    gfx_state_enable(GL_DITHER);
    gfx_set_shade_model(GL_SMOOTH);
  }
  gfx_client_arrays(true, tex, g_poly_state.colourArray);
  glVertexPointer(2, GL_FLOAT, sizeof(PolyVertex), &g_poly.data[0].x);
  if (tex) glTexCoordPointer(2, GL_FLOAT, sizeof(PolyVertex), &g_poly.data[0].s);
  if (g_poly_state.colourArray) glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PolyVertex), &g_poly.data[0].r);
  if (tex) {
    gfx_apply_sprite_filter();
    gfx_sync_bound_wrap();
  }
  GLenum prim = 0;
  bool draw = true;
  switch (g_poly_state.mode) {
    case 0: prim = GL_TRIANGLE_FAN; break;
    case 1: prim = GL_TRIANGLES; break;
    case 2: prim = GL_TRIANGLE_STRIP; break;
    default: draw = false; break;
  }
  if (draw && g_poly.count > 0) glDrawArrays(prim, 0, g_poly.count);
  // The arrays stay enabled, pointing into the batch: every drawing from
  // arrays sets its own pointers and arrays first, and drawing in immediate
  // mode does not read them.
  if (g_poly_state.colourArray) {
    // Drawing with a colour array leaves the GL current colour undefined.
    gfx_colour_cache_invalidate();
    gfx_set_colour_rgba(1, 1, 1, g_gfx->globalAlpha);
    gfx_set_shade_model(GL_FLAT);
    gfx_state_disable(GL_DITHER);
  }
}
