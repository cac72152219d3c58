// Screenshots of the window for the run options.
#pragma once

// Writes the last presented frame of the window as a PNG file: the frame kept
// by the last capture when captures are on, otherwise the back buffer.
bool gfx_write_screenshot_png(const char* path);
// While on, every frame end (the runtime's end_screen_drawing hook) keeps a
// copy of the frame about to be shown, for gfx_write_screenshot_png. Off by
// default; turning it off frees the copy.
void gfx_capture_presented_frames(bool on);
