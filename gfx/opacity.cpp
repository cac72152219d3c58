// Drawing without blending where blending cannot change a pixel.
#include "gfx/opacity.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gfx/context.h"
#include "gfx/gl_ext.h"
#include "gfx/surfaces.h"
#include "gfx/texture_store.h"

namespace {

constexpr uint8_t kOpaque = 1, kBinary = 2;
std::vector<uint8_t> g_alpha;  // per slot: kOpaque | kBinary bits
bool g_back_cleared_black = false;
bool g_transformed = false;

struct Rect {
  float x0, y0, x1, y1;
};
// Where a surface's alpha may be below 1, known since an opaque draw covered
// it whole. Listed per screen number; more than kMaxRects merge into one.
struct SurfaceAlpha {
  bool known = false;
  int slot = -1;
  std::vector<Rect> rects;
};
SurfaceAlpha g_surface[kScreenCount];
constexpr size_t kMaxRects = 16;

uint8_t alpha_bits_of(int slot) {
  return valid_slot(slot) && size_t(slot) < g_alpha.size() ? g_alpha[slot] : 0;
}

// No program of the shader slots in use (it would compute its own colours).
bool fixed_pipeline() {
  GLint program = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  return program == 0;
}

SurfaceAlpha* current_surface() {
  if (!g_gfx || !drawing_into_surface()) return nullptr;
  SurfaceAlpha& s = g_surface[g_gfx->currentScreen];
  if (s.slot != g_gfx->screens[g_gfx->currentScreen].slot) s = SurfaceAlpha{};
  return &s;
}

void mark_whole_unknown() {
  if (SurfaceAlpha* s = current_surface()) s->known = false;
}

}  // namespace

void texture_opacity_measure(int slot, const ImageBuffer& image) {
  if (!g_gfx || !valid_slot(slot)) return;
  uint8_t bits = 0;
  if (image.pixels && image.width > 0 && image.height > 0 &&
      (g_gfx->maxTextureSize <= 0 ||
       (image.width <= g_gfx->maxTextureSize && image.height <= g_gfx->maxTextureSize))) {
    bits = kOpaque | kBinary;
    const size_t n = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < n && bits; ++i) {
      const uint8_t a = image.pixels[i * 4 + 3];
      if (a != 255) bits &= uint8_t(~kOpaque);
      if (a != 255 && a != 0) bits = 0;
    }
  }
  if (g_alpha.size() != size_t(kSlotCount)) g_alpha.assign(kSlotCount, 0);
  g_alpha[slot] = bits;
}

void texture_opacity_forget(int slot) {
  if (valid_slot(slot) && size_t(slot) < g_alpha.size()) g_alpha[slot] = 0;
  for (SurfaceAlpha& s : g_surface)
    if (s.slot == slot) s = SurfaceAlpha{};
}

bool texture_is_opaque(int slot) { return alpha_bits_of(slot) & kOpaque; }

void surface_drawing_begins(int slot) {
  if (valid_slot(slot) && size_t(slot) < g_alpha.size()) g_alpha[slot] = 0;
}

void back_buffer_cleared(bool black) { g_back_cleared_black = black; }

void note_transformed_drawing(bool on) { g_transformed = on; }

void note_drawing() {
  if (!g_gfx) return;
  if (!drawing_into_surface()) {
    g_back_cleared_black = false;
    return;
  }
  mark_whole_unknown();
}

DrawAlpha colour_draw_alpha(float alpha) {
  DrawAlpha a;
  a.binary = alpha == 0.0f || alpha == 1.0f;
  a.opaque = alpha == 1.0f;
  return a;
}

DrawAlpha textured_draw_alpha(bool exact) {
  DrawAlpha a;
  if (!g_gfx) return a;
  const int slot = g_gfx->boundSlot;
  if (slot < 0) return colour_draw_alpha(current_colour_alpha());
  if (g_gfx->boundSecondSlot >= 0 || g_gfx->boundMipmap || current_colour_alpha() != 1.0f) return a;
  const uint8_t bits = alpha_bits_of(slot);
  // Texel for texel, or nearest filtering, gives texels' own alphas (the
  // transparent padding included); other filtering mixes them.
  const bool nearest = slot >= kFontSlotBase || !g_gfx->smoothing;
  if (!(exact || nearest) || !(bits & kBinary)) return a;
  a.binary = true;
  return a;
}

void note_drawing_rect(float x0, float y0, float x1, float y1, DrawAlpha a) {
  if (!g_gfx) return;
  if (!drawing_into_surface()) {
    g_back_cleared_black = false;
    return;
  }
  SurfaceAlpha* s = current_surface();
  if (!s || !s->known) return;
  if (!fixed_pipeline()) {
    s->known = false;
    return;
  }
  bool keeps;
  if (!state_is_enabled(GL_BLEND))
    keeps = a.opaque;
  else if (blend_is_additive())
    keeps = true;  // alpha only grows
  else
    keeps = blend_is_normal() && a.binary;
  if (keeps) return;
  if (g_transformed) {
    s->known = false;
    return;
  }
  // The rectangle with a pixel of margin, inside the surface.
  const Rect r{std::floor(std::min(x0, x1)) - 1, std::floor(std::min(y0, y1)) - 1, std::ceil(std::max(x0, x1)) + 1,
               std::ceil(std::max(y0, y1)) + 1};
  if (!(r.x0 < r.x1 && r.y0 < r.y1)) {
    s->known = false;  // not a number
    return;
  }
  s->rects.push_back(r);
  if (s->rects.size() > kMaxRects) {
    Rect all = s->rects[0];
    for (const Rect& q : s->rects) {
      all.x0 = std::min(all.x0, q.x0);
      all.y0 = std::min(all.y0, q.y0);
      all.x1 = std::max(all.x1, q.x1);
      all.y1 = std::max(all.y1, q.y1);
    }
    s->rects.assign(1, all);
  }
}

bool opaque_texel_draw_begin(int slot, int x0, int y0, int x1, int y1) {
  if (!g_gfx || !texture_is_opaque(slot) || !state_is_enabled(GL_BLEND) || !blend_is_normal() ||
      current_colour_alpha() != 1.0f || !current_colour_is_white())
    return false;
  const SpriteSlot& s = g_gfx->slots[slot];
  // The texels drawn lie inside the image, and no rotation or scale applies.
  if (x0 < 0 || y0 < 0 || x1 > s.width || y1 > s.height || x0 >= x1 || y0 >= y1) return false;
  if (g_gfx->orientation != 0 || !fixed_pipeline()) return false;
  state_disable(GL_BLEND);
  return true;
}

void unblended_draw_end() { state_enable(GL_BLEND); }

void note_opaque_cover(int x, int y, int w, int h) {
  SurfaceAlpha* s = current_surface();
  if (!s || !g_gfx) return;
  const ScreenRecord& rec = g_gfx->screens[g_gfx->currentScreen];
  const SpriteSlot& target = g_gfx->slots[rec.slot];
  if (x <= 0 && y <= 0 && x + w >= target.width && y + h >= target.height) {
    s->known = true;
    s->slot = rec.slot;
    s->rects.clear();
  }
}

bool stretch_onto_cleared_target(int slot, int x, int y, int w, int h, const QuadVertex v[4]) {
  if (!g_gfx || !g_back_cleared_black || drawing_into_surface() || g_gfx->fallbackScreen >= 0) return false;
  if (w <= 0 || h <= 0 || g_gfx->orientation != 0) return false;
  if (!state_is_enabled(GL_BLEND) || !blend_is_normal() || !current_colour_is_white() ||
      current_colour_alpha() != 1.0f || g_gfx->alphaTestRef < 1.0f || g_transformed)
    return false;
  // Which parts of the picture may have alpha below 1.
  const SpriteSlot& s = g_gfx->slots[slot];
  std::vector<Rect> below;
  const SurfaceAlpha* tracked = nullptr;
  for (const SurfaceAlpha& t : g_surface)
    if (t.known && t.slot == slot) tracked = &t;
  if (tracked)
    below = tracked->rects;
  else if (!texture_is_opaque(slot))
    return false;
  if (!fixed_pipeline()) return false;
  // Filtering reaches the transparent padding beyond the right and top edges.
  const float iw = s.width, ih = s.height;
  below.push_back({iw - 1, 0, iw + 1, ih});
  below.push_back({0, -1, iw, 1});
  const float kx = float(w) / iw, ky = float(h) / ih;
  // Logical coordinates start at the viewport's corner, which also clips.
  const int vx = g_gfx->vpX, vy = g_gfx->vpY, vw = g_gfx->vpW, vh = g_gfx->vpH, H = g_gfx->windowHeight;

  // Everything without blending (exact where alpha is 1)...
  state_disable(GL_BLEND);
  draw_textured_quad(v);
  // ...then the parts with alpha below 1 cleared again and blended. A pixel
  // samples the texels within half a texel of its centre's position.
  state_enable(GL_BLEND);
  glEnable(GL_SCISSOR_TEST);
  const float* c = g_gfx->clearColour;
  glClearColor(c[0], c[1], c[2], c[3]);
  for (const Rect& r : below) {
    const int px0 = vx + std::max(0, int(std::floor(x + (r.x0 - 0.5f) * kx)) - 1);
    const int px1 = vx + std::min(vw, int(std::ceil(x + (r.x1 + 0.5f) * kx)) + 1);
    const int py0 = vy + std::max(0, int(std::floor(y + (r.y0 - 0.5f) * ky)) - 1);
    const int py1 = vy + std::min(vh, int(std::ceil(y + (r.y1 + 0.5f) * ky)) + 1);
    if (px0 >= px1 || py0 >= py1) continue;
    glScissor(px0, H - py1, px1 - px0, py1 - py0);
    glClear(GL_COLOR_BUFFER_BIT);
    draw_textured_quad(v);
  }
  glDisable(GL_SCISSOR_TEST);
  g_back_cleared_black = false;
  return true;
}
