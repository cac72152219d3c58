// Reading media files (disk or "mem://" blocks) and images from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/image_decode.h"

// Reads a whole file (disk, or a "mem://" block) into out; false when the
// name is empty or the file cannot be read.
bool gfx_read_file(const char* name, std::vector<uint8_t>& out);
// Media lookup; out receives the name to open. False: not found.
bool gfx_resolve_media(const char* name, std::string& out);
bool gfx_is_memory_name(const char* name);
// Reads an image file by its content: the BMP reader, then the PNG reader
// (both with the colour key), then, when jpeg is set and the file is not a
// memory file, the JPEG reader. False when none of them accepts it; then
// `why` (when given) receives the reason for the log ("cannot be opened",
// "empty file", "damaged or unsupported PNG", "too large: ...", ...).
bool gfx_read_image_file(ImageBuffer& image, const char* name, int32_t key, bool jpeg, std::string* why = nullptr);

// The image decoders on a whole file.
bool gfx_read_bmp(ImageBuffer& image, const char* name, int32_t key);
bool gfx_read_png(ImageBuffer& image, const char* name, int32_t key);
bool gfx_read_jpeg(ImageBuffer& image, const char* name);
