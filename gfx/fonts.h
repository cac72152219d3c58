// Bitmap fonts and text drawing.
#pragma once

bool gfx_install_builtin_font(int slot);
#include <string>

// False when the image cannot be read or uploaded; then `why` (when given)
// receives the reason for the log.
bool gfx_load_font_file(int slot, const char* name, std::string* why = nullptr);
void gfx_draw_text(int font, const char* text, float x, float y, float z, bool kerning, bool useScale);
void gfx_load_font_named(const char* name, int slot);
void gfx_print_c(const char* text, double x, double y, int kerning);
int gfx_text_width_c(const char* text, int kerning);
