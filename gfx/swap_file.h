// The texture swap file: every slot's pixels out to a temporary file and back.
#pragma once

#include <string>

bool gfx_save_textures();
bool gfx_restore_textures();
const std::string& gfx_swap_file_name();
