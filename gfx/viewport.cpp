// The viewport and the orientation of the window.
#include <algorithm>

#include "gfx/context.h"
#include "gfx/gl_ext.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "gfx/viewport.h"
#include "platform/gl_proc.h"
#include "tamblix/gfx.h"

void gfx_apply_viewport(int x, int y, int w, int h) {
  if (!g_gfx) return;
  const bool surface = gfx_drawing_into_surface();
  if (w <= 0 || h <= 0) {
    x = y = 0;
    if (surface) {
      const ScreenRecord& rec = g_gfx->screens[g_gfx->currentScreen];
      w = rec.width;
      h = rec.height;
    } else {
      if (g_gfx->windowWidth <= 0 || g_gfx->windowHeight <= 0) {
        // Not told yet: ask the platform for the current drawable.
        int dw = 0, dh = 0;
        if (platform_gl_current_drawable_size(&dw, &dh)) gfx_window_size_changed(dw, dh);
      }
      w = g_gfx->windowWidth;
      h = g_gfx->windowHeight;
      if (g_gfx->orientation == 1 || g_gfx->orientation == 3) std::swap(w, h);
    }
  }
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (surface) {
    glViewport(x, gfx_surface_image_height() - h - y, w, h);
    glOrtho(0, w, h, 0, -1, 1);
  } else {
    const int W = g_gfx->windowWidth, H = g_gfx->windowHeight;
    static const GLfloat rot[4][16] = {
        {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
        {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
        {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
        {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
    };
    const int o = g_gfx->orientation & 3;
    glLoadMatrixf(rot[o]);
    switch (o) {
      case 1: glViewport(W - y - h, H - w - x, h, w); break;
      case 2: glViewport(W - x - w, y, w, h); break;
      case 3: glViewport(y, x, h, w); break;
      default: glViewport(x, H - h - y, w, h); break;
    }
    glOrtho(0, w, h, 0, -1, 1);
  }
  g_gfx->vpX = x;
  g_gfx->vpY = y;
  g_gfx->vpW = w;
  g_gfx->vpH = h;
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void gfx_window_size_changed(int w, int h) {
  if (!g_gfx) return;
  g_gfx->windowWidth = w;
  g_gfx->windowHeight = h;
}

void gfx_set_viewport(int x, int y, int w, int h) { gfx_apply_viewport(x, y, w, h); }

void gfx_get_viewport(int& x, int& y, int& w, int& h) {
  x = y = w = h = 0;
  if (!g_gfx) return;
  x = g_gfx->vpX;
  y = g_gfx->vpY;
  w = g_gfx->vpW;
  h = g_gfx->vpH;
}

void gfx_get_viewport(double& x, double& y, double& w, double& h) {
  int a, b, c, d;
  gfx_get_viewport(a, b, c, d);
  x = a;
  y = b;
  w = c;
  h = d;
}

void gfx_set_orientation(int orientation) {
  if (!g_gfx) return;
  g_gfx->orientation = std::clamp(orientation, 0, 3);
  gfx_apply_viewport(0, 0, 0, 0);
}

int gfx_get_orientation() { return g_gfx ? g_gfx->orientation : 0; }

void gfx_get_target_size(int& width, int& height) {
  width = height = 0;
  if (!g_gfx) return;
  const int n = g_gfx->currentScreen;
  if (n >= 0 && n < kScreenCount && gfx_valid_slot(g_gfx->screens[n].slot)) {
    width = g_gfx->slots[g_gfx->screens[n].slot].width;
    height = g_gfx->slots[g_gfx->screens[n].slot].height;
    return;
  }
  width = g_gfx->windowWidth;
  height = g_gfx->windowHeight;
  if (g_gfx->orientation == 1 || g_gfx->orientation == 3) std::swap(width, height);
}

void gfx_get_target_size(double& width, double& height) {
  int w, h;
  gfx_get_target_size(w, h);
  width = w;
  height = h;
}
