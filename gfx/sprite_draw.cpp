// Sprite and animation drawing, and the 2-D drawing state with its caches.
#include <algorithm>
#include <cmath>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/gl_ext.h"
#include "gfx/gl_state.h"
#include "gfx/opacity.h"
#include "gfx/texture_store.h"
#include "gfx/viewport.h"
#include "tamblix/gfx.h"

int32_t g_last_bound_slot = -1;

namespace {

// ---- state cache: 0 known off, 1 known on, 2 unknown
const GLenum kCachedCaps[] = {GL_BLEND,          GL_ALPHA_TEST,    GL_COLOR_MATERIAL,     GL_DITHER,
                              GL_DEPTH_TEST,     GL_CULL_FACE,     GL_FOG,                GL_LINE_SMOOTH,
                              GL_POINT_SMOOTH,   GL_STENCIL_TEST,  GL_NORMALIZE,          GL_LIGHTING,
                              GL_POLYGON_SMOOTH, GL_POLYGON_OFFSET_POINT, GL_AUTO_NORMAL};
constexpr int kCapCount = sizeof(kCachedCaps) / sizeof(kCachedCaps[0]);
uint8_t g_caps[kCapCount] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};

int cap_index(GLenum cap) {
  for (int i = 0; i < kCapCount; ++i)
    if (kCachedCaps[i] == cap) return i;
  return -1;
}

float g_colour[4] = {-1, -1, -1, -1};
GLenum g_blend[2] = {0, 0};  // 0: unknown
GLenum g_shade = 0;          // 0: unknown
bool g_new_context = true;

// ---- binding cache (not visible to programs): what the texture units hold
struct UnitState {
  int enabled = -1;     // GL_TEXTURE_2D enabled: 0/1, -1 unknown
  int64_t bound = -1;   // texture name bound, -1 unknown
};
UnitState g_units[2];
int g_active_unit = -1;
int g_client[3] = {-1, -1, -1};  // vertex, texcoord, colour arrays

// texParams bits: bit0 linear filter, bit1 clamp wrap
constexpr uint8_t kUnknownParams = 0xFF;

void active_unit(int unit) {
  if (!g_glx.ActiveTextureARB) return;
  if (g_active_unit == unit) return;
  g_glx.ActiveTextureARB(unit ? GL_TEXTURE1_ARB : GL_TEXTURE0_ARB);
  g_active_unit = unit;
}

void unit_enable(int unit, bool on) {
  UnitState& u = g_units[unit];
  if (u.enabled == int(on)) return;
  if (on)
    glEnable(GL_TEXTURE_2D);
  else
    glDisable(GL_TEXTURE_2D);
  u.enabled = on;
}

void unit_bind(int unit, uint32_t tex) {
  UnitState& u = g_units[unit];
  if (u.bound == int64_t(tex)) return;
  glBindTexture(GL_TEXTURE_2D, tex);
  u.bound = tex;
}

uint8_t* params_of_bound() {
  if (!g_gfx || !gfx_valid_slot(g_gfx->boundSlot) || g_gfx->boundMipmap) return nullptr;
  int slot = g_gfx->boundSecondSlot >= 0 ? g_gfx->boundSecondSlot : g_gfx->boundSlot;
  if (!gfx_valid_slot(slot)) return nullptr;
  return &g_gfx->texParams[slot];
}

void set_wrap(bool clamp) {
  uint8_t* p = params_of_bound();
  // Recorded only while unit 0 is known to hold the bound slot's texture.
  if (p && g_gfx) {
    const int slot = g_gfx->boundSecondSlot >= 0 ? g_gfx->boundSecondSlot : g_gfx->boundSlot;
    if (g_units[0].bound != int64_t(g_gfx->slots[slot].texture)) p = nullptr;
  }
  if (p && *p != kUnknownParams && (*p & 4) && bool(*p & 2) == clamp) return;
  const GLint mode = clamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, mode);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, mode);
  if (p) {
    uint8_t v = *p == kUnknownParams ? 0 : *p;
    *p = uint8_t((v & ~2) | (clamp ? 2 : 0) | 4);
  }
}

// The wrap mode the bound texture is drawn with: a bind asks for repeat, the
// quad drawing for edge clamping; GL gets it only when a draw needs it.
bool g_wrap_clamp = false;

}  // namespace

namespace {

// A capability through the cache: the GL call only when the state is not
// known to be that already (capabilities outside the cache always call).
void state_set(GLenum cap, bool on) {
  const int i = cap_index(cap);
  if (i >= 0 && g_caps[i] == uint8_t(on)) return;
  if (on)
    glEnable(cap);
  else
    glDisable(cap);
  if (i >= 0) g_caps[i] = uint8_t(on);
}

}  // namespace

void gfx_state_enable(GLenum cap) { state_set(cap, true); }

void gfx_state_disable(GLenum cap) { state_set(cap, false); }

void gfx_state_cache_invalidate() {
  for (uint8_t& c : g_caps) c = 2;
}

void gfx_set_colour_rgba(float r, float g, float b, float a) {
  if (g_colour[0] == r && g_colour[1] == g && g_colour[2] == b && g_colour[3] == a) return;
  glColor4f(r, g, b, a);
  g_colour[0] = r;
  g_colour[1] = g;
  g_colour[2] = b;
  g_colour[3] = a;
}

void gfx_set_blend_func(GLenum src, GLenum dst) {
  if (g_blend[0] == src && g_blend[1] == dst) return;
  glBlendFunc(src, dst);
  g_blend[0] = src;
  g_blend[1] = dst;
}

bool gfx_blend_is_normal_at_white() {
  return g_caps[0] == 1 && g_blend[0] == GL_SRC_ALPHA && g_blend[1] == GL_ONE_MINUS_SRC_ALPHA && g_colour[0] == 1.0f &&
         g_colour[1] == 1.0f && g_colour[2] == 1.0f && g_colour[3] == 1.0f;
}

void gfx_set_shade_model(GLenum mode) {
  if (g_shade == mode) return;
  glShadeModel(mode);
  g_shade = mode;
}

void gfx_colour_cache_invalidate() { g_colour[0] = g_colour[1] = g_colour[2] = g_colour[3] = -1; }

void gfx_gl_binding_cache_invalidate() {
  g_units[0] = UnitState{};
  g_units[1] = UnitState{};
  g_active_unit = -1;
}

void gfx_texture_params_forget(int slot) {
  if (g_gfx && gfx_valid_slot(slot)) g_gfx->texParams[slot] = kUnknownParams;
  gfx_texture_opacity_forget(slot);
  // The texture object behind a name may have changed.
  g_units[0].bound = g_units[1].bound = -1;
}

void gfx_client_arrays(bool vertex, bool texcoord, bool colour) {
  const GLenum arrays[3] = {GL_VERTEX_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_COLOR_ARRAY};
  const bool want[3] = {vertex, texcoord, colour};
  for (int i = 0; i < 3; ++i) {
    if (g_client[i] == int(want[i])) continue;
    if (want[i])
      glEnableClientState(arrays[i]);
    else
      glDisableClientState(arrays[i]);
    g_client[i] = want[i];
  }
}

void gfx_pixel_pack_defaults() {
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glPixelStorei(GL_PACK_SKIP_ROWS, 0);
  glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
}

void gfx_pixel_unpack_defaults() {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

void gfx_colour_to_rgb(int colour, float& r, float& g, float& b) {
  const float k = 0.003921569f;
  r = float(colour & 255) * k;
  g = float((colour >> 8) & 255) * k;
  b = float((colour >> 16) & 255) * k;
}

void gfx_bind_sprite_texture(int slot, int second, bool mipmap, const uint32_t* table) {
  if (!g_gfx) return;
  g_gfx->boundSlot = slot;
  g_gfx->boundSecondSlot = second;
  g_gfx->boundMipmap = mipmap;
  g_last_bound_slot = slot;
  // A mipmap texture is made on its first use, before anything is bound here.
  if (mipmap && !table) {
    gfx_sprite_mipmap_texture(slot);
    gfx_sprite_mipmap_texture(second);
  }
  auto name_of = [&](int s) -> uint32_t {
    if (!gfx_valid_slot(s)) return 0;
    if (table) return table[s];
    return mipmap ? g_gfx->slots[s].mipmapTexture : g_gfx->slots[s].texture;
  };
  if (!g_glx.ActiveTextureARB) {
    if (slot < 0) {
      unit_enable(0, false);
      gfx_state_enable(GL_COLOR_MATERIAL);
      return;
    }
    unit_bind(0, name_of(slot));
    unit_enable(0, true);
    g_wrap_clamp = false;
    return;
  }
  if (slot >= 0 && second >= 0) {
    active_unit(1);
    unit_bind(1, name_of(slot));
    unit_enable(1, true);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    if (gfx_valid_slot(slot)) g_gfx->texParams[slot] = kUnknownParams;
  } else if (g_units[1].enabled != 0) {
    active_unit(1);
    unit_enable(1, false);
  }
  active_unit(0);
  if (slot < 0) {
    unit_enable(0, false);
    return;
  }
  unit_bind(0, name_of(second >= 0 ? second : slot));
  unit_enable(0, true);
  g_wrap_clamp = false;
}

void gfx_sync_bound_wrap() {
  if (g_gfx && g_gfx->boundSlot >= 0) set_wrap(g_wrap_clamp);
}

void gfx_set_bound_filter(bool linear) {
  if (!g_gfx || g_gfx->boundSlot < 0) return;
  uint8_t* p = params_of_bound();
  if (p && *p != kUnknownParams && (*p & 8) && bool(*p & 1) == linear) return;
  const GLint f = linear ? GL_LINEAR : GL_NEAREST;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
  if (p) {
    uint8_t v = *p == kUnknownParams ? 0 : *p;
    *p = uint8_t((v & ~1) | (linear ? 1 : 0) | 8);
  }
}

void gfx_apply_sprite_filter() {
  if (g_gfx) gfx_set_bound_filter(g_gfx->smoothing);
}

// Quads go through immediate mode: the GL can then gather consecutive quads
// that share their state into one draw, which keeps hundreds of small sprites
// and rectangles per frame cheap. The four corners are in fan order, which
// GL_QUADS splits the same way.
void gfx_emit_quad(const QuadVertex v[4], bool tex) {
  if (tex) gfx_sync_bound_wrap();
  glBegin(GL_QUADS);
  for (int i = 0; i < 4; ++i) {
    if (tex) glTexCoord2f(v[i].s, v[i].t);
    glVertex2f(v[i].x, v[i].y);
  }
  glEnd();
}

void gfx_draw_textured_quad(const QuadVertex v[4]) {
  const bool tex = g_last_bound_slot >= 0;
  if (tex) g_wrap_clamp = true;
  gfx_emit_quad(v, tex);
}

// ------------------------------------------------------------ commands

namespace {

// The slot to draw, or null for a slot outside the table or without a
// texture (an untextured quad would show as a blank box).
inline const SpriteSlot* slot_of(int slot) {
  if (!g_gfx || !gfx_valid_slot(slot)) return nullptr;
  const SpriteSlot* s = &g_gfx->slots[slot];
  return s->texture ? s : nullptr;
}

struct FrameCoords {
  float s0, s1, t0, t1;
  int64_t row, column;
};

bool frame_coords(const SpriteSlot& s, int frame, FrameCoords& fc) {
  if (s.frameWidth == 0 || s.frameHeight == 0) return false;
  // 64-bit: any frame number and any (even negative) frame size stay defined,
  // including the lowest frame number divided by a row of -1 frames.
  const int64_t perRow = s.width / s.frameWidth;
  int64_t row = 0, column = frame;
  if (perRow != 0) {
    row = frame / perRow;
    column = frame % perRow;
  }
  fc.row = row;
  fc.column = column;
  const float tw = float(s.textureWidth), th = float(s.textureHeight);
  fc.s0 = float(column * s.frameWidth) / tw;
  fc.s1 = fc.s0 + float(s.frameWidth) / tw;
  fc.t0 = float(s.height - s.frameHeight * (row + 1)) / th;
  fc.t1 = fc.t0 + float(s.frameHeight) / th;
  return true;
}

}  // namespace

void gfx_draw_sprite(int slot, int x, int y) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  gfx_bind_sprite_texture(slot);
  gfx_apply_sprite_filter();
  const float S = s->sExtent, T = s->tExtent;
  const float x0 = float(x), y0 = float(y), x1 = float(x + s->width), y1 = float(y + s->height);
  // Immediate-mode order (S,T)@(x+w,y), (0,T)@(x,y), (0,0)@(x,y+h), (S,0)@(x+w,y+h)
  // drawn from a stack array with the wrap mode of the bind.
  const QuadVertex v[4] = {{x1, y0, S, T}, {x0, y0, 0, T}, {x0, y1, 0, 0}, {x1, y1, S, 0}};
  const bool unblended = gfx_opaque_texel_draw_begin(slot, 0, 0, s->width, s->height);
  gfx_emit_quad(v, true);
  if (unblended) gfx_unblended_draw_end();
}

void gfx_draw_sprite_scaled(int slot, int x, int y, int width, int height) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  gfx_bind_sprite_texture(slot);
  gfx_apply_sprite_filter();
  const float S = s->sExtent, T = s->tExtent;
  const float x0 = float(x), y0 = float(y), x1 = float(x + width), y1 = float(y + height);
  const QuadVertex v[4] = {{x0, y1, 0, 0}, {x1, y1, S, 0}, {x1, y0, S, T}, {x0, y0, 0, T}};
  gfx_draw_textured_quad(v);
}

void gfx_zoom_sprite(int slot, int x, int y, double fx, double fy) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  const double w = s->width, h = s->height;
  const int W = int(std::trunc(fx * w)), H = int(std::trunc(fy * h));
  const int dx = int(std::trunc(fx * w - w)) / 2, dy = int(std::trunc(fy * h - h)) / 2;
  gfx_draw_sprite_scaled(slot, x - dx, y - dy, W, H);
}

void gfx_rotozoom_sprite(int slot, int x, int y, double angle, double zoom) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  const float z = float(zoom);
  const float a = z * s->width * 0.5f, b = z * s->height * 0.5f;
  const float tw = s->textureWidth, th = s->textureHeight;
  const float s0 = 0.5f / tw, s1 = (s->width - 0.5f) / tw, t0 = 0.5f / th, t1 = (s->height - 0.5f) / th;
  gfx_bind_sprite_texture(slot);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(float(x + (s->width >> 1)), float(y + (s->height >> 1)), 0.0f);
  glRotatef(float(angle), 0.0f, 0.0f, -1.0f);
  gfx_apply_sprite_filter();
  const QuadVertex v[4] = {{-a, b, s0, t0}, {a, b, s1, t0}, {a, -b, s1, t1}, {-a, -b, s0, t1}};
  gfx_draw_textured_quad(v);
  glPopMatrix();
}

void gfx_rotate_sprite(int slot, int x, int y, double angle) { gfx_rotozoom_sprite(slot, x, y, angle, 1.0); }

void gfx_draw_anim(int slot, int frame, int x, int y) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  FrameCoords f;
  if (!frame_coords(*s, frame, f)) return;
  gfx_bind_sprite_texture(slot);
  gfx_apply_sprite_filter();
  const float x0 = float(x), y0 = float(y), x1 = float(x + s->frameWidth), y1 = float(y + s->frameHeight);
  const QuadVertex v[4] = {{x1, y0, f.s1, f.t1}, {x0, y0, f.s0, f.t1}, {x0, y1, f.s0, f.t0}, {x1, y1, f.s1, f.t0}};
  // The frame's texels, counted from the image's bottom row.
  const int64_t fx0 = f.column * s->frameWidth, fy0 = s->height - int64_t(s->frameHeight) * (f.row + 1);
  const bool unblended =
      fx0 >= 0 && fy0 >= 0 && fx0 + s->frameWidth <= s->width && fy0 + s->frameHeight <= s->height &&
      gfx_opaque_texel_draw_begin(slot, int(fx0), int(fy0), int(fx0 + s->frameWidth), int(fy0 + s->frameHeight));
  gfx_emit_quad(v, true);
  if (unblended) gfx_unblended_draw_end();
}

void gfx_stretch_anim(int slot, int frame, int x, int y, int width, int height) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  FrameCoords f;
  if (!frame_coords(*s, frame, f)) return;
  gfx_bind_sprite_texture(slot);
  gfx_apply_sprite_filter();
  const float x0 = float(x), y0 = float(y);
  const float x1 = float(x) + float(width) + 0.1f, y1 = float(y) + float(height) + 0.1f;
  const QuadVertex v[4] = {{x0, y0, f.s0, f.t1}, {x0, y1, f.s0, f.t0}, {x1, y1, f.s1, f.t0}, {x1, y0, f.s1, f.t1}};
  gfx_draw_textured_quad(v);
}

void gfx_rotozoom_anim(int slot, int frame, double x, double y, double angle, double zoom) {
  const SpriteSlot* s = slot_of(slot);
  if (!s) return;
  FrameCoords f;
  if (!frame_coords(*s, frame, f)) return;
  const float tw = s->textureWidth, th = s->textureHeight;
  const float s0 = f.s0 + 0.5f / tw, s1 = s0 + s->frameWidth / tw - 1.0f / tw;
  const float t0 = f.t0 + 0.5f / th, t1 = t0 + s->frameHeight / th - 1.0f / th;
  const float z = float(zoom);
  const float a = s->frameWidth * z * 0.5f, b = s->frameHeight * z * 0.5f;
  const float r = float(angle) * 0.017453292f, c = std::cos(r), sn = std::sin(r);
  const float cx = float(x) + float(s->frameWidth / 2), cy = float(y) + float(s->frameHeight / 2);
  auto corner = [&](float dx, float dy, float ss, float tt) {
    return QuadVertex{cx + dx * c + dy * sn, cy - dx * sn + dy * c, ss, tt};
  };
  gfx_bind_sprite_texture(slot);
  gfx_apply_sprite_filter();
  const QuadVertex v[4] = {corner(-a, -b, s0, t1), corner(-a, b, s0, t0), corner(a, b, s1, t0),
                           corner(a, -b, s1, t1)};
  gfx_draw_textured_quad(v);
}

void gfx_smooth_shading(int flag) {
  if (g_gfx) g_gfx->smoothing = flag != 0;
}

void gfx_alpha_test(double ref) {
  if (!g_gfx) return;
  if (ref >= 1.0) {
    gfx_state_disable(GL_ALPHA_TEST);
    g_gfx->alphaTestRef = 1.0f;
  } else {
    gfx_state_enable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, float(ref));
    g_gfx->alphaTestRef = float(ref);
  }
}

void gfx_begin_frame_blend() {
  if (!g_gfx) return;
  gfx_alpha_test(1.0);
  gfx_state_enable(GL_BLEND);
  gfx_set_blend_func(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  g_gfx->globalAlpha = 1.0f;
  gfx_set_colour_rgba(1, 1, 1, 1);
}

namespace {

// Every cache of GL state becomes unknown: capabilities, the current colour,
// texture bindings, client arrays and the slots' texture parameters.
void forget_all_caches() {
  gfx_state_cache_invalidate();
  gfx_colour_cache_invalidate();
  gfx_gl_binding_cache_invalidate();
  g_blend[0] = g_blend[1] = 0;
  g_shade = 0;
  g_client[0] = g_client[1] = g_client[2] = -1;
  if (g_gfx) std::fill(g_gfx->texParams.begin(), g_gfx->texParams.end(), kUnknownParams);
}

}  // namespace

void gfx_forget_gl_state() {
  forget_all_caches();
  // Sprites draw with the colour kept between operations.
  if (g_gfx) gfx_set_colour_rgba(1, 1, 1, g_gfx->globalAlpha);
}

void gfx_caches_new_context() { g_new_context = true; }

void gfx_reset_2d_state() {
  if (!g_gfx) return;
  gfx_apply_viewport(0, 0, 0, 0);
  // The capabilities, blend function and shade model are set again whatever
  // happened to them; the colour, texture bindings and texture parameters
  // stay known from frame to frame (code that changes them behind the caches
  // says so through gfx_forget_gl_state), except in a new GL context.
  if (g_new_context) {
    forget_all_caches();
    g_new_context = false;
  }
  gfx_state_cache_invalidate();
  g_blend[0] = g_blend[1] = 0;
  g_shade = 0;
  gfx_state_disable(GL_DEPTH_TEST);
  gfx_state_disable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  gfx_set_colour_rgba(1, 1, 1, 1);
  gfx_state_disable(GL_FOG);
  gfx_state_disable(GL_LINE_SMOOTH);
  gfx_state_disable(GL_POINT_SMOOTH);
  gfx_state_disable(GL_STENCIL_TEST);
  gfx_state_disable(GL_NORMALIZE);
  gfx_state_disable(GL_LIGHTING);
  gfx_set_shade_model(GL_FLAT);
  gfx_state_disable(GL_COLOR_MATERIAL);
  gfx_state_disable(GL_DITHER);
  gfx_state_disable(GL_POLYGON_SMOOTH);
  gfx_state_disable(GL_POLYGON_OFFSET_POINT);
  gfx_state_disable(GL_AUTO_NORMAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
  g_gfx->smoothing = true;
  gfx_bind_sprite_texture(-1);
  gfx_state_disable(GL_ALPHA_TEST);
  g_gfx->alphaTestRef = 1.0f;
  gfx_state_enable(GL_BLEND);
  gfx_set_blend_func(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  g_gfx->globalAlpha = 1.0f;
  gfx_set_colour_rgba(1, 1, 1, 1);
  gfx_client_arrays(false, false, false);
}
