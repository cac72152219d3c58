// The texture swap file: every slot's pixels out to a temporary file and back.
#pragma once

#include <string>

bool save_textures();
bool restore_textures();
const std::string& swap_file_name();
