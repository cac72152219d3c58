// Screenshots (gfx/screenshot.h) and the frame capture behind them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/screenshot.h"

void gfx_capture_frame();
// Frees the kept frame's texture (captures stay on): its GL context is about
// to go, and the next capture makes a new one.
void gfx_drop_captured_frame();
// Reads the window's front (presented) or back buffer, rows top-down RGBA.
bool gfx_read_window_pixels(bool front, int& w, int& h, std::vector<uint8_t>& rgba);
// RGBA pixels (rows top-down) as the bytes of a PNG file.
bool gfx_encode_png(int w, int h, const uint8_t* rgba, std::vector<uint8_t>& out);
// Writes RGBA pixels as a PNG file through runtime_write_output_file (a new file
// renamed over the target when complete); false with the reason in `why`.
bool gfx_write_png_file(const char* path, int w, int h, const uint8_t* rgba, std::string* why = nullptr);
