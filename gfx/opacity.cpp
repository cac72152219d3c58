// Drawing without blending where blending cannot change a pixel.
#include "gfx/opacity.h"

#include <vector>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/gl_ext.h"
#include "gfx/texture_store.h"
#include "shaders/shader_table.h"

namespace {

std::vector<uint8_t> g_opaque;  // per slot, 1 = opaque

// No program of the shader slots in use (it would compute its own colours).
// Asked of the shader slots, not of GL: a query would end the GL's gathering
// of consecutive quads into one draw.
bool fixed_pipeline() { return shaders_current_slot() < 0; }

}  // namespace

void gfx_texture_opacity_measure(int slot, const ImageBuffer& image) {
  if (!g_gfx || !gfx_valid_slot(slot)) return;
  bool opaque = image.pixels && image.width > 0 && image.height > 0 &&
                (g_gfx->maxTextureSize <= 0 ||
                 (image.width <= g_gfx->maxTextureSize && image.height <= g_gfx->maxTextureSize));
  const size_t n = opaque ? size_t(image.width) * size_t(image.height) : 0;
  for (size_t i = 0; i < n && opaque; ++i) opaque = image.pixels[i * 4 + 3] == 255;
  if (g_opaque.size() != size_t(kSlotCount)) g_opaque.assign(kSlotCount, 0);
  g_opaque[slot] = opaque;
}

void gfx_texture_opacity_forget(int slot) {
  if (gfx_valid_slot(slot) && size_t(slot) < g_opaque.size()) g_opaque[slot] = 0;
}

bool gfx_texture_is_opaque(int slot) {
  return gfx_valid_slot(slot) && size_t(slot) < g_opaque.size() && g_opaque[slot];
}

bool gfx_opaque_texel_draw_begin(int slot, int x0, int y0, int x1, int y1) {
  if (!g_gfx || !gfx_texture_is_opaque(slot) || !gfx_blend_is_normal_at_white()) return false;
  const SpriteSlot& s = g_gfx->slots[slot];
  // The texels drawn lie inside the image, and no rotation or scale applies.
  if (x0 < 0 || y0 < 0 || x1 > s.width || y1 > s.height || x0 >= x1 || y0 >= y1) return false;
  if (g_gfx->orientation != 0 || !fixed_pipeline()) return false;
  gfx_state_disable(GL_BLEND);
  return true;
}

void gfx_unblended_draw_end() { gfx_state_enable(GL_BLEND); }
