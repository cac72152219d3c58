// The characters of keys in the X server's active keyboard layout (XKB).
#pragma once

namespace tmx::platform {

// The character (a Unicode code point) that the key with X key code
// `x_keycode` gives in the active layout group with the keyboard's current
// modifiers (every shift level: Shift, Caps Lock, Num Lock, AltGr), 0 when it
// gives none. With `plain` the modifiers are left out (the key's first
// level). -1 when the display (an X11 `Display*`) cannot describe its
// keyboard.
long x11_key_character(void* display, int x_keycode, bool plain);

// The X key code of an engine key code (set-1 scan code, 128 added for
// extended keys) on a server with the usual evdev key codes, 0 for keys
// without one here.
int x11_keycode_of_key_code(int code);

}  // namespace tmx::platform
