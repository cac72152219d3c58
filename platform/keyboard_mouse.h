// Keyboard, cursor and mouse services through SDL.
#pragma once
#include <cstdint>

namespace tmx::platform {

// ---- keyboard ----

// The engine's key code (set-1 scan code, 128 added for extended keys) of an
// SDL scancode, 0 when the key has none; and back (0 = SDL_SCANCODE_UNKNOWN).
int key_code_of_scancode(int scancode);
int scancode_of_key_code(int code);

// Whether a keyboard can be read (SDL's video subsystem is up).
bool keyboard_available();
// Whether the window has the keyboard focus.
bool window_is_active(void* window);
// Updates SDL's input state from the window system (leaves the events queued).
void input_pump();
// Fills state[code] with 0x80 for every key that is down now, else 0.
void keyboard_snapshot(uint8_t state[256]);
// Whether the key with the Windows virtual-key value vk is down (the
// fallback query, layout aware through SDL's key codes).
bool key_down_by_virtual_key(int vk);
// The character the key gives with the current layout and shift state
// (0 when none); may be above 127.
int key_character(int code);

// ---- cursor and mouse ----

// The program's window (an SDL_Window*), used to reach its display.
void pointer_window(void* window);

// Cursor position relative to the window's client area / to the desktop.
void cursor_in_window(void* window, int& x, int& y);
void cursor_on_screen(int& x, int& y);
void cursor_warp_screen(int x, int y);
void window_to_screen(void* window, int& x, int& y);
// Size of the window's client area.
void window_client_size(void* window, int& w, int& h);
// Size of the window's outer rectangle (client area plus borders).
void window_outer_size(void* window, int& w, int& h);
// The cursor position on the desktop and the button bits of the system
// mouse (1 left, 2 right, 4 middle), from one query.
unsigned cursor_and_buttons_on_screen(int& x, int& y);
// The arrow pointer shown, or no pointer.
void pointer_show(bool shown);

// The captured mouse: relative motion while `exclusive`, wheel steps taken
// from the event stream.
// False when the mode cannot be set.
bool captured_mouse_set_exclusive(void* window, bool exclusive);
// Motion since the last read, the wheel motion since the last read and the
// button bits.
void captured_mouse_read(int& dx, int& dy, int& wheel, unsigned& buttons);
// The event pump hands wheel motion here.
void captured_mouse_add_wheel(int steps);

// Relative motion of the system mouse (the pointer hidden, no captured
// mouse): the platform's relative mode, which hides and holds the pointer in
// the window and reports the motion. Turning it on or off never moves the
// cursor while the window is in the background. False when it cannot be set.
bool relative_motion_set(bool on);
// The motion since the last read (or since the mode was turned on).
void relative_motion_read(int& dx, int& dy);

}  // namespace tmx::platform
