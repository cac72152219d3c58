// The graphics commands that take the engine's strings and arrays.
#include "gfx/backgrounds.h"
#include "gfx/fonts.h"
#include "gfx/texture_store.h"
#include "tamblix/array.h"
#include "tamblix/gfx.h"
#include "tamblix/string.h"

void gfx_load_sprite(const BasicString& file, int slot) { gfx_load_sprite_c(file.c_str(), slot); }

void gfx_load_anim(const BasicString& file, int slot, int frame_width, int frame_height) {
  gfx_load_anim_c(file.c_str(), slot, frame_width, frame_height);
}

void gfx_load_bump_texture(const BasicString& file, int slot) { gfx_load_bump_texture_c(file.c_str(), slot); }

int gfx_mem_to_sprite(const BasicArray<int32_t>& pixels, int slot, int width, int height) {
  return gfx_mem_to_sprite_raw(pixels.data(), pixels.count(), slot, width, height);
}

void gfx_load_font(const BasicString& file, int slot) { gfx_load_font_named(file.c_str(), slot); }

void gfx_print(const BasicString& text, double x, double y, int kerning) { gfx_print_c(text.c_str(), x, y, kerning); }

int gfx_text_width(const BasicString& text, int kerning) { return gfx_text_width_c(text.c_str(), kerning); }

void gfx_load_background(const BasicString& file) { gfx_load_background_named(file.c_str()); }
