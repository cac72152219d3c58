// The graphics context's lifetime, its GL-side set-up and the runtime hooks.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "gfx/backgrounds.h"
#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/fonts.h"
#include "gfx/frame_capture.h"
#include "gfx/gl_ext.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "gfx/viewport.h"
#include "platform/gl_proc.h"
#include "runtime/output_file.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

GlExtProcs g_glx;

void gfx_swap_file_remove();

namespace {

template <class F>
void lookup(F& fn, const char* name) {
  fn = reinterpret_cast<F>(platform_gl_proc_address(name));
  if (!fn) {
    char line[96];
    std::snprintf(line, sizeof line, "ext: %-35s   [FAILED]", name);
    log_append(line);
  }
}

const char* extension_string() {
  const char* e = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return e ? e : "";
}

}  // namespace

void gfx_load_gl_extensions() {
  const char* ext = extension_string();
  if (std::strstr(ext, "GL_ARB_multitexture")) {
    lookup(g_glx.ActiveTextureARB, "glActiveTextureARB");
    lookup(g_glx.MultiTexCoord2fARB, "glMultiTexCoord2fARB");
    lookup(g_glx.ClientActiveTextureARB, "glClientActiveTextureARB");
    lookup(g_glx.GenBuffersARB, "glGenBuffersARB");
    lookup(g_glx.BindBufferARB, "glBindBufferARB");
    lookup(g_glx.BufferDataARB, "glBufferDataARB");
    lookup(g_glx.DeleteBuffersARB, "glDeleteBuffersARB");
    lookup(g_glx.MapBufferARB, "glMapBufferARB");
    lookup(g_glx.UnmapBufferARB, "glUnmapBufferARB");
    lookup(g_glx.GetBufferParameterivARB, "glGetBufferParameterivARB");
  } else {
    g_glx.ActiveTextureARB = nullptr;
  }
  gfx_gl_binding_cache_invalidate();
  gfx_caches_new_context();
}

void gfx_record_gl_caps() {
  if (!g_gfx) return;
  const char* ext = extension_string();
  g_gfx->bgra = std::strstr(ext, "GL_EXT_bgra") || std::strstr(ext, "_texture_format_BGRA8888");
  if (g_gfx->bgra) {
    log_append("BGRA ext supported\n");
  } else {
    std::string line = std::string("BGRA ext NOT supported\n") + ext + "\n";
    log_append(line.c_str());
  }
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  g_gfx->maxTextureSize = maxSize;
  char line[64];
  std::snprintf(line, sizeof line, "Texture size limit: %d\n", int(maxSize));
  log_append(line);
}

void gfx_init_fbo() {
  lookup(g_glx.GenFramebuffersEXT, "glGenFramebuffersEXT");
  lookup(g_glx.DeleteFramebuffersEXT, "glDeleteFramebuffersEXT");
  lookup(g_glx.BindFramebufferEXT, "glBindFramebufferEXT");
  lookup(g_glx.GenRenderbuffersEXT, "glGenRenderbuffersEXT");
  lookup(g_glx.DeleteRenderbuffersEXT, "glDeleteRenderbuffersEXT");
  lookup(g_glx.BindRenderbufferEXT, "glBindRenderbufferEXT");
  lookup(g_glx.FramebufferTexture2DEXT, "glFramebufferTexture2DEXT");
  lookup(g_glx.FramebufferRenderbufferEXT, "glFramebufferRenderbufferEXT");
  lookup(g_glx.CheckFramebufferStatusEXT, "glCheckFramebufferStatusEXT");
  lookup(g_glx.GetFramebufferAttachmentParameterivEXT, "glGetFramebufferAttachmentParameterivEXT");
  lookup(g_glx.RenderbufferStorageEXT, "glRenderbufferStorageEXT");
  g_fbo_available = g_glx.GenFramebuffersEXT != nullptr && g_glx.BindFramebufferEXT != nullptr;
  if (!g_fbo_available) log_append("can't use framebuffer object\n");
}

void gfx_context_create() {
  if (g_gfx) return;
  g_gfx = new OpenGLZadodare();
  gfx_swap_file_remove();
}

void gfx_release_window_textures() {
  if (!g_gfx) return;
  gfx_end_screen_drawing();
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const SpriteSlot& s = g_gfx->slots[slot];
    if (s.texture || s.mipmapTexture || s.width) gfx_free_sprite_slot(slot);
  }
  for (int b = 0; b < kBackgroundCount; ++b) gfx_free_background(b);
  gfx_drop_captured_frame();
}

void gfx_context_destroy() {
  if (!g_gfx) return;
  gfx_capture_presented_frames(false);
  gfx_end_screen_drawing();
  for (ScreenRecord& rec : g_gfx->screens) gfx_destroy_framebuffer(rec);
  gfx_release_window_textures();
  delete g_gfx;
  g_gfx = nullptr;
  gfx_swap_file_remove();
}

void gfx_gl_setup(int windowWidth, int windowHeight) {
  if (!g_gfx) gfx_context_create();
  gfx_window_size_changed(windowWidth, windowHeight);
  gfx_load_gl_extensions();
  gfx_record_gl_caps();
  gfx_init_fbo();
  gfx_reset_2d_state();
}

// ------------------------------------------------------------ PNG writing

namespace {

void png_write_error(png_structp png, png_const_charp) { longjmp(png_jmpbuf(png), 1); }
void png_write_warning(png_structp, png_const_charp) {}
void png_append_bytes(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    out->insert(out->end(), data, data + n);
  } catch (const std::bad_alloc&) {
    grown = false;  // no exception may cross the library's frames
  }
  if (!grown) png_error(png, "out of memory");
}

}  // namespace

bool gfx_encode_png(int w, int h, const uint8_t* rgba, std::vector<uint8_t>& out) {
  out.clear();
  if (w <= 0 || h <= 0 || !rgba) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_write_error, png_write_warning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    out.clear();
    return false;
  }
  png_set_write_fn(png, &out, png_append_bytes, nullptr);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_bytep>(rgba + size_t(y) * w * 4));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool gfx_write_png_file(const char* path, int w, int h, const uint8_t* rgba, std::string* why) {
  std::string reason;
  std::vector<uint8_t> bytes;
  if (!path || !*path) {
    reason = "no file name";
  } else if (!gfx_encode_png(w, h, rgba, bytes)) {
    reason = "the picture could not be encoded";
  } else if (runtime_write_output_file(path, bytes.data(), bytes.size(), reason)) {
    return true;
  }
  if (why) *why = reason;
  return false;
}

// ------------------------------------------------------- engine entry points

void gfx_select_font_slot(int slot) {
  if (g_gfx && slot >= 0 && slot < kFontCount) g_gfx->currentFont = slot;
}

bool gfx_context_exists() { return g_gfx != nullptr; }

void gfx_end_of_frame() {
  gfx_end_screen_drawing();
  gfx_capture_frame();
}
