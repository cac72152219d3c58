#include "platform/sdl/x11_keymap.h"

#include <X11/XKBlib.h>
#include <dlfcn.h>

namespace tmx::platform {

namespace {

// The X library is loaded by SDL's video driver when it runs on X11; its
// keyboard calls are taken from there, so nothing links against it.
using GetStateFn = Status (*)(Display*, unsigned int, XkbStatePtr);
using LookupKeySymFn = Bool (*)(Display*, KeyCode, unsigned int, unsigned int*, KeySym*);

struct XkbCalls {
  GetStateFn get_state = nullptr;
  LookupKeySymFn lookup = nullptr;
  XkbCalls() {
    if (void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD)) {
      get_state = reinterpret_cast<GetStateFn>(dlsym(lib, "XkbGetState"));
      lookup = reinterpret_cast<LookupKeySymFn>(dlsym(lib, "XkbLookupKeySym"));
    }
  }
};

const XkbCalls& calls() {
  static const XkbCalls c;
  return c;
}

// A key symbol to the character it types (0 for none).
long character_of_keysym(KeySym ks) {
  if ((ks >= 0x20 && ks <= 0x7E) || (ks >= 0xA0 && ks <= 0xFF)) return static_cast<long>(ks);  // Latin-1
  if (ks >= 0x01000000 && ks <= 0x0110FFFF) return static_cast<long>(ks - 0x01000000);  // Unicode
  if (ks >= 0xFFB0 && ks <= 0xFFB9) return '0' + static_cast<long>(ks - 0xFFB0);        // keypad digits
  switch (ks) {
    case 0xFF08: return 8;       // BackSpace
    case 0xFF09: return 9;       // Tab
    case 0xFF0D: return 13;      // Return
    case 0xFF1B: return 27;      // Escape
    case 0xFFFF: return 127;     // Delete
    case 0xFF80: return ' ';     // KP_Space
    case 0xFF89: return 9;       // KP_Tab
    case 0xFF8D: return 13;      // KP_Enter
    case 0xFFAA: return '*';
    case 0xFFAB: return '+';
    case 0xFFAC: return ',';     // KP_Separator
    case 0xFFAD: return '-';
    case 0xFFAE: return '.';     // KP_Decimal
    case 0xFFAF: return '/';
    case 0xFFBD: return '=';
    case 0x20AC: return 0x20AC;  // EuroSign
    default: return 0;           // dead keys, functions, other legacy sets
  }
}

}  // namespace

long x11_key_character(void* display, int x_keycode, bool plain) {
  const XkbCalls& c = calls();
  if (display == nullptr || c.get_state == nullptr || c.lookup == nullptr) return -1;
  if (x_keycode < 8 || x_keycode > 255) return 0;
  auto* dpy = static_cast<Display*>(display);
  XkbStateRec state;
  if (c.get_state(dpy, XkbUseCoreKbd, &state) != Success) return -1;
  const unsigned mods = plain ? 0u : state.mods;
  KeySym ks = NoSymbol;
  unsigned consumed = 0;
  if (!c.lookup(dpy, static_cast<KeyCode>(x_keycode), XkbBuildCoreState(mods, state.group), &consumed, &ks))
    return 0;
  return character_of_keysym(ks);
}

int x11_keycode_of_key_code(int code) {
  // evdev key codes are the set-1 codes of the main block and keypad plus 8.
  if (code >= 1 && code <= 88) return code + 8;
  switch (code) {
    case 156: return 104;  // keypad Enter
    case 181: return 106;  // keypad divide
    default: return 0;
  }
}

}  // namespace tmx::platform
