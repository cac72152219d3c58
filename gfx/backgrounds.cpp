// The per-frame clear and the tiled background images.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/backgrounds.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/file_access.h"
#include "gfx/frame_capture.h"
#include "gfx/gl_ext.h"
#include "gfx/texture_store.h"
#include "runtime/load_report.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

void gfx_free_background(int b) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  BackgroundImage& bg = g_gfx->backgrounds[b];
  for (uint32_t& t : bg.tiles)
    if (t) {
      glDeleteTextures(1, &t);
      t = 0;
    }
  gfx_gl_binding_cache_invalidate();
  std::memset(&bg, 0, sizeof bg);
}

void gfx_draw_background(int b) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  const BackgroundImage& bg = g_gfx->backgrounds[b];
  if (bg.columns == 0) return;
  gfx_state_disable(GL_BLEND);
  g_gfx->globalAlpha = 1.0f;
  gfx_set_colour_rgba(1, 1, 1, 1);
  gfx_alpha_test(1.0);
  // Tiles are bound by name, outside the slot table.
  gfx_bind_sprite_texture(-1);
  gfx_gl_binding_cache_invalidate();
  if (g_glx.ActiveTextureARB) {
    g_glx.ActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    g_glx.ActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glEnable(GL_TEXTURE_2D);
  g_gfx->boundSlot = -1;  // keep the wrap/filter cache out of tile textures
  // The arrays point into each tile's quad on this stack frame, and are off
  // again before it ends.
  gfx_client_arrays(true, true, false);
  int x = 0;
  for (int c = 0; c < bg.columns; ++c) {
    int y = 0;
    int colWidth = 0;
    for (int r = 0; r < bg.rows; ++r) {
      const int i = c * 8 + r;
      if (!bg.tiles[i]) continue;
      const float w = bg.tileWidth[i], h = bg.tileHeight[i];
      const float tw = bg.tileTexWidth[i], th = bg.tileTexHeight[i];
      // The tile keeps the nearest filtering and edge clamping it was made with.
      glBindTexture(GL_TEXTURE_2D, bg.tiles[i]);
      const QuadVertex v[4] = {{float(x), y + h, 0, 0},
                               {x + w, y + h, w / tw, 0},
                               {x + w, float(y), w / tw, h / th},
                               {float(x), float(y), 0, h / th}};
      glVertexPointer(2, GL_FLOAT, sizeof(QuadVertex), &v[0].x);
      glTexCoordPointer(2, GL_FLOAT, sizeof(QuadVertex), &v[0].s);
      glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
      y += int(h);
      colWidth = int(w);
    }
    x += colWidth;
  }
  gfx_client_arrays(false, false, false);
  gfx_gl_binding_cache_invalidate();
  gfx_bind_sprite_texture(-1);
  gfx_state_disable(GL_BLEND);
  g_gfx->globalAlpha = 1.0f;
  gfx_set_colour_rgba(1, 1, 1, 1);
}

void gfx_clear_frame() {
  if (!g_gfx) return;
  if (g_gfx->backgrounds[0].columns >= 1) {
    if (g_gfx->depthClearRequest) {
      g_gfx->depthClearRequest = false;
      glClear(GL_DEPTH_BUFFER_BIT);
    }
    gfx_draw_background(0);
    return;
  }
  if (!g_gfx->clearColourFlag && !g_gfx->depthClearRequest) return;
  if (g_gfx->clearColourFlag) {
    const float* c = g_gfx->clearColour;
    glClearColor(c[0], c[1], c[2], c[3]);
  }
  if (g_gfx->depthClearRequest) {
    g_gfx->depthClearRequest = false;
    glClear(g_gfx->clearColourFlag ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_DEPTH_BUFFER_BIT);
  } else {
    glClear(GL_COLOR_BUFFER_BIT);
  }
}

void gfx_clear_screen(int colour) {
  if (!g_gfx) return;
  gfx_free_background(0);
  if (colour == -1) {
    g_gfx->clearColourFlag = false;
    return;
  }
  g_gfx->clearColourFlag = true;
  float r, g, b;
  gfx_colour_to_rgb(colour, r, g, b);
  g_gfx->clearColour[0] = r;
  g_gfx->clearColour[1] = g;
  g_gfx->clearColour[2] = b;
  g_gfx->clearColour[3] = 1.0f;
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

void gfx_fill_background(int b, const ImageBuffer& img) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  const int c = std::min<int>(maxSize > 0 ? maxSize : 512, 512);
  gfx_free_background(b);
  BackgroundImage& bg = g_gfx->backgrounds[b];
  // At most 8 x 8 tiles; a larger picture is cut at the right and bottom.
  const int cols = std::min((img.width + c - 1) / c, 8), rows = std::min((img.height + c - 1) / c, 8);
  for (int col = 0; col < cols; ++col)
    for (int row = 0; row < rows; ++row) {
      const int i = col * 8 + row;
      uint32_t tex = 0;
      // Drawn 1:1 from the top-left corner: nearest filtering, edges clamped
      // (set once here rather than at every frame's drawing).
      if (!gfx_upload_texture_region(img, col * c, row * c, c, c, &tex, nullptr, false, true)) continue;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      bg.tiles[i] = tex;
      bg.tileTexWidth[i] = bg.tileTexHeight[i] = bg.tileWidth[i] = bg.tileHeight[i] = int16_t(c);
    }
  bg.columns = uint8_t(cols);
  bg.rows = uint8_t(rows);
  gfx_gl_binding_cache_invalidate();
}

bool gfx_capture_background(int b) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return false;
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  if (!gfx_read_window_pixels(false, w, h, rgba)) return false;
  ImageBuffer img;
  if (!img.resize(w, h)) return false;
  std::memcpy(img.pixels, rgba.data(), size_t(w) * h * 4);
  img.hasOwnAlpha = false;
  gfx_fill_background(b, img);
  return true;
}

void gfx_load_background_named(const char* name) {
  clear_error();
  if (!g_gfx) return;
  std::string path, why = "not found";
  ImageBuffer img;
  if (!gfx_resolve_media(name, path) || !gfx_read_image_file(img, path.c_str(), -1, true, &why)) {
    runtime_report_failed_load("gfx_load_background", name, (why + "; the frame is cleared to black").c_str());
    gfx_free_background(0);
    gfx_clear_screen(0);
    return;
  }
  gfx_fill_background(0, img);
  gfx_draw_background(0);
}
