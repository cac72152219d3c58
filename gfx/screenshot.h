// Screenshots of the window for the run options.
#pragma once
#include <string>

// Writes the last presented frame of the window as a PNG file: the frame kept
// by the last capture when captures are on, otherwise the back buffer. The
// file is written as runtime_write_output_file writes (runtime/output_file.h); false
// with the reason in `why` when given.
bool gfx_write_screenshot_png(const char* path, std::string* why = nullptr);
// While on, every frame end (the runtime's gfx_end_screen_drawing hook) keeps a
// copy of the frame about to be shown, for gfx_write_screenshot_png. Off by
// default; turning it off frees the copy.
void gfx_capture_presented_frames(bool on);
