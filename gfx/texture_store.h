// The sprite slots' textures: loading, uploading and freeing them.
#pragma once

#include <cstdint>

#include "gfx/image_decode.h"

bool gfx_valid_slot(int slot);
void gfx_free_sprite_slot(int slot);
void gfx_free_collision_mask(int slot);
#include <string>

// False when the file cannot be read, decoded or uploaded; then `why` (when
// given) receives the reason for the log.
bool gfx_load_sprite_file(int slot, const char* name, int32_t key, bool normalMap, std::string* why = nullptr);
bool gfx_upload_sprite(int slot, ImageBuffer& image, bool normalMap);
bool gfx_upload_texture_region(const ImageBuffer& image, int x0, int y0, int w, int h, uint32_t* texName,
                               uint32_t* mipName, bool normalMap, bool nearest);
int gfx_pow2_at_least(int v, int minimum);
// The slot's mipmap texture, built from its texture on the first request
// (0 for slots that have none: fonts, surfaces, grabbed textures).
uint32_t gfx_sprite_mipmap_texture(int slot);
// Internal slot loader taking a plain name (the commands wrap it).
void gfx_load_sprite_named(const char* name, int slot);
void gfx_load_sprite_c(const char* name, int slot);
void gfx_load_anim_c(const char* name, int slot, int frame_width, int frame_height);
void gfx_load_bump_texture_c(const char* name, int slot);
int gfx_mem_to_sprite_raw(const int32_t* pixels, int count, int slot, int width, int height);
