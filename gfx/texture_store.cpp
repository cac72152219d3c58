// The sprite slot table: loading images into slots and turning them into
// power-of-two textures with the image in the lower-left corner.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/file_access.h"
#include "gfx/gl_ext.h"
#include "gfx/opacity.h"
#include "gfx/image_decode.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"
#include "runtime/load_report.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

OpenGLZadodare* g_gfx = nullptr;

OpenGLZadodare::OpenGLZadodare()
    : slots(kSlotCount), collisionMasks(kSlotCount, nullptr), texParams(kSlotCount, 0xFF) {
  std::memset(slots.data(), 0, sizeof(SpriteSlot) * slots.size());
  std::memset(glyphs, 0, sizeof glyphs);
  for (float& s : fontScale) s = 1.0f;
  std::memset(backgrounds, 0, sizeof backgrounds);
}

OpenGLZadodare::~OpenGLZadodare() {
  for (uint8_t*& m : collisionMasks) {
    std::free(m);
    m = nullptr;
  }
}

bool gfx_valid_slot(int slot) { return slot >= 0 && slot < kSlotCount; }

int gfx_pow2_at_least(int v, int minimum) {
  int p = minimum;
  while (p < v && p < (1 << 30)) p <<= 1;
  return p;
}

void gfx_free_collision_mask(int slot) {
  if (!g_gfx || !gfx_valid_slot(slot)) return;
  std::free(g_gfx->collisionMasks[slot]);
  g_gfx->collisionMasks[slot] = nullptr;
}

void gfx_free_sprite_slot(int slot) {
  if (!g_gfx || !gfx_valid_slot(slot)) return;
  gfx_free_collision_mask(slot);
  SpriteSlot& s = g_gfx->slots[slot];
  if (s.texture || s.mipmapTexture) {
    gfx_bind_sprite_texture(-1);
    if (s.texture) glDeleteTextures(1, &s.texture);
    if (s.mipmapTexture) glDeleteTextures(1, &s.mipmapTexture);
  }
  gfx_texture_params_forget(slot);
  s.texture = s.mipmapTexture = 0;
  s.mipmapPending = false;
  s.textureWidth = s.textureHeight = -1;
  s.width = s.height = 0;
  s.sExtent = s.tExtent = 1.0f;
}

namespace {

int screen_of_slot(int slot) {
  for (int i = 0; i < kScreenCount; ++i)
    if (g_gfx->screens[i].slot == slot && g_gfx->screens[i].framebuffer) return i;
  return -1;
}

void rebuild_screen(int screen, int slot) {
  ScreenRecord& rec = g_gfx->screens[screen];
  const SpriteSlot& s = g_gfx->slots[slot];
  if (gfx_create_framebuffer(rec, s.textureWidth, s.textureHeight, s.texture, true)) rec.slot = slot;
}

// Per-byte average of two pixels.
inline void avg2(uint8_t* out, const uint8_t* a, const uint8_t* b) {
  for (int i = 0; i < 4; ++i) out[i] = uint8_t((a[i] + b[i]) >> 1);
}

// Uploads the mipmap chain of a padded tw x th image into the bound texture.
void upload_mipmaps(const uint8_t* base, int tw, int th) {
  std::vector<uint8_t> cur(base, base + size_t(tw) * th * 4);
  int w = tw, h = th;
  while (w > h) {
    std::vector<uint8_t> next(size_t(w / 2) * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w / 2; ++x)
        avg2(&next[(size_t(y) * (w / 2) + x) * 4], &cur[(size_t(y) * w + 2 * x) * 4],
             &cur[(size_t(y) * w + 2 * x + 1) * 4]);
    cur.swap(next);
    w /= 2;
  }
  while (h > w) {
    std::vector<uint8_t> next(size_t(w) * (h / 2) * 4);
    for (int y = 0; y < h / 2; ++y)
      for (int x = 0; x < w; ++x)
        avg2(&next[(size_t(y) * w + x) * 4], &cur[(size_t(2 * y) * w + x) * 4],
             &cur[(size_t(2 * y + 1) * w + x) * 4]);
    cur.swap(next);
    h /= 2;
  }
  int level = 0;
  for (;;) {
    glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, cur.data());
    int nw = w / 2, nh = h / 2;
    if (nw < 1 && nh < 1) break;
    if (nw < 1) nw = 1;
    if (nh < 1) nh = 1;
    std::vector<uint8_t> next(size_t(nw) * nh * 4);
    for (int y = 0; y < nh; ++y)
      for (int x = 0; x < nw; ++x) {
        int x0 = std::min(2 * x, w - 1), x1 = std::min(2 * x + 1, w - 1);
        int y0 = std::min(2 * y, h - 1), y1 = std::min(2 * y + 1, h - 1);
        for (int c = 0; c < 4; ++c) {
          int sum = cur[(size_t(y0) * w + x0) * 4 + c] + cur[(size_t(y0) * w + x1) * 4 + c] +
                    cur[(size_t(y1) * w + x0) * 4 + c] + cur[(size_t(y1) * w + x1) * 4 + c];
          next[(size_t(y) * nw + x) * 4 + c] = uint8_t((sum + 2) >> 2);
        }
      }
    cur.swap(next);
    w = nw;
    h = nh;
    ++level;
  }
}

// Blue byte as height; normal (-dx, -dy, 1) normalised into red, green, blue.
void convert_to_normal_map(uint8_t*& pixels, int w, int h) {
  uint8_t* out = static_cast<uint8_t*>(std::malloc(size_t(w) * h * 4));
  if (!out) return;
  auto height = [&](int x, int y) {
    x = (x % w + w) % w;
    y = (y % h + h) % h;
    return pixels[(size_t(y) * w + x) * 4 + 2] / 255.0f;
  };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float dx = (height(x + 1, y - 1) + 2 * height(x + 1, y) + height(x + 1, y + 1)) -
                 (height(x - 1, y - 1) + 2 * height(x - 1, y) + height(x - 1, y + 1));
      float dy = (height(x - 1, y - 1) + 2 * height(x, y - 1) + height(x + 1, y - 1)) -
                 (height(x - 1, y + 1) + 2 * height(x, y + 1) + height(x + 1, y + 1));
      float nx = -dx, ny = -dy, nz = 1.0f;
      float len = std::sqrt(nx * nx + ny * ny + nz * nz);
      nx /= len;
      ny /= len;
      nz /= len;
      uint8_t* o = out + (size_t(y) * w + x) * 4;
      o[0] = uint8_t((nx + 1) * 0.5f * 255);
      o[1] = uint8_t((ny + 1) * 0.5f * 255);
      o[2] = uint8_t((nz + 1) * 0.5f * 255);
      o[3] = pixels[(size_t(y) * w + x) * 4 + 3];
    }
  std::free(pixels);
  pixels = out;
}

}  // namespace

bool gfx_upload_texture_region(const ImageBuffer& image, int x0, int y0, int w, int h, uint32_t* texName,
                               uint32_t* mipName, bool normalMap, bool nearest) {
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  if (maxSize < 1) maxSize = 1024;
  if (w == 0) w = image.width - x0;
  if (h == 0) h = image.height - y0;
  if (w < 1 || h < 1) return false;
  if (w > maxSize) w = maxSize;
  if (h > maxSize) h = maxSize;
  const int tw = gfx_pow2_at_least(w, 16), th = gfx_pow2_at_least(h, 16);
  uint8_t* buf = static_cast<uint8_t*>(std::calloc(size_t(tw) * th, 4));
  if (!buf) return false;
  const int xs = std::max(x0, 0), xe = std::min(x0 + tw, image.width);
  const int ys = std::max(y0, 0), ye = std::min(y0 + th, image.height);
  for (int y = ys; y < ye; ++y) {
    if (y - y0 >= h) break;
    const int row = y0 + h - 1 - y;
    for (int x = xs; x < xe; ++x) {
      if (x - x0 >= w) break;
      std::memcpy(buf + (size_t(row) * tw + (x - x0)) * 4, image.pixels + (size_t(y) * image.width + x) * 4, 4);
    }
  }
  gfx_pixel_unpack_defaults();
  gfx_gl_binding_cache_invalidate();
  if (*texName == 0) {
    glGenTextures(1, texName);
  } else {
    glDeleteTextures(1, texName);
  }
  glBindTexture(GL_TEXTURE_2D, *texName);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  if (normalMap) convert_to_normal_map(buf, tw, th);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, buf);
  if (mipName) {
    glGenTextures(1, mipName);
    glBindTexture(GL_TEXTURE_2D, *mipName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    upload_mipmaps(buf, tw, th);
  }
  std::free(buf);
  return true;
}

uint32_t gfx_sprite_mipmap_texture(int slot) {
  if (!g_gfx || !gfx_valid_slot(slot)) return 0;
  SpriteSlot& s = g_gfx->slots[slot];
  if (s.mipmapTexture != 0 || !s.mipmapPending || s.texture == 0) return s.mipmapTexture;
  s.mipmapPending = false;
  // The chain comes from the texture's own pixels: the padded (and, for a
  // bump texture, converted) image that the load uploaded.
  gfx_gl_binding_cache_invalidate();
  glBindTexture(GL_TEXTURE_2D, s.texture);
  GLint tw = 0, th = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
  if (tw < 1 || th < 1) return 0;
  std::vector<uint8_t> base(size_t(tw) * size_t(th) * 4);
  GLint rowLength = 0, skipRows = 0, skipPixels = 0, alignment = 4;
  glGetIntegerv(GL_PACK_ROW_LENGTH, &rowLength);
  glGetIntegerv(GL_PACK_SKIP_ROWS, &skipRows);
  glGetIntegerv(GL_PACK_SKIP_PIXELS, &skipPixels);
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, base.data());
  glPixelStorei(GL_PACK_ROW_LENGTH, rowLength);
  glPixelStorei(GL_PACK_SKIP_ROWS, skipRows);
  glPixelStorei(GL_PACK_SKIP_PIXELS, skipPixels);
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  gfx_pixel_unpack_defaults();
  glGenTextures(1, &s.mipmapTexture);
  glBindTexture(GL_TEXTURE_2D, s.mipmapTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  upload_mipmaps(base.data(), tw, th);
  gfx_gl_binding_cache_invalidate();
  return s.mipmapTexture;
}

bool gfx_upload_sprite(int slot, ImageBuffer& image, bool normalMap) {
  if (!g_gfx || !gfx_valid_slot(slot)) return false;
  const int screen = screen_of_slot(slot);
  // A surface whose texture is replaced while drawing goes into it ends first.
  if (screen >= 0 && g_gfx->currentScreen == screen) gfx_end_screen_drawing();
  gfx_free_sprite_slot(slot);
  if (image.width <= 0 || image.height <= 0 || !image.pixels) return false;
  if (image.width > kMaxImageSide || image.height > kMaxImageSide) return false;
  SpriteSlot& s = g_gfx->slots[slot];
  const int tw = gfx_pow2_at_least(image.width, 16), th = gfx_pow2_at_least(image.height, 16);
  const bool fontSlot = slot >= kFontSlotBase;
  // Only 3-D drawing uses the mipmap texture: it is made on its first use.
  bool ok = gfx_upload_texture_region(image, 0, 0, 0, 0, &s.texture, nullptr, normalMap, fontSlot);
  s.mipmapPending = ok && !fontSlot;
  s.textureWidth = int16_t(std::min(tw, 32767));
  s.textureHeight = int16_t(std::min(th, 32767));
  s.width = int16_t(image.width);
  s.height = int16_t(image.height);
  s.sExtent = float(image.width) / float(tw);
  s.tExtent = float(image.height) / float(th);
  gfx_texture_params_forget(slot);
  if (!ok) {
    gfx_free_sprite_slot(slot);
    return false;
  }
  gfx_texture_opacity_measure(slot, image);
  if (screen >= 0) rebuild_screen(screen, slot);
  return true;
}

bool gfx_load_sprite_file(int slot, const char* name, int32_t key, bool normalMap, std::string* why) {
  if (!g_gfx || !gfx_valid_slot(slot)) return false;
  const int screen = screen_of_slot(slot);
  if (screen >= 0 && g_gfx->currentScreen == screen) gfx_end_screen_drawing();
  gfx_free_sprite_slot(slot);
  if (!name || !*name) return false;
  ImageBuffer img;
  if (!gfx_read_image_file(img, name, key, true, why)) {
    img.clear();
    return false;
  }
  if (!img.hasOwnAlpha) gfx_bleed_transparent_colours(img);
  bool result = gfx_upload_sprite(slot, img, normalMap);
  if (!result && why) *why = "the graphics driver could not make its texture";
  if (result && screen >= 0 && g_gfx->screens[screen].slot != slot) rebuild_screen(screen, slot);
  return result;
}

// ------------------------------------------------------------ commands

namespace {

// `command` names the command in the log line of a refusal or a failed load.
void load_into_slot(const char* command, const char* name, int slot, bool normalMap) {
  clear_error();
  if (!g_gfx) return;
  if (!gfx_valid_slot(slot)) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "slot %d outside 0..%d", slot, kSlotCount - 1);
    runtime_report_refused(command, detail, TMX_ERR_OUT_OF_MEMORY);
    return;
  }
  gfx_free_sprite_slot(slot);
  if (!name || !*name) return;
  std::string path;
  if (!gfx_resolve_media(name, path)) {
    runtime_report_failed_load(command, name, "not found");
    return;
  }
  std::string why;
  if (!gfx_load_sprite_file(slot, path.c_str(), g_gfx->spriteKey, normalMap, &why))
    runtime_report_failed_load(command, name, why.c_str());
}

}  // namespace

void gfx_load_sprite_named(const char* name, int slot) { load_into_slot("gfx_load_sprite", name, slot, false); }

void gfx_load_sprite_c(const char* name, int slot) { load_into_slot("gfx_load_sprite", name, slot, false); }

void gfx_load_anim_c(const char* name, int slot, int frame_width, int frame_height) {
  load_into_slot("gfx_load_anim", name, slot, false);
  gfx_set_sprite_anim(slot, frame_width, frame_height);
}

void gfx_load_bump_texture_c(const char* name, int slot) { load_into_slot("gfx_load_bump_texture", name, slot, true); }

void gfx_set_sprite_anim(int slot, int frame_width, int frame_height) {
  if (!g_gfx || !gfx_valid_slot(slot)) return;
  SpriteSlot& s = g_gfx->slots[slot];
  if (s.width > 0) {
    s.frameWidth = int16_t(frame_width);
    s.frameHeight = int16_t(frame_height);
  }
}

void gfx_get_sprite_size(int slot, int& width, int& height) {
  width = height = 0;
  if (!g_gfx || !gfx_valid_slot(slot)) return;
  width = g_gfx->slots[slot].width;
  height = g_gfx->slots[slot].height;
}

void gfx_get_sprite_size(double slot, double& width, double& height) {
  int w, h;
  gfx_get_sprite_size(int(std::trunc(slot)), w, h);
  width = w;
  height = h;
}

void gfx_set_transparency(int colour) {
  if (!g_gfx) return;
  g_gfx->spriteKey = colour;
  g_gfx->fontKey = colour;
}

int gfx_get_sprite_texture(int slot) {
  if (!g_gfx || !gfx_valid_slot(slot)) return 0;
  return int(g_gfx->slots[slot].texture);
}

int gfx_gen_sprite() {
  if (!g_gfx) return -1;
  for (int n = kScratchSlot; n >= 0; --n)
    if (g_gfx->slots[n].width == 0) return n;
  return -1;
}

int gfx_mem_to_sprite_raw(const int32_t* pixels, int count, int slot, int width, int height) {
  clear_error();
  if (!g_gfx) return 0;
  char detail[128];
  auto refuse = [&](int code) {
    runtime_report_refused("gfx_mem_to_sprite", detail, code);
    return 0;
  };
  if (!gfx_valid_slot(slot)) {
    std::snprintf(detail, sizeof detail, "slot %d outside 0..%d", slot, kSlotCount - 1);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  if (int64_t(width) * height != count) {
    std::snprintf(detail, sizeof detail, "%d pixels given for %d x %d", count, width, height);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  if (count == 0) {
    // Reading the first pixel of an empty array would be out of its bounds;
    // the program goes on.
    std::snprintf(detail, sizeof detail, "an empty picture (%d x %d)", width, height);
    return refuse(TMX_ERR_OUT_OF_BOUNDS);
  }
  if (width < 1 || height < 1) {
    std::snprintf(detail, sizeof detail, "size %d x %d", width, height);
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  ImageBuffer img;
  if (!img.resize(width, height)) {
    std::snprintf(detail, sizeof detail, "size %d x %d larger than a sprite can be (%d a side, %lld pixels)", width,
                  height, int(kMaxImageSide), static_cast<long long>(kMaxImagePixels));
    return refuse(TMX_ERR_OUT_OF_MEMORY);
  }
  for (int i = 0; i < count; ++i) {
    uint32_t v = uint32_t(pixels[i]);
    img.pixels[4 * i] = uint8_t(v);
    img.pixels[4 * i + 1] = uint8_t(v >> 8);
    img.pixels[4 * i + 2] = uint8_t(v >> 16);
    img.pixels[4 * i + 3] = uint8_t(v >> 24);
  }
  if (gfx_upload_sprite(slot, img, false)) return 1;
  std::snprintf(detail, sizeof detail, "the graphics driver could not make a %d x %d texture", width, height);
  return refuse(TMX_ERR_OUT_OF_MEMORY);
}
