// Off-screen surfaces, the viewport and orientation, the per-frame clear and
// tiled backgrounds, grabbing screen rectangles and the texture swap file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "gfx/gfx_internal.h"
#include "platform/gl_proc.h"
#include "platform/posix_sys.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

bool g_fbo_available = false;

void logical_to_window_pixel(int x, int y, int& wx, int& wy);

namespace {

void debug_line(const char* fmt, long long a = 0, long long b = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  debug_print(buf);
}

// Whether drawing currently goes into a surface's framebuffer.
bool drawing_into_surface() {
  const int n = g_gfx->currentScreen;
  return n >= 0 && n < kScreenCount && g_gfx->fallbackScreen != n;
}

int surface_image_height() {
  const int slot = g_gfx->screens[g_gfx->currentScreen].slot;
  return valid_slot(slot) ? g_gfx->slots[slot].height : 0;
}

GLint current_fbo_binding() {
  GLint b = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &b);
  return b;
}

// Binds the record's framebuffer, saving the current binding. False when it
// was already bound (the rebind message is logged).
bool bind_record(ScreenRecord& rec) {
  if (rec.previousBinding != -1) {
    log_append("Trying to rebind the same FBO again. Need to end first\n");
    return false;
  }
  rec.previousBinding = current_fbo_binding();
  g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, rec.framebuffer);
  return true;
}

void unbind_record(ScreenRecord& rec) {
  if (rec.previousBinding == -1) return;
  g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(rec.previousBinding));
  rec.previousBinding = -1;
}

// Reverses the order of the rows of w x h RGBA pixels in place (GL's
// bottom-up rows become top-down); opaque: every alpha byte becomes 255.
void flip_rows(uint8_t* pixels, int w, int h, bool opaque) {
  const size_t rowBytes = size_t(w) * 4;
  for (int a = 0, b = h - 1; a < b; ++a, --b)
    std::swap_ranges(pixels + size_t(a) * rowBytes, pixels + size_t(a + 1) * rowBytes, pixels + size_t(b) * rowBytes);
  if (opaque)
    for (size_t i = 3; i < rowBytes * size_t(h); i += 4) pixels[i] = 255;
}

}  // namespace

// ------------------------------------------------------------ viewport

void set_viewport(int x, int y, int w, int h) {
  if (!g_gfx) return;
  const bool surface = drawing_into_surface();
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
        if (gl_current_drawable_size(&dw, &dh)) gfx_window_size_changed(dw, dh);
      }
      w = g_gfx->windowWidth;
      h = g_gfx->windowHeight;
      if (g_gfx->orientation == 1 || g_gfx->orientation == 3) std::swap(w, h);
    }
  }
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (surface) {
    glViewport(x, surface_image_height() - h - y, w, h);
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

void gfx_set_viewport(int x, int y, int w, int h) { set_viewport(x, y, w, h); }

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
  set_viewport(0, 0, 0, 0);
}

int gfx_get_orientation() { return g_gfx ? g_gfx->orientation : 0; }

void gfx_get_target_size(int& width, int& height) {
  width = height = 0;
  if (!g_gfx) return;
  const int n = g_gfx->currentScreen;
  if (n >= 0 && n < kScreenCount && valid_slot(g_gfx->screens[n].slot)) {
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

// ------------------------------------------------------------ framebuffers

void destroy_framebuffer(ScreenRecord& rec) {
  if (g_fbo_available && rec.previousBinding != -1) unbind_record(rec);
  if (rec.framebuffer && g_glx.DeleteFramebuffersEXT) g_glx.DeleteFramebuffersEXT(1, &rec.framebuffer);
  if (rec.depthBuffer && g_glx.DeleteRenderbuffersEXT) g_glx.DeleteRenderbuffersEXT(1, &rec.depthBuffer);
  rec = ScreenRecord{};
}

bool create_framebuffer(ScreenRecord& rec, int w, int h, uint32_t texture, bool withDepth) {
  destroy_framebuffer(rec);
  if (w < 1 || h < 1) {
    debug_line("can't create FBO for neg dims %lldx%lld\n", w, h);
    return false;
  }
  if (!g_glx.GenFramebuffersEXT || !g_glx.GenRenderbuffersEXT || !g_glx.BindRenderbufferEXT ||
      !g_glx.RenderbufferStorageEXT || !g_glx.CheckFramebufferStatusEXT || !g_glx.BindFramebufferEXT ||
      !g_glx.FramebufferTexture2DEXT || !g_glx.FramebufferRenderbufferEXT)
    return false;
  g_glx.GenFramebuffersEXT(1, &rec.framebuffer);
  if (rec.framebuffer == 0) {
    debug_print("glGenFramebuffersExt failed\n");
    return false;
  }
  const bool bound = bind_record(rec);
  glBindTexture(GL_TEXTURE_2D, texture);
  gl_binding_cache_invalidate();
  g_glx.FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
  if (withDepth) {
    g_glx.GenRenderbuffersEXT(1, &rec.depthBuffer);
    if (rec.depthBuffer == 0) {
      debug_print("glGenRenderbuffersExt failed\n");
      destroy_framebuffer(rec);
      return false;
    }
    g_glx.BindRenderbufferEXT(GL_RENDERBUFFER_EXT, rec.depthBuffer);
    for (int i = 0; i < 64 && glGetError() != GL_NO_ERROR; ++i) {
    }
    g_glx.RenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT32, w, h);
    if (glGetError() == GL_INVALID_OPERATION) {
      debug_print("depth 32 failed, try 24\n");
      g_glx.RenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, w, h);
      if (glGetError() == GL_INVALID_OPERATION) {
        debug_print("depth 32 failed, try 16\n");
        g_glx.RenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT16, w, h);
      }
    }
    g_glx.FramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                     rec.depthBuffer);
  }
  const GLenum status = g_glx.CheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
  if (status == 0) debug_line("glCheckFramebufferStatusExt()=0: glError=%llx\n", glGetError());
  if (bound) unbind_record(rec);
  if (status == GL_FRAMEBUFFER_COMPLETE_EXT) {
    rec.width = w;
    rec.height = h;
    return true;
  }
  debug_line("glBindRenderbufferExt failed %llx\n", status);
  destroy_framebuffer(rec);
  if (withDepth) {
    debug_print("Trying without a depth buffer as a fallback...\n");
    return create_framebuffer(rec, w, h, texture, false);
  }
  debug_print("CAN'T CREATE FRAMEBUFFER (CREATESCREEN)\n");
  return false;
}

void end_screen_drawing() {
  if (!g_gfx || g_gfx->currentScreen < 0) return;
  const int n = g_gfx->currentScreen;
  ScreenRecord& rec = g_gfx->screens[n];
  if (g_fbo_available && rec.previousBinding != -1) {
    unbind_record(rec);
  } else if (g_gfx->fallbackScreen == n && valid_slot(rec.slot)) {
    // Collect the surface's picture from the back buffer, then put back what
    // was there before.
    const SpriteSlot& s = g_gfx->slots[rec.slot];
    const int w = s.width, h = s.height, tw = s.textureWidth, th = s.textureHeight;
    g_gfx->currentScreen = -1;
    gfx_grab_sprite(rec.slot, 0, 0, w, h);
    gfx_draw_rect(0, 0, tw, th, 0);
    gfx_draw_sprite(kScratchSlot, 0, 0);
    g_gfx->orientation = g_gfx->savedOrientation;
  }
  g_gfx->fallbackScreen = -1;
  g_gfx->currentScreen = -1;
  set_viewport(0, 0, 0, 0);
}

void gfx_use_screen(int screen) {
  if (!g_gfx) return;
  if (screen < 0) {
    // Ending a surface resets the viewport; already on the back buffer, only
    // the viewport is reset.
    if (g_gfx->currentScreen >= 0)
      end_screen_drawing();
    else
      set_viewport(0, 0, 0, 0);
    return;
  }
  end_screen_drawing();
  if (screen >= kScreenCount) return;
  ScreenRecord& rec = g_gfx->screens[screen];
  if (!valid_slot(rec.slot) || g_gfx->slots[rec.slot].width <= 0) return;
  const int slot = rec.slot;
  const int w = g_gfx->slots[slot].width, h = g_gfx->slots[slot].height;
  g_gfx->currentScreen = screen;
  if (g_fbo_available && rec.framebuffer && rec.previousBinding == -1) {
    bind_record(rec);
    set_viewport(0, 0, w, h);
    glViewport(0, 0, w, h);
  } else {
    if (g_fbo_available && rec.previousBinding != -1)
      log_append("Trying to rebind the same FBO again. Need to end first\n");
    g_gfx->savedOrientation = g_gfx->orientation;
    g_gfx->orientation = 0;
    g_gfx->currentScreen = -1;
    set_viewport(0, 0, w, h);
    const int32_t key = g_gfx->spriteKey;
    g_gfx->spriteKey = -1;
    gfx_grab_sprite(kScratchSlot, 0, 0, w, h);
    g_gfx->spriteKey = key;
    gfx_draw_rect(0, 0, w, h, g_gfx->spriteKey);
    gfx_draw_sprite(slot, 0, 0);
    g_gfx->currentScreen = screen;
    g_gfx->fallbackScreen = screen;
  }
  free_collision_mask(slot);
}

namespace {

// An empty texture of exactly tw x th pixels for a surface.
bool create_surface_texture(SpriteSlot& s, int tw, int th) {
  std::vector<uint8_t> zeros(size_t(tw) * th * 4, 0);
  gl_binding_cache_invalidate();
  glGenTextures(1, &s.texture);
  if (!s.texture) return false;
  glBindTexture(GL_TEXTURE_2D, s.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  pixel_unpack_defaults();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
  return glGetError() == GL_NO_ERROR;
}

}  // namespace

int gfx_create_screen(int screen, int slot, int width, int height) {
  if (!g_gfx || unsigned(screen) >= unsigned(kScreenCount)) return 0;
  end_screen_drawing();
  destroy_framebuffer(g_gfx->screens[screen]);
  if (slot >= 0 && valid_slot(slot)) free_sprite_slot(slot);
  if (width > 0 && height > 0 && slot >= 0 && valid_slot(slot) && width <= kMaxImageSide &&
      height <= kMaxImageSide) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const int tw = pow2_at_least(width, 2), th = pow2_at_least(height, 2);
    if (maxSize > 0 && (tw > maxSize || th > maxSize)) return 0;
    // The padded sides must fit the slot's 16-bit fields.
    if (tw > kMaxImageSide || th > kMaxImageSide) return 0;
    SpriteSlot& s = g_gfx->slots[slot];
    if (create_surface_texture(s, tw, th)) {
      s.textureWidth = int16_t(tw);
      s.textureHeight = int16_t(th);
      s.width = int16_t(width);
      s.height = int16_t(height);
      s.sExtent = float(width) / float(tw);
      s.tExtent = float(height) / float(th);
      texture_params_forget(slot);
      ScreenRecord& rec = g_gfx->screens[screen];
      if (g_fbo_available) {
        if (create_framebuffer(rec, tw, th, s.texture, true)) {
          rec.slot = slot;
          end_screen_drawing();
          return 1;
        }
      } else {
        // Without framebuffer objects the surface is drawn on the back buffer
        // and collected into its texture at the end.
        rec.slot = slot;
        rec.width = tw;
        rec.height = th;
        return 1;
      }
    }
    free_sprite_slot(slot);
  }
  return 0;
}

int gfx_gen_screen() {
  if (!g_gfx) return -1;
  for (int n = kScreenCount - 1; n >= 0; --n)
    if (g_gfx->screens[n].width == 0 || g_gfx->screens[n].slot < 0) return n;
  return -1;
}

// ------------------------------------------------------------ grab

void gfx_grab_sprite(int slot, int x, int y, int w, int h) {
  if (!g_gfx || !valid_slot(slot)) return;
  SpriteSlot& s = g_gfx->slots[slot];
  s.frameWidth = s.frameHeight = 0;
  free_collision_mask(slot);
  if (w <= 0 || h <= 0) {
    free_sprite_slot(slot);
    return;
  }
  // A rectangle no texture can hold is not copied; nor one whose padded
  // texture side would not fit the slot's 16-bit fields.
  GLint maxSize = g_gfx->maxTextureSize;
  if (maxSize <= 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  if (w > kMaxImageSide || h > kMaxImageSide || (maxSize > 0 && (w > maxSize || h > maxSize)) ||
      int64_t(w) * h > kMaxImagePixels)
    return;
  const int tw = pow2_at_least(w, 16), th = pow2_at_least(h, 16);
  if (tw > kMaxImageSide || th > kMaxImageSide) return;
  gl_binding_cache_invalidate();
  texture_params_forget(slot);
  if (s.texture && s.textureWidth == tw && s.textureHeight == th) {
    glBindTexture(GL_TEXTURE_2D, s.texture);
  } else {
    if (s.texture) glDeleteTextures(1, &s.texture);
    if (s.mipmapTexture) glDeleteTextures(1, &s.mipmapTexture);
    s.texture = s.mipmapTexture = 0;
    glGenTextures(1, &s.texture);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, g_gfx->bgra ? GL_BGRA : GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
  }
  s.textureWidth = int16_t(tw);
  s.textureHeight = int16_t(th);
  s.width = int16_t(w);
  s.height = int16_t(h);
  s.sExtent = float(w) / float(tw);
  s.tExtent = float(h) / float(th);

  const bool surface = drawing_into_surface();
  const int targetH = surface ? surface_image_height() : g_gfx->windowHeight;
  GLint alphaBits = 0;
  glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
  if (alphaBits > 0 && (surface || g_gfx->orientation == 0)) {
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, targetH - y - h, w, h);
    return;
  }
  // Read the pixels one rectangle at a time through the orientation, key the
  // sprite colour key out and write the block into the texture.
  std::vector<uint8_t>& buf = g_gfx->readBuffer;
  buf.resize(size_t(w) * h * 4);
  pixel_pack_defaults();
  glReadBuffer(surface ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
  const int o = surface ? 0 : g_gfx->orientation;
  std::vector<uint8_t> raw;
  if (o == 0) {
    glReadPixels(x, targetH - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
  } else {
    // The logical rectangle covers a window rectangle; read that, then pick
    // each logical pixel out of it. Rows of buf are bottom-up like GL's.
    int ax, ay, bx, by;
    logical_to_window_pixel(x, y, ax, ay);
    logical_to_window_pixel(x + w - 1, y + h - 1, bx, by);
    const int rx = std::min(ax, bx), ry = std::min(ay, by);
    const int rw = std::abs(bx - ax) + 1, rh = std::abs(by - ay) + 1;
    raw.resize(size_t(rw) * rh * 4);
    glReadPixels(rx, ry, rw, rh, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    for (int ly = 0; ly < h; ++ly)
      for (int lx = 0; lx < w; ++lx) {
        int wx, wy;
        logical_to_window_pixel(x + lx, y + ly, wx, wy);
        const uint8_t* src = &raw[(size_t(wy - ry) * rw + (wx - rx)) * 4];
        std::memcpy(&buf[(size_t(h - 1 - ly) * w + lx) * 4], src, 4);
      }
  }
  const int32_t key = g_gfx->spriteKey;
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    uint8_t* p = &buf[i * 4];
    if (alphaBits <= 0) p[3] = 255;
    if (key != -1 && p[0] + 256 * p[1] + 65536 * p[2] == key) p[3] = 0;
  }
  pixel_unpack_defaults();
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
}

bool read_sprite_pixels(int slot, ImageBuffer& image) {
  if (!g_gfx || !valid_slot(slot)) return false;
  const SpriteSlot& s = g_gfx->slots[slot];
  if (s.width <= 0 || !s.texture) return false;
  end_screen_drawing();
  if (!image.resize(s.width, s.height)) return false;
  image.hasOwnAlpha = true;
  pixel_pack_defaults();
  ScreenRecord temp;
  if (g_fbo_available && create_framebuffer(temp, s.textureWidth, s.textureHeight, s.texture, false)) {
    bind_record(temp);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadPixels(0, 0, s.width, s.height, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels);
    unbind_record(temp);
    destroy_framebuffer(temp);
  } else {
    // Without framebuffer objects: the whole texture, then the image corner.
    std::vector<uint8_t> all(size_t(s.textureWidth) * s.textureHeight * 4);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    gl_binding_cache_invalidate();
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, all.data());
    for (int y = 0; y < s.height; ++y)
      std::memcpy(image.pixels + size_t(y) * s.width * 4, &all[size_t(y) * s.textureWidth * 4], size_t(s.width) * 4);
  }
  // Texture row 0 is the image's bottom row: make the buffer top-down.
  flip_rows(image.pixels, s.width, s.height, false);
  return true;
}

// ------------------------------------------------------------ frame clear

void free_background(int b) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  BackgroundImage& bg = g_gfx->backgrounds[b];
  for (uint32_t& t : bg.tiles)
    if (t) {
      glDeleteTextures(1, &t);
      t = 0;
    }
  gl_binding_cache_invalidate();
  std::memset(&bg, 0, sizeof bg);
}

void draw_background(int b) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  const BackgroundImage& bg = g_gfx->backgrounds[b];
  if (bg.columns == 0) return;
  state_disable(GL_BLEND);
  g_gfx->globalAlpha = 1.0f;
  set_colour_rgba(1, 1, 1, 1);
  gfx_alpha_test(1.0);
  // Tiles are bound by name, outside the slot table.
  bind_sprite_texture(-1);
  gl_binding_cache_invalidate();
  if (g_glx.ActiveTextureARB) {
    g_glx.ActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    g_glx.ActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glEnable(GL_TEXTURE_2D);
  g_gfx->boundSlot = -1;  // keep the wrap/filter cache out of tile textures
  // The arrays point into each tile's quad on this stack frame, and are off
  // again before it ends.
  client_arrays(true, true, false);
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
  client_arrays(false, false, false);
  gl_binding_cache_invalidate();
  bind_sprite_texture(-1);
  state_disable(GL_BLEND);
  g_gfx->globalAlpha = 1.0f;
  set_colour_rgba(1, 1, 1, 1);
}

void clear_frame() {
  if (!g_gfx) return;
  if (g_gfx->backgrounds[0].columns >= 1) {
    if (g_gfx->depthClearRequest) {
      g_gfx->depthClearRequest = false;
      glClear(GL_DEPTH_BUFFER_BIT);
    }
    draw_background(0);
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
  free_background(0);
  if (colour == -1) {
    g_gfx->clearColourFlag = false;
    return;
  }
  g_gfx->clearColourFlag = true;
  float r, g, b;
  colour_to_rgb(colour, r, g, b);
  g_gfx->clearColour[0] = r;
  g_gfx->clearColour[1] = g;
  g_gfx->clearColour[2] = b;
  g_gfx->clearColour[3] = 1.0f;
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

void fill_background(int b, const ImageBuffer& img) {
  if (!g_gfx || b < 0 || b >= kBackgroundCount) return;
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  const int c = std::min<int>(maxSize > 0 ? maxSize : 512, 512);
  free_background(b);
  BackgroundImage& bg = g_gfx->backgrounds[b];
  // At most 8 x 8 tiles; a larger picture is cut at the right and bottom.
  const int cols = std::min((img.width + c - 1) / c, 8), rows = std::min((img.height + c - 1) / c, 8);
  for (int col = 0; col < cols; ++col)
    for (int row = 0; row < rows; ++row) {
      const int i = col * 8 + row;
      uint32_t tex = 0;
      // Drawn 1:1 from the top-left corner: nearest filtering, edges clamped
      // (set once here rather than at every frame's drawing).
      if (!upload_texture_region(img, col * c, row * c, c, c, &tex, nullptr, false, true)) continue;
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      bg.tiles[i] = tex;
      bg.tileTexWidth[i] = bg.tileTexHeight[i] = bg.tileWidth[i] = bg.tileHeight[i] = int16_t(c);
    }
  bg.columns = uint8_t(cols);
  bg.rows = uint8_t(rows);
  gl_binding_cache_invalidate();
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
  fill_background(b, img);
  return true;
}

void gfx_load_background_named(const char* name) {
  clear_error();
  if (!g_gfx) return;
  std::string path;
  ImageBuffer img;
  if (!gfx_resolve_media(name, path) || !read_image_file(img, path.c_str(), -1, true)) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    free_background(0);
    gfx_clear_screen(0);
    return;
  }
  fill_background(0, img);
  draw_background(0);
}

// ------------------------------------------------------------ swap file

const std::string& swap_file_name() {
  static std::string name;
  if (name.empty()) {
    std::string dir = platform_temp_dir();
    for (char& ch : dir)
      if (ch == '\\') ch = '/';
    if (dir.empty()) dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    // A random number plus a per-instance value (the address of this name).
    std::random_device rd;
    const unsigned number = unsigned(rd()) + unsigned(reinterpret_cast<uintptr_t>(&name) >> 4);
    char buf[64];
    std::snprintf(buf, sizeof buf, "tmxtxs%x.bin", number);
    name = dir + buf;
  }
  return name;
}

namespace {

void remove_swap_file() {
  // A file, or an empty directory of that name.
  std::error_code ec;
  std::filesystem::remove(swap_file_name(), ec);
}

void put_le32(std::FILE* f, int32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

bool get_le32(std::FILE* f, int32_t& v) {
  uint8_t b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  return true;
}

}  // namespace

bool save_textures() {
  if (!g_gfx) return false;
  const std::string& name = swap_file_name();
  std::string line = "move textures from mem to temp file\n   \"" + name + "\"\n";
  log_append(line.c_str());
  remove_swap_file();
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  ImageBuffer img;
  bool ok = true;
  for (int slot = 0; slot < kSlotCount - 1; ++slot) {
    if (g_gfx->slots[slot].width < 1) continue;
    if (!read_sprite_pixels(slot, img)) continue;
    put_le32(f, slot);
    put_le32(f, img.width);
    put_le32(f, img.height);
    if (std::fwrite(img.pixels, 4, size_t(img.width) * img.height, f) != size_t(img.width) * img.height) ok = false;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

bool restore_textures() {
  if (!g_gfx) return false;
  log_append("restoring textures from temp file\n");
  const std::string& name = swap_file_name();
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  ImageBuffer img;
  bool ok = true;
  int32_t slot, w, h;
  while (get_le32(f, slot)) {
    if (!get_le32(f, w) || !get_le32(f, h) || !valid_slot(slot) || !img.resize(w, h)) {
      ok = false;
      break;
    }
    if (std::fread(img.pixels, 4, size_t(w) * h, f) != size_t(w) * h) {
      ok = false;
      break;
    }
    img.hasOwnAlpha = true;
    upload_sprite(slot, img, false);
  }
  std::fclose(f);
  remove_swap_file();
  return ok;
}

int gfx_swap_textures(int flag) {
  if (flag == 0)
    save_textures();
  else
    restore_textures();
  return 0;
}

void gfx_swap_file_remove() { remove_swap_file(); }

// ------------------------------------------------------------ screenshot

bool gfx_read_window_pixels(bool front, int& w, int& h, std::vector<uint8_t>& rgba) {
  if (!g_gfx) return false;
  w = g_gfx->windowWidth;
  h = g_gfx->windowHeight;
  if (w <= 0 || h <= 0) {
    if (!gl_current_drawable_size(&w, &h)) return false;
  }
  GLint prev = 0;
  if (g_fbo_available) {
    prev = current_fbo_binding();
    if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  rgba.assign(size_t(w) * h * 4, 0);
  pixel_pack_defaults();
  glReadBuffer(front ? GL_FRONT : GL_BACK);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glReadBuffer(GL_BACK);
  if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(prev));
  // The window has no alpha to speak of: the picture is opaque.
  flip_rows(rgba.data(), w, h, true);
  return glGetError() == GL_NO_ERROR;
}

namespace {

// Copy of the frame handed to the last buffer swap, kept while captures are on.
struct FrameCapture {
  bool on = false;
  GLuint texture = 0;
  int width = 0, height = 0;
};
FrameCapture g_capture;

void drop_capture() {
  if (g_capture.texture) glDeleteTextures(1, &g_capture.texture);
  g_capture.texture = 0;
  g_capture.width = g_capture.height = 0;
}

}  // namespace

void gfx_drop_captured_frame() { drop_capture(); }

void gfx_capture_presented_frames(bool on) {
  g_capture.on = on;
  if (!on) drop_capture();
}

void gfx_capture_frame() {
  if (!g_capture.on || !g_gfx) return;
  int w = g_gfx->windowWidth, h = g_gfx->windowHeight;
  if ((w <= 0 || h <= 0) && !gl_current_drawable_size(&w, &h)) return;
  GLint prev = 0;
  if (g_fbo_available) {
    prev = current_fbo_binding();
    if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  const bool fresh = !g_capture.texture;
  if (fresh) glGenTextures(1, &g_capture.texture);
  glBindTexture(GL_TEXTURE_2D, g_capture.texture);
  gl_binding_cache_invalidate();
  if (fresh) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  glReadBuffer(GL_BACK);
  // The texture's storage is made again only when the window size changed;
  // every other frame copies into the storage it already has.
  if (fresh || w != g_capture.width || h != g_capture.height) {
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, w, h, 0);
    g_capture.width = w;
    g_capture.height = h;
  } else {
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, w, h);
  }
  if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(prev));
}

bool gfx_write_screenshot_png(const char* path) {
  if (!path || !*path || !g_gfx) return false;
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  if (g_capture.texture && g_capture.width > 0) {
    w = g_capture.width;
    h = g_capture.height;
    rgba.assign(size_t(w) * h * 4, 0);
    glBindTexture(GL_TEXTURE_2D, g_capture.texture);
    gl_binding_cache_invalidate();
    pixel_pack_defaults();
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    flip_rows(rgba.data(), w, h, true);
  } else if (!gfx_read_window_pixels(false, w, h, rgba)) {
    // Without a capture the back buffer is read: after a swap it still holds
    // the presented frame on GL implementations that preserve it.
    return false;
  }
  return write_png_file(path, w, h, rgba.data());
}
