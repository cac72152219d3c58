// The window and its GL context: creation, window modes, hiding, teardown.
#pragma once
#include <cstdint>

#include "platform/window.h"

#include "runtime/runtime_state.h"

// What the window asks of the layers above it, installed once by the engine
// at start-up (a null entry is skipped).
struct WindowCallbacks {
  // The client size changed; `whole_viewport` also makes the viewport the
  // whole window (after every window mode change).
  void (*size_changed)(int width, int height, bool whole_viewport) = nullptr;
  // A window and its GL context are about to go (program end, a window
  // re-created for another pixel format): the textures are released first.
  void (*releasing_window)() = nullptr;
  // Serves the window's events (after the window was hidden).
  void (*serve_events)() = nullptr;
};
void runtime_window_set_callbacks(const WindowCallbacks& callbacks);

// Creates the hidden window and its GL context, cleared, with the size
// passed on; 0 when that fails. The first frame and the GL set-up follow in
// the start-up sequence.
int runtime_create_gl_window(int width, int height, int colour_bits, int frame_rate, int antialias_samples);
int runtime_enter_windowed();
int runtime_enter_fullscreen();
void runtime_set_window_mode(int width, int height, int colour_bits, int fullscreen);
void runtime_hide_window();
void runtime_destroy_gl_window();

// Whether the driver lets the swap interval be set (a window was made and
// the platform accepted an interval), and switching vsync through it
// (adaptive where offered).
bool runtime_swap_control_known();
// Asks the driver once the first frame is shown.
void runtime_window_probe_swap_control();
void runtime_apply_vsync(bool on);

// Whether a warning box may be shown: only when a person can answer it.
// Off when stdin is not a terminal, when CI is set, or when TAMBLIX_NO_DIALOGS
// is set to anything but "0"; runtime_set_dialogs_allowed(0) turns it off too.
bool runtime_dialogs_allowed();
void runtime_set_dialogs_allowed(int allowed);

// Whole-word search: `word` at the start of `list` or after a blank, and
// followed by a blank or the end.
bool runtime_contains_whole_word(const char* list, const char* word);
// The software-renderer name test: the exact name of the generic renderer.
bool runtime_renderer_name_is_generic(const char* name);
// The built-in text of the software-renderer warning (Windows-1252 bytes).
extern const char kSoftwareWarningText[];
