// Bitmap fonts: 16-column glyph grids measured at load time, the built-in
// 8 x 8 font, and text drawing as one triangle strip.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "gfx/context.h"
#include "gfx/draw_state.h"
#include "gfx/file_access.h"
#include "gfx/font_glyphs.h"
#include "gfx/fonts.h"
#include "gfx/gl_ext.h"
#include "gfx/texture_store.h"
#include "runtime/load_report.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

namespace {

// Glyph bits of characters 32..127: bit 5 * gy + gx of a 5 x 6 glyph.
const uint32_t kBuiltinGlyphs[96] = {
    0x00000000, 0x08021080, 0x00002940, 0x15F57D40, 0x08E619C4, 0x14222140, 0x0ED114E0, 0x00001080,
    0x08210880, 0x04421040, 0x09575480, 0x08471080, 0x04400000, 0x00070000, 0x08000000, 0x04222100,
    0x00E5294E, 0x004210C4, 0x00E1390E, 0x00E4390E, 0x0084394A, 0x00E4384E, 0x00E5384E, 0x0042210E,
    0x00E5394E, 0x00E4394E, 0x00020080, 0x00220080, 0x00820888, 0x000701C0, 0x00222082, 0x0040310E,
    0x00E0B526, 0x00A5394E, 0x00E5194E, 0x00E5094E, 0x00E52946, 0x00E1384E, 0x0021384E, 0x00E5284E,
    0x00A5394A, 0x00E2108E, 0x00E5210C, 0x00A5194A, 0x00E10842, 0x015AD6BF, 0x00A5294E, 0x00E5294E,
    0x0021394E, 0x00F294A7, 0x00A5194E, 0x00E4384E, 0x0042108E, 0x00E5294A, 0x0045294A, 0x01FAD6B5,
    0x00A5114A, 0x0042394A, 0x00E1110E, 0x00610846, 0x01041041, 0x00621086, 0x00000144, 0x00E00000,
    0x00000082, 0x00E53000, 0x00E53842, 0x00E13800, 0x00E53908, 0x08273800, 0x00423888, 0x08873800,
    0x00A51842, 0x00421004, 0x04421004, 0x00A32842, 0x00421084, 0x015ABC00, 0x00A51800, 0x00E53800,
    0x04E51800, 0x10E53000, 0x00253800, 0x00E409C0, 0x00C23884, 0x00C52800, 0x00452800, 0x00EAD400,
    0x00A22800, 0x1C872800, 0x00E121C0, 0x00821888, 0x00421084, 0x00223082, 0x0002A800, 0x3F18C63F,
};

bool glyph_bit(uint32_t word, int gx, int gy) {
  if (gx < 0 || gx > 4 || gy < 0 || gy > 5) return false;
  return (word >> (5 * gy + gx)) & 1u;
}

bool valid_font(int slot) { return slot >= 0 && slot < kFontCount; }

void refuse_font_slot(const char* command, int slot) {
  char detail[64];
  std::snprintf(detail, sizeof detail, "font slot %d outside 0..%d", slot, kFontCount - 1);
  runtime_report_refused(command, detail, TMX_ERR_OUT_OF_MEMORY);
}

}  // namespace

bool gfx_install_builtin_font(int slot) {
  if (!g_gfx || !valid_font(slot)) return false;
  g_gfx->fontScale[slot] = 4.0f;
  ImageBuffer img;
  if (!img.resize(128, 64)) return false;
  std::memset(img.pixels, 0, 128 * 64 * 4);
  for (int c = 32; c < 128; ++c) {
    const uint32_t word = kBuiltinGlyphs[c - 32];
    const int left = 8 * (c % 16), top = 8 * (c / 16);
    for (int py = 0; py < 8; ++py)
      for (int px = 0; px < 7; ++px) {
        const int gx = px - 1, gy = py - 1;
        uint8_t* out = img.pixels + (size_t(top + py) * 128 + left + px) * 4;
        if (glyph_bit(word, gx, gy)) {
          out[0] = out[1] = out[2] = out[3] = 255;
        } else if (glyph_bit(word, gx - 1, gy) || glyph_bit(word, gx + 1, gy) || glyph_bit(word, gx, gy - 1) ||
                   glyph_bit(word, gx, gy + 1)) {
          out[0] = out[1] = out[2] = 8;
          out[3] = 255;
        }
      }
  }
  img.hasOwnAlpha = true;
  const int texSlot = kFontSlotBase + slot;
  // A 128 x 64 image already has power-of-two sides: texture = image.
  if (!gfx_upload_sprite(texSlot, img, false)) return false;
  for (int c = 0; c < 256; ++c) {
    GlyphRecord& g = g_gfx->glyphs[slot][c];
    g.left = 0;
    g.width = 8;
    g.s0 = float(8 * (c % 16)) / 128.0f;
    g.s1 = g.s0 + 8.0f / 128.0f;
  }
  return true;
}

bool gfx_load_font_file(int slot, const char* name, std::string* why) {
  if (!g_gfx || !valid_font(slot)) return false;
  g_gfx->fontScale[slot] = 1.0f;
  const int texSlot = kFontSlotBase + slot;
  ImageBuffer img;
  // No JPEG fonts.
  if (!gfx_read_image_file(img, name, g_gfx->fontKey, false, why)) {
    gfx_free_sprite_slot(texSlot);
    return false;
  }
  gfx_measure_font_glyphs(img, g_gfx->glyphs[slot]);
  if (gfx_upload_sprite(texSlot, img, false)) return true;
  if (why) *why = "the graphics driver could not make its texture";
  return false;
}

void gfx_load_font_named(const char* name, int slot) {
  clear_error();
  if (!g_gfx) return;
  if (!name || !*name) {
    // Frees the font's texture (a slot outside 0..31 has none to free).
    if (valid_font(slot)) gfx_load_font_file(slot, "");
    return;
  }
  if (!valid_font(slot)) {
    refuse_font_slot("gfx_load_font", slot);
    return;
  }
  g_gfx->currentFont = slot;
  g_gfx->fontScale[slot] = 1.0f;
  std::string path, why = "not found";
  if (!gfx_resolve_media(name, path) || !gfx_load_font_file(slot, path.c_str(), &why)) {
    // The author sees the built-in font where the file's was meant to be.
    why += "; font slot " + std::to_string(slot) + " uses the built-in font";
    runtime_report_failed_load("gfx_load_font", name, why.c_str());
    gfx_install_builtin_font(slot);
  }
}

void gfx_set_font(int slot, double scale) {
  if (!g_gfx) return;
  if (!valid_font(slot)) {
    refuse_font_slot("gfx_set_font", slot);
    return;
  }
  g_gfx->currentFont = slot;
  g_gfx->fontScale[slot] = float(scale);
}

int gfx_get_font() { return g_gfx ? g_gfx->currentFont : 0; }

void gfx_get_font_size(double& width, double& height) {
  width = height = 0;
  if (!g_gfx) return;
  const int f = g_gfx->currentFont;
  const SpriteSlot& s = g_gfx->slots[kFontSlotBase + f];
  const int cw = s.width >> 4;
  const int ch = s.width <= s.height ? s.height >> 4 : s.height >> 3;
  width = double(float(cw) * g_gfx->fontScale[f]);
  height = double(float(ch) * g_gfx->fontScale[f]);
}

void gfx_get_font_size(int& width, int& height) {
  double w, h;
  gfx_get_font_size(w, h);
  width = int(w);
  height = int(h);
}

int gfx_gen_font() {
  if (!g_gfx) return -1;
  for (int f = kFontCount - 1; f >= 0; --f)
    if (g_gfx->slots[kFontSlotBase + f].width < 16) return f;
  return -1;
}

void gfx_draw_text(int font, const char* text, float x, float y, float z, bool kerning, bool useScale) {
  if (!g_gfx || !valid_font(font) || !text || !*text) return;
  const size_t len = std::strlen(text);
  if (len > size_t(INT32_MAX / 4 - 1)) return;
  if (!g_gfx->textVerts.grow(int32_t(len * 4))) return;
  const int texSlot = kFontSlotBase + font;
  gfx_bind_sprite_texture(texSlot);
  const SpriteSlot& s = g_gfx->slots[texSlot];
  float cw = float(s.width >> 4), ch;
  int count, rows;
  float tc;
  if (s.width <= s.height) {
    count = 256;
    ch = float(s.height >> 4);
    rows = 16;
    tc = s.tExtent / 16.0f;
  } else {
    count = 128;
    ch = float(s.height >> 3);
    rows = 8;
    tc = s.tExtent / 8.0f;
  }
  const float sc = s.sExtent / 16.0f;
  float X = std::ceil(x), Y = std::ceil(y);
  float k = 1.0f;
  if (useScale) {
    k = g_gfx->fontScale[font];
    ch *= k;
    cw *= k;
  }
  TextVertex* v = g_gfx->textVerts.data;
  int n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
    const int c = *p % count;
    if (c == 0) break;
    const int row = c / 16;
    const float tBottom = tc * float(rows - 1 - row), tTop = tBottom + tc;
    float s0, s1, a;
    if (kerning) {
      const GlyphRecord& g = g_gfx->glyphs[font][c];
      s0 = g.s0;
      s1 = g.s1;
      a = float(g.width) * k;
    } else {
      s0 = float(c % 16) * sc;
      s1 = s0 + sc;
      a = cw;
    }
    v[n++] = {X, Y + ch, z, s0, tBottom};
    v[n++] = {X, Y, z, s0, tTop};
    v[n++] = {X + a, Y + ch, z, s1, tBottom};
    v[n++] = {X + a, Y, z, s1, tTop};
    X += a;
  }
  g_gfx->textVerts.count = n;
  if (n == 0) return;
  const bool tex = g_last_bound_slot >= 0;
  gfx_client_arrays(true, tex, false);
  glVertexPointer(3, GL_FLOAT, sizeof(TextVertex), &v[0].x);
  if (tex) glTexCoordPointer(2, GL_FLOAT, sizeof(TextVertex), &v[0].s);
  if (tex) gfx_sync_bound_wrap();
  glDrawArrays(GL_TRIANGLE_STRIP, 0, n);
  gfx_client_arrays(false, false, false);
}

void gfx_print_c(const char* text, double x, double y, int kerning) {
  if (!g_gfx) return;
  gfx_draw_text(g_gfx->currentFont, text, float(x), float(y), 0.0f, kerning != 0, true);
}

int gfx_text_width_c(const char* text, int kerning) {
  if (!g_gfx || !text) return 0;
  const int f = g_gfx->currentFont;
  double sum = 0;
  if (kerning) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
      sum += g_gfx->glyphs[f][*p].width;
  } else {
    sum = double(std::strlen(text)) * double(g_gfx->slots[kFontSlotBase + f].width >> 4);
  }
  return int(std::trunc(sum * double(g_gfx->fontScale[f])));
}
