// Grabbing screen rectangles into slots and reading slots back into images.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/gl_ext.h"
#include "gfx/grab.h"
#include "gfx/poly_batch.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "runtime/load_report.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

// Reverses the order of the rows of w x h RGBA pixels in place (GL's
// bottom-up rows become top-down); opaque: every alpha byte becomes 255.
void gfx_flip_rows(uint8_t* pixels, int w, int h, bool opaque) {
  const size_t rowBytes = size_t(w) * 4;
  for (int a = 0, b = h - 1; a < b; ++a, --b)
    std::swap_ranges(pixels + size_t(a) * rowBytes, pixels + size_t(a + 1) * rowBytes, pixels + size_t(b) * rowBytes);
  if (opaque)
    for (size_t i = 3; i < rowBytes * size_t(h); i += 4) pixels[i] = 255;
}

void gfx_grab_sprite(int slot, int x, int y, int w, int h) {
  if (!g_gfx) return;
  char detail[128];
  if (!gfx_valid_slot(slot)) {
    std::snprintf(detail, sizeof detail, "slot %d outside 0..%d", slot, kSlotCount - 1);
    runtime_report_refused("gfx_grab_sprite", detail, TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  SpriteSlot& s = g_gfx->slots[slot];
  s.frameWidth = s.frameHeight = 0;
  gfx_free_collision_mask(slot);
  if (w <= 0 || h <= 0) {
    gfx_free_sprite_slot(slot);
    return;
  }
  // A rectangle no texture can hold is not copied; nor one whose padded
  // texture side would not fit the slot's 16-bit fields.
  GLint maxSize = g_gfx->maxTextureSize;
  if (maxSize <= 0) glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  const int tw = gfx_pow2_at_least(w, 16), th = gfx_pow2_at_least(h, 16);
  if (w > kMaxImageSide || h > kMaxImageSide || (maxSize > 0 && (w > maxSize || h > maxSize)) ||
      int64_t(w) * h > kMaxImagePixels || tw > kMaxImageSide || th > kMaxImageSide) {
    std::snprintf(detail, sizeof detail, "rectangle %d x %d larger than a sprite can be", w, h);
    runtime_report_refused("gfx_grab_sprite", detail, TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  gfx_gl_binding_cache_invalidate();
  gfx_texture_params_forget(slot);
  if (s.texture && s.textureWidth == tw && s.textureHeight == th) {
    glBindTexture(GL_TEXTURE_2D, s.texture);
  } else {
    if (s.texture) glDeleteTextures(1, &s.texture);
    if (s.mipmapTexture) glDeleteTextures(1, &s.mipmapTexture);
    s.texture = s.mipmapTexture = 0;
    s.mipmapPending = false;
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

  const bool surface = gfx_drawing_into_surface();
  const int targetH = surface ? gfx_surface_image_height() : g_gfx->windowHeight;
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
  gfx_pixel_pack_defaults();
  glReadBuffer(surface ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
  const int o = surface ? 0 : g_gfx->orientation;
  std::vector<uint8_t> raw;
  if (o == 0) {
    glReadPixels(x, targetH - y - h, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
  } else {
    // The logical rectangle covers a window rectangle; read that, then pick
    // each logical pixel out of it. Rows of buf are bottom-up like GL's.
    int ax, ay, bx, by;
    gfx_logical_to_window_pixel(x, y, ax, ay);
    gfx_logical_to_window_pixel(x + w - 1, y + h - 1, bx, by);
    const int rx = std::min(ax, bx), ry = std::min(ay, by);
    const int rw = std::abs(bx - ax) + 1, rh = std::abs(by - ay) + 1;
    raw.resize(size_t(rw) * rh * 4);
    glReadPixels(rx, ry, rw, rh, GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
    for (int ly = 0; ly < h; ++ly)
      for (int lx = 0; lx < w; ++lx) {
        int wx, wy;
        gfx_logical_to_window_pixel(x + lx, y + ly, wx, wy);
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
  gfx_pixel_unpack_defaults();
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buf.data());
}

bool gfx_read_sprite_pixels(int slot, ImageBuffer& image) {
  if (!g_gfx || !gfx_valid_slot(slot)) return false;
  const SpriteSlot& s = g_gfx->slots[slot];
  if (s.width <= 0 || !s.texture) return false;
  gfx_end_screen_drawing();
  if (!image.resize(s.width, s.height)) return false;
  image.hasOwnAlpha = true;
  gfx_pixel_pack_defaults();
  ScreenRecord temp;
  if (g_fbo_available && gfx_create_framebuffer(temp, s.textureWidth, s.textureHeight, s.texture, false)) {
    gfx_bind_record(temp);
    glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glReadPixels(0, 0, s.width, s.height, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels);
    gfx_unbind_record(temp);
    gfx_destroy_framebuffer(temp);
  } else {
    // Without framebuffer objects: the whole texture, then the image corner.
    std::vector<uint8_t> all(size_t(s.textureWidth) * s.textureHeight * 4);
    glBindTexture(GL_TEXTURE_2D, s.texture);
    gfx_gl_binding_cache_invalidate();
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, all.data());
    for (int y = 0; y < s.height; ++y)
      std::memcpy(image.pixels + size_t(y) * s.width * 4, &all[size_t(y) * s.textureWidth * 4], size_t(s.width) * 4);
  }
  // Texture row 0 is the image's bottom row: make the buffer top-down.
  gfx_flip_rows(image.pixels, s.width, s.height, false);
  return true;
}
