// Off-screen surfaces: framebuffer objects, drawing into a surface (or, without
// framebuffer objects, on the back buffer and collected at the end) and
// making surfaces.
#include <cstdio>
#include <vector>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/gl_ext.h"
#include "gfx/opacity.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "gfx/viewport.h"
#include "runtime/load_report.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

bool g_fbo_available = false;

namespace {

void debug_line(const char* fmt, long long a = 0, long long b = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b);
  debug_print(buf);
}

}  // namespace

// Whether drawing currently goes into a surface's framebuffer.
bool gfx_drawing_into_surface() {
  const int n = g_gfx->currentScreen;
  return n >= 0 && n < kScreenCount && g_gfx->fallbackScreen != n;
}

int gfx_surface_image_height() {
  const int slot = g_gfx->screens[g_gfx->currentScreen].slot;
  return gfx_valid_slot(slot) ? g_gfx->slots[slot].height : 0;
}

GLint gfx_current_fbo_binding() {
  GLint b = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &b);
  return b;
}

// Binds the record's framebuffer, saving the current binding. False when it
// was already bound (the rebind message is logged).
bool gfx_bind_record(ScreenRecord& rec) {
  if (rec.previousBinding != -1) {
    log_append("Trying to rebind the same FBO again. Need to end first\n");
    return false;
  }
  rec.previousBinding = gfx_current_fbo_binding();
  g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, rec.framebuffer);
  return true;
}

void gfx_unbind_record(ScreenRecord& rec) {
  if (rec.previousBinding == -1) return;
  g_glx.BindFramebufferEXT(GL_FRAMEBUFFER_EXT, GLuint(rec.previousBinding));
  rec.previousBinding = -1;
}

void gfx_destroy_framebuffer(ScreenRecord& rec) {
  if (g_fbo_available && rec.previousBinding != -1) gfx_unbind_record(rec);
  if (rec.framebuffer && g_glx.DeleteFramebuffersEXT) g_glx.DeleteFramebuffersEXT(1, &rec.framebuffer);
  if (rec.depthBuffer && g_glx.DeleteRenderbuffersEXT) g_glx.DeleteRenderbuffersEXT(1, &rec.depthBuffer);
  rec = ScreenRecord{};
}

bool gfx_create_framebuffer(ScreenRecord& rec, int w, int h, uint32_t texture, bool withDepth) {
  gfx_destroy_framebuffer(rec);
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
  const bool bound = gfx_bind_record(rec);
  glBindTexture(GL_TEXTURE_2D, texture);
  gfx_gl_binding_cache_invalidate();
  g_glx.FramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
  if (withDepth) {
    g_glx.GenRenderbuffersEXT(1, &rec.depthBuffer);
    if (rec.depthBuffer == 0) {
      debug_print("glGenRenderbuffersExt failed\n");
      gfx_destroy_framebuffer(rec);
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
  if (bound) gfx_unbind_record(rec);
  if (status == GL_FRAMEBUFFER_COMPLETE_EXT) {
    rec.width = w;
    rec.height = h;
    return true;
  }
  debug_line("glBindRenderbufferExt failed %llx\n", status);
  gfx_destroy_framebuffer(rec);
  if (withDepth) {
    debug_print("Trying without a depth buffer as a fallback...\n");
    return gfx_create_framebuffer(rec, w, h, texture, false);
  }
  debug_print("CAN'T CREATE FRAMEBUFFER (CREATESCREEN)\n");
  return false;
}

void gfx_end_screen_drawing() {
  if (!g_gfx || g_gfx->currentScreen < 0) return;
  const int n = g_gfx->currentScreen;
  ScreenRecord& rec = g_gfx->screens[n];
  if (g_fbo_available && rec.previousBinding != -1) {
    gfx_unbind_record(rec);
  } else if (g_gfx->fallbackScreen == n && gfx_valid_slot(rec.slot)) {
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
  gfx_apply_viewport(0, 0, 0, 0);
}

void gfx_use_screen(int screen) {
  if (!g_gfx) return;
  if (screen < 0) {
    // Ending a surface resets the viewport; already on the back buffer, only
    // the viewport is reset.
    if (g_gfx->currentScreen >= 0)
      gfx_end_screen_drawing();
    else
      gfx_apply_viewport(0, 0, 0, 0);
    return;
  }
  gfx_end_screen_drawing();
  // Drawing stays on the window's back buffer for a screen that cannot be used.
  char detail[96];
  if (screen >= kScreenCount) {
    std::snprintf(detail, sizeof detail, "screen %d outside 0..%d", screen, kScreenCount - 1);
    runtime_report_refused("gfx_use_screen", detail, TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  ScreenRecord& rec = g_gfx->screens[screen];
  if (!gfx_valid_slot(rec.slot) || g_gfx->slots[rec.slot].width <= 0) {
    std::snprintf(detail, sizeof detail, "screen %d has no surface", screen);
    runtime_report_refused("gfx_use_screen", detail, TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  const int slot = rec.slot;
  const int w = g_gfx->slots[slot].width, h = g_gfx->slots[slot].height;
  g_gfx->currentScreen = screen;
  if (g_fbo_available && rec.framebuffer && rec.previousBinding == -1) {
    gfx_bind_record(rec);
    gfx_apply_viewport(0, 0, w, h);
    glViewport(0, 0, w, h);
  } else {
    if (g_fbo_available && rec.previousBinding != -1)
      log_append("Trying to rebind the same FBO again. Need to end first\n");
    g_gfx->savedOrientation = g_gfx->orientation;
    g_gfx->orientation = 0;
    g_gfx->currentScreen = -1;
    gfx_apply_viewport(0, 0, w, h);
    const int32_t key = g_gfx->spriteKey;
    g_gfx->spriteKey = -1;
    gfx_grab_sprite(kScratchSlot, 0, 0, w, h);
    g_gfx->spriteKey = key;
    gfx_draw_rect(0, 0, w, h, g_gfx->spriteKey);
    gfx_draw_sprite(slot, 0, 0);
    g_gfx->currentScreen = screen;
    g_gfx->fallbackScreen = screen;
  }
  gfx_free_collision_mask(slot);
  gfx_texture_opacity_forget(slot);
}

namespace {

// An empty texture of exactly tw x th pixels for a surface.
bool create_surface_texture(SpriteSlot& s, int tw, int th) {
  std::vector<uint8_t> zeros(size_t(tw) * th * 4, 0);
  gfx_gl_binding_cache_invalidate();
  glGenTextures(1, &s.texture);
  if (!s.texture) return false;
  glBindTexture(GL_TEXTURE_2D, s.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  gfx_pixel_unpack_defaults();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
  return glGetError() == GL_NO_ERROR;
}

}  // namespace

int gfx_create_screen(int screen, int slot, int width, int height) {
  clear_error();
  if (!g_gfx) return 0;
  char detail[128];
  auto refuse = [&](int code) {
    runtime_report_refused("gfx_create_screen", detail, code);
    return 0;
  };
  if (unsigned(screen) >= unsigned(kScreenCount)) {
    std::snprintf(detail, sizeof detail, "screen %d outside 0..%d", screen, kScreenCount - 1);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  gfx_end_screen_drawing();
  gfx_destroy_framebuffer(g_gfx->screens[screen]);
  if (slot >= 0 && gfx_valid_slot(slot)) gfx_free_sprite_slot(slot);
  if (!gfx_valid_slot(slot)) {
    std::snprintf(detail, sizeof detail, "slot %d outside 0..%d", slot, kSlotCount - 1);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  if (width < 1 || height < 1) {
    std::snprintf(detail, sizeof detail, "size %d x %d", width, height);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const int tw = gfx_pow2_at_least(width, 2), th = gfx_pow2_at_least(height, 2);
    // The padded sides must fit the slot's 16-bit fields and the driver.
    int largest = kMaxImageSide;
    if (maxSize > 0 && maxSize < largest) largest = maxSize;
    if (width > kMaxImageSide || height > kMaxImageSide || tw > largest || th > largest) {
      std::snprintf(detail, sizeof detail, "size %d x %d larger than a surface can be (%d a side)", width, height,
                    largest);
      return refuse(TMX_ERR_OUT_OF_MEMORY);
    }
    SpriteSlot& s = g_gfx->slots[slot];
    if (create_surface_texture(s, tw, th)) {
      s.textureWidth = int16_t(tw);
      s.textureHeight = int16_t(th);
      s.width = int16_t(width);
      s.height = int16_t(height);
      s.sExtent = float(width) / float(tw);
      s.tExtent = float(height) / float(th);
      gfx_texture_params_forget(slot);
      ScreenRecord& rec = g_gfx->screens[screen];
      if (g_fbo_available) {
        if (gfx_create_framebuffer(rec, tw, th, s.texture, true)) {
          rec.slot = slot;
          gfx_end_screen_drawing();
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
    gfx_free_sprite_slot(slot);
  }
  std::snprintf(detail, sizeof detail, "the graphics driver could not make a %d x %d surface", width, height);
  return refuse(TMX_ERR_OUT_OF_MEMORY);
}

int gfx_gen_screen() {
  if (!g_gfx) return -1;
  for (int n = kScreenCount - 1; n >= 0; --n)
    if (g_gfx->screens[n].width == 0 || g_gfx->screens[n].slot < 0) return n;
  return -1;
}
