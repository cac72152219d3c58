// Reading the window's pixels, keeping the presented frame and writing
// screenshots.
#include <vector>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/frame_capture.h"
#include "gfx/gl_ext.h"
#include "gfx/grab.h"
#include "gfx/surfaces.h"
#include "platform/gl_proc.h"

bool gfx_read_window_pixels(bool front, int& w, int& h, std::vector<uint8_t>& rgba) {
  if (!g_gfx) return false;
  w = g_gfx->windowWidth;
  h = g_gfx->windowHeight;
  if (w <= 0 || h <= 0) {
    if (!platform_gl_current_drawable_size(&w, &h)) return false;
  }
  GLint prev = 0;
  if (g_fbo_available) {
    prev = gfx_current_fbo_binding();
    if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  rgba.assign(size_t(w) * h * 4, 0);
  gfx_pixel_pack_defaults();
  glReadBuffer(front ? GL_FRONT : GL_BACK);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glReadBuffer(GL_BACK);
  if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(prev));
  // The window has no alpha to speak of: the picture is opaque.
  gfx_flip_rows(rgba.data(), w, h, true);
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
  if ((w <= 0 || h <= 0) && !platform_gl_current_drawable_size(&w, &h)) return;
  GLint prev = 0;
  if (g_fbo_available) {
    prev = gfx_current_fbo_binding();
    if (prev) g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  const bool fresh = !g_capture.texture;
  if (fresh) glGenTextures(1, &g_capture.texture);
  glBindTexture(GL_TEXTURE_2D, g_capture.texture);
  gfx_gl_binding_cache_invalidate();
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

bool gfx_write_screenshot_png(const char* path, std::string* why) {
  if (!path || !*path || !g_gfx) {
    if (why) *why = !g_gfx ? "no picture to write" : "no file name";
    return false;
  }
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  if (g_capture.texture && g_capture.width > 0) {
    w = g_capture.width;
    h = g_capture.height;
    rgba.assign(size_t(w) * h * 4, 0);
    glBindTexture(GL_TEXTURE_2D, g_capture.texture);
    gfx_gl_binding_cache_invalidate();
    gfx_pixel_pack_defaults();
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    gfx_flip_rows(rgba.data(), w, h, true);
  } else if (!gfx_read_window_pixels(false, w, h, rgba)) {
    // Without a capture the back buffer is read: after a swap it still holds
    // the presented frame on GL implementations that preserve it.
    if (why) *why = "the window's picture could not be read";
    return false;
  }
  return gfx_write_png_file(path, w, h, rgba.data(), why);
}
