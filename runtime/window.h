// The window and its GL context: creation, window modes, hiding, teardown.
#pragma once
#include <cstdint>

#include "platform/sdl_window.h"

// The window fields of the graphics context.
struct GlWindow {
  PlatformWindow window = nullptr;
  int32_t width = 0, height = 0;   // client size, also the fullscreen mode size
  int32_t colourBits = 0;          // 0 asks for the desktop's depth
  uint8_t fullscreen = 0;          // 1 while a fullscreen mode is active
  int32_t antialiasSamples = 0;
  void* instance = nullptr;
  PlatformGLContext glContext = nullptr;
  double nextFrameDue = 0, framePeriod = 0;  // the frame limiter's schedule
};
extern GlWindow g_gl_window;

// The display size in force (the desktop, or the fullscreen mode).
extern int32_t g_desktop_width, g_desktop_height;
// The window the other parts address (input, sound, the event pump).
extern PlatformWindow g_main_window;

int create_gl_window(void* instance, int width, int height, int colour_bits, int frame_rate,
                     int antialias_samples);
int enter_windowed();
int enter_fullscreen();
void set_window_mode(int width, int height, int colour_bits, int fullscreen);
void hide_window();
void destroy_gl_window();

// Whether the driver lets the swap interval be set (a window was made and
// the platform accepted an interval), and switching vsync through it
// (adaptive where offered).
bool swap_control_known();
void apply_vsync(bool on);

// Whether a warning box may be shown: only when a person can answer it.
// Off when stdin is not a terminal, when CI is set, or when TAMBLIX_NO_DIALOGS
// is set to anything but "0"; rt_set_dialogs_allowed(0) turns it off too.
bool dialogs_allowed();
void rt_set_dialogs_allowed(int allowed);

// Whole-word search: `word` at the start of `list` or after a blank, and
// followed by a blank or the end.
bool contains_whole_word(const char* list, const char* word);
// The software-renderer name test: the exact name of the generic renderer.
bool renderer_name_is_generic(const char* name);
// The built-in text of the software-renderer warning (Windows-1252 bytes).
extern const char kSoftwareWarningText[];
