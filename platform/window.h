// The top-level window, its OpenGL context and the window event source.
// Handles are opaque (the implementation keeps the window system's own).
#pragma once
#include <cstdint>
#include <string>

using PlatformWindow = void*;
using PlatformGLContext = void*;

// Starts the video subsystem (once); false when there is no display. A
// display is one a person can see: with no usable window system (DISPLAY
// unset or its server unreachable) the platform's invisible stand-ins
// ("offscreen", "dummy") are refused unless the user asked for one by name
// with SDL_VIDEODRIVER.
bool platform_video_init();
// Why the last platform_video_init failed (empty when it did not).
std::string platform_video_failure();
// Ends the video subsystem (after the last window is gone).
void platform_video_quit();
// Whether the video subsystem runs (a window can give events).
bool platform_video_active();

// Size of the primary display's current mode, and its colour depth in bits.
void platform_desktop_size(int* width, int* height);
int platform_desktop_depth();
// The usable area of the display that holds most of the window (or of the
// primary display when window is null): false when unknown.
bool platform_work_area(PlatformWindow window, int* x, int* y, int* width, int* height);

// Creates a hidden window with the given title and client size, drawable
// through OpenGL with the fixed-function pipeline: colour bits of the
// desktop, depth 24, stencil 8, double-buffered; `samples` > 0 asks for a
// multisample format with that many samples (and fails when there is none).
// Without samples, weaker depth/stencil formats are tried when the asked one
// does not exist. Null on failure.
PlatformWindow platform_window_create(const char* title, int width, int height, int colour_bits,
                                      int samples);
void platform_window_destroy(PlatformWindow window);
void platform_window_set_title(PlatformWindow window, const char* title);
std::string platform_window_title(PlatformWindow window);
// Client area position (screen coordinates) and size.
void platform_window_place(PlatformWindow window, int x, int y, int width, int height);
void platform_window_position(PlatformWindow window, int* x, int* y);
void platform_window_client_size(PlatformWindow window, int* width, int* height);
void platform_window_show(PlatformWindow window);
void platform_window_hide(PlatformWindow window);
void platform_window_raise(PlatformWindow window);
bool platform_window_visible(PlatformWindow window);
// Frame (decorations) on or off.
void platform_window_set_framed(PlatformWindow window, bool framed);
// Fullscreen in a display mode of exactly width x height (and the colour
// depth when bits != 0). False when the display has no such mode.
bool platform_window_fullscreen_mode(PlatformWindow window, int width, int height, int bits);
// Fullscreen over the whole desktop at the desktop's size (stands in for a
// mode switch where modes cannot be set). False on failure.
bool platform_window_fullscreen_desktop(PlatformWindow window);
// Back to a normal window (the desktop's display mode is restored).
void platform_window_leave_fullscreen(PlatformWindow window);

PlatformGLContext platform_gl_create_context(PlatformWindow window);
bool platform_gl_make_current(PlatformWindow window, PlatformGLContext context);
void platform_gl_delete_context(PlatformGLContext context);
void platform_gl_swap(PlatformWindow window);
// Waits until the GL context has carried out every command given so far.
void platform_gl_finish();
// Buffer swaps wait for `interval` vertical retraces; false when unsupported.
bool platform_gl_set_swap_interval(int interval);
// Whether the driver lets the swap interval be set (the swap-control entry).
bool platform_gl_has_swap_control();
// Waiting for the vertical retrace on or off; gives the interval in force
// (-1 adaptive, 1 plain, 0 off).
int platform_gl_set_vsync(bool on);
int platform_gl_swap_interval();
// The renderer name and the extension list of the current context.
std::string platform_gl_renderer();
std::string platform_gl_extensions();
// The name under which the multisample extension appears in that list.
const char* platform_multisample_extension();
// True when the current context renders in software (a rasteriser that is
// not hardware accelerated).
bool platform_gl_is_software(const std::string& renderer);
// Clears the colour and depth buffers of the current context.
void platform_gl_clear();

// Events of the window, in the order they arrived.
enum class PlatformEventKind {
  none,
  focus_lost,
  focus_gained,
  close_request,   // the close button, or the session asks the program to quit
  characters,      // typed text (bytes in `text`, Latin-1)
  wheel,           // the mouse wheel turned by `wheel_y` notches (away from the user > 0)
  other,
};
struct PlatformEvent {
  PlatformEventKind kind = PlatformEventKind::none;
  char text[32] = {};   // NUL-terminated, for characters
  int wheel_y = 0;      // for wheel
};

// True when an event is waiting (pumps the platform's queue first).
bool platform_event_pending();
// Takes the next event; false when there is none.
bool platform_take_event(PlatformEvent* event);
// Keeps the screen saver and monitor power-down off while the program runs
// (after platform_video_init; before it, the call has no effect).
void platform_suppress_screensaver();

// A warning box with an exclamation icon (blocks until closed); the text is
// single-byte (Latin-1).
void platform_warning_box(const char* caption, const char* text);
// The UTF-8 form of single-byte (Latin-1) text.
std::string platform_latin1_to_utf8(const char* text);
void platform_beep();
