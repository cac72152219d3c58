#include "platform/keyboard_mouse.h"

#include "platform/sdl/x11_keymap.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

#include <array>
#include <cctype>
#include <cstring>

namespace tmx::platform {

namespace {

struct KeyPair {
  SDL_Scancode sc;
  uint8_t code;
};

// SDL scancodes name the physical key position, as the set-1 codes do.
constexpr KeyPair kKeyTable[] = {
    {SDL_SCANCODE_ESCAPE, 1},        {SDL_SCANCODE_1, 2},           {SDL_SCANCODE_2, 3},
    {SDL_SCANCODE_3, 4},             {SDL_SCANCODE_4, 5},           {SDL_SCANCODE_5, 6},
    {SDL_SCANCODE_6, 7},             {SDL_SCANCODE_7, 8},           {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},            {SDL_SCANCODE_0, 11},          {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},       {SDL_SCANCODE_BACKSPACE, 14},  {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_Q, 16},            {SDL_SCANCODE_W, 17},          {SDL_SCANCODE_E, 18},
    {SDL_SCANCODE_R, 19},            {SDL_SCANCODE_T, 20},          {SDL_SCANCODE_Y, 21},
    {SDL_SCANCODE_U, 22},            {SDL_SCANCODE_I, 23},          {SDL_SCANCODE_O, 24},
    {SDL_SCANCODE_P, 25},            {SDL_SCANCODE_LEFTBRACKET, 26}, {SDL_SCANCODE_RIGHTBRACKET, 27},
    {SDL_SCANCODE_RETURN, 28},       {SDL_SCANCODE_LCTRL, 29},      {SDL_SCANCODE_A, 30},
    {SDL_SCANCODE_S, 31},            {SDL_SCANCODE_D, 32},          {SDL_SCANCODE_F, 33},
    {SDL_SCANCODE_G, 34},            {SDL_SCANCODE_H, 35},          {SDL_SCANCODE_J, 36},
    {SDL_SCANCODE_K, 37},            {SDL_SCANCODE_L, 38},          {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},   {SDL_SCANCODE_GRAVE, 41},      {SDL_SCANCODE_LSHIFT, 42},
    {SDL_SCANCODE_BACKSLASH, 43},    {SDL_SCANCODE_Z, 44},          {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_C, 46},            {SDL_SCANCODE_V, 47},          {SDL_SCANCODE_B, 48},
    {SDL_SCANCODE_N, 49},            {SDL_SCANCODE_M, 50},          {SDL_SCANCODE_COMMA, 51},
    {SDL_SCANCODE_PERIOD, 52},       {SDL_SCANCODE_SLASH, 53},      {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_KP_MULTIPLY, 55},  {SDL_SCANCODE_LALT, 56},       {SDL_SCANCODE_SPACE, 57},
    {SDL_SCANCODE_CAPSLOCK, 58},     {SDL_SCANCODE_F1, 59},         {SDL_SCANCODE_F2, 60},
    {SDL_SCANCODE_F3, 61},           {SDL_SCANCODE_F4, 62},         {SDL_SCANCODE_F5, 63},
    {SDL_SCANCODE_F6, 64},           {SDL_SCANCODE_F7, 65},         {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67},           {SDL_SCANCODE_F10, 68},        {SDL_SCANCODE_NUMLOCKCLEAR, 69},
    {SDL_SCANCODE_SCROLLLOCK, 70},   {SDL_SCANCODE_KP_7, 71},       {SDL_SCANCODE_KP_8, 72},
    {SDL_SCANCODE_KP_9, 73},         {SDL_SCANCODE_KP_MINUS, 74},   {SDL_SCANCODE_KP_4, 75},
    {SDL_SCANCODE_KP_5, 76},         {SDL_SCANCODE_KP_6, 77},       {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_KP_1, 79},         {SDL_SCANCODE_KP_2, 80},       {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_0, 82},         {SDL_SCANCODE_KP_PERIOD, 83},  {SDL_SCANCODE_NONUSBACKSLASH, 86},
    {SDL_SCANCODE_F11, 87},          {SDL_SCANCODE_F12, 88},        {SDL_SCANCODE_F13, 100},
    {SDL_SCANCODE_F14, 101},         {SDL_SCANCODE_F15, 102},       {SDL_SCANCODE_INTERNATIONAL2, 112},
    {SDL_SCANCODE_INTERNATIONAL1, 115}, {SDL_SCANCODE_INTERNATIONAL4, 121}, {SDL_SCANCODE_INTERNATIONAL5, 123},
    {SDL_SCANCODE_INTERNATIONAL3, 125}, {SDL_SCANCODE_KP_EQUALS, 141}, {SDL_SCANCODE_AUDIOPREV, 144},
    {SDL_SCANCODE_AUDIONEXT, 153},   {SDL_SCANCODE_KP_ENTER, 156},  {SDL_SCANCODE_RCTRL, 157},
    {SDL_SCANCODE_AUDIOMUTE, 160},   {SDL_SCANCODE_CALCULATOR, 161}, {SDL_SCANCODE_AUDIOPLAY, 162},
    {SDL_SCANCODE_AUDIOSTOP, 164},   {SDL_SCANCODE_VOLUMEDOWN, 174}, {SDL_SCANCODE_VOLUMEUP, 176},
    {SDL_SCANCODE_AC_HOME, 178},     {SDL_SCANCODE_KP_COMMA, 179},  {SDL_SCANCODE_KP_DIVIDE, 181},
    {SDL_SCANCODE_PRINTSCREEN, 183}, {SDL_SCANCODE_RALT, 184},      {SDL_SCANCODE_PAUSE, 197},
    {SDL_SCANCODE_HOME, 199},        {SDL_SCANCODE_UP, 200},        {SDL_SCANCODE_PAGEUP, 201},
    {SDL_SCANCODE_LEFT, 203},        {SDL_SCANCODE_RIGHT, 205},     {SDL_SCANCODE_END, 207},
    {SDL_SCANCODE_DOWN, 208},        {SDL_SCANCODE_PAGEDOWN, 209},  {SDL_SCANCODE_INSERT, 210},
    {SDL_SCANCODE_DELETE, 211},      {SDL_SCANCODE_LGUI, 219},      {SDL_SCANCODE_RGUI, 220},
    {SDL_SCANCODE_APPLICATION, 221}, {SDL_SCANCODE_POWER, 222},     {SDL_SCANCODE_SLEEP, 223},
    {SDL_SCANCODE_AC_SEARCH, 229},   {SDL_SCANCODE_AC_BOOKMARKS, 230}, {SDL_SCANCODE_AC_REFRESH, 231},
    {SDL_SCANCODE_AC_STOP, 232},     {SDL_SCANCODE_AC_FORWARD, 233}, {SDL_SCANCODE_AC_BACK, 234},
    {SDL_SCANCODE_COMPUTER, 235},    {SDL_SCANCODE_MAIL, 236},      {SDL_SCANCODE_MEDIASELECT, 237},
};

struct KeyMaps {
  std::array<uint8_t, SDL_NUM_SCANCODES> code_of{};
  std::array<uint16_t, 256> scancode_of{};
  KeyMaps() {
    for (const KeyPair& p : kKeyTable) {
      code_of[p.sc] = p.code;
      scancode_of[p.code] = static_cast<uint16_t>(p.sc);
    }
  }
};
const KeyMaps& maps() {
  static const KeyMaps m;
  return m;
}

SDL_Window* win(void* w) { return static_cast<SDL_Window*>(w); }

// Windows virtual-key values of the fallback table to SDL key codes.
SDL_Keycode keycode_of_virtual_key(int vk) {
  if (vk >= '0' && vk <= '9') return vk;
  if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 'a';
  if (vk >= 112 && vk <= 123) return SDLK_F1 + (vk - 112);
  if (vk >= 96 && vk <= 105) return vk == 96 ? SDLK_KP_0 : SDLK_KP_1 + (vk - 97);
  switch (vk) {
    case 8: return SDLK_BACKSPACE;
    case 9: return SDLK_TAB;
    case 13: return SDLK_RETURN;
    case 16: return SDLK_LSHIFT;
    case 17: return SDLK_LCTRL;
    case 18: return SDLK_LALT;
    case 27: return SDLK_ESCAPE;
    case 32: return SDLK_SPACE;
    case 33: return SDLK_PAGEUP;
    case 34: return SDLK_PAGEDOWN;
    case 35: return SDLK_END;
    case 36: return SDLK_HOME;
    case 37: return SDLK_LEFT;
    case 38: return SDLK_UP;
    case 39: return SDLK_RIGHT;
    case 40: return SDLK_DOWN;
    case 45: return SDLK_INSERT;
    case 46: return SDLK_DELETE;
    case 91: return SDLK_LGUI;
    case 92: return SDLK_RGUI;
    case 93: return SDLK_APPLICATION;
    case 106: return SDLK_KP_MULTIPLY;
    case 107: return SDLK_KP_PLUS;
    case 109: return SDLK_KP_MINUS;
    case 110: return SDLK_KP_PERIOD;
    case 111: return SDLK_KP_DIVIDE;
    case 144: return SDLK_NUMLOCKCLEAR;
    case 145: return SDLK_SCROLLLOCK;
  }
  return SDLK_UNKNOWN;
}

// SDL's button mask to the engine's bits: 1 left, 2 right, 4 middle.
unsigned button_bits(Uint32 b) {
  return ((b & SDL_BUTTON_LMASK) ? 1u : 0u) | ((b & SDL_BUTTON_RMASK) ? 2u : 0u) |
         ((b & SDL_BUTTON_MMASK) ? 4u : 0u);
}

int g_wheel_steps = 0;
SDL_Window* g_window = nullptr;  // the window whose display the pointer queries use

// SDL caches the desktop pointer position and only refreshes it on raw input
// events, which synthetic and warped motion do not always produce; on X11 the
// pointer is asked directly (the X library is already loaded by SDL).
using QueryPointerFn = int (*)(void*, unsigned long, unsigned long*, unsigned long*, int*, int*, int*, int*,
                               unsigned*);
using RootWindowFn = unsigned long (*)(void*);

bool x11_pointer(int& x, int& y, unsigned& mask) {
  static QueryPointerFn query = nullptr;
  static RootWindowFn root = nullptr;
  static bool looked_up = false;
  if (g_window == nullptr) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(g_window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  if (!looked_up) {
    looked_up = true;
    if (void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD)) {
      query = reinterpret_cast<QueryPointerFn>(dlsym(lib, "XQueryPointer"));
      root = reinterpret_cast<RootWindowFn>(dlsym(lib, "XDefaultRootWindow"));
    }
  }
  if (query == nullptr || root == nullptr) return false;
  void* display = info.info.x11.display;
  unsigned long r = 0, c = 0;
  int wx = 0, wy = 0;
  if (!query(display, root(display), &r, &c, &x, &y, &wx, &wy, &mask)) return false;
  return true;
}

}  // namespace

void pointer_window(void* window) { g_window = win(window); }

int key_code_of_scancode(int sc) {
  if (sc < 0 || sc >= SDL_NUM_SCANCODES) return 0;
  return maps().code_of[static_cast<size_t>(sc)];
}

int scancode_of_key_code(int code) {
  if (code < 0 || code > 255) return 0;
  return maps().scancode_of[static_cast<size_t>(code)];
}

bool keyboard_available() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

bool window_is_active(void* window) {
  return window != nullptr && keyboard_available() && SDL_GetKeyboardFocus() == win(window);
}

void input_pump() {
  if (keyboard_available()) SDL_PumpEvents();
}

void keyboard_snapshot(uint8_t state[256]) {
  std::memset(state, 0, 256);
  int n = 0;
  const Uint8* keys = SDL_GetKeyboardState(&n);
  if (keys == nullptr) return;
  for (int sc = 0; sc < n && sc < SDL_NUM_SCANCODES; ++sc) {
    if (keys[sc]) {
      int code = maps().code_of[static_cast<size_t>(sc)];
      if (code != 0) state[code] = 0x80;
    }
  }
}

bool key_down_by_virtual_key(int vk) {
  SDL_Keycode k = keycode_of_virtual_key(vk);
  if (k == SDLK_UNKNOWN || !keyboard_available()) return false;
  SDL_Scancode sc = SDL_GetScancodeFromKey(k);
  int n = 0;
  const Uint8* keys = SDL_GetKeyboardState(&n);
  bool down = sc > 0 && sc < n && keys[sc];
  // The Windows keys for Shift, Control and Alt answer for both sides.
  if (!down && (vk == 16 || vk == 17 || vk == 18)) {
    SDL_Scancode r = vk == 16 ? SDL_SCANCODE_RSHIFT : vk == 17 ? SDL_SCANCODE_RCTRL : SDL_SCANCODE_RALT;
    down = r < n && keys[r];
  }
  return down;
}

namespace {

// The byte of a character in the ANSI code page (Windows-1252), 0 when the
// page has none.
int ansi_byte(long ch) {
  if (ch >= 0 && ch <= 0x7F) return static_cast<int>(ch);
  if (ch >= 0xA0 && ch <= 0xFF) return static_cast<int>(ch);
  static const uint16_t k80to9F[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  for (int i = 0; i < 32; ++i)
    if (k80to9F[i] != 0 && k80to9F[i] == ch) return 0x80 + i;
  return 0;
}

// The key's character from the X server's active layout, for every shift
// level; false when there is no X keyboard description to ask, or when its
// key codes do not name the key SDL sees there (the fixed table then
// answers).
bool layout_character(int code, SDL_Scancode sc, int& out) {
  if (g_window == nullptr) return false;
  const int xk = x11_keycode_of_key_code(code);
  if (xk == 0) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(g_window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  void* display = info.info.x11.display;
  const long plain = x11_key_character(display, xk, true);
  if (plain < 0) return false;
  const SDL_Keycode k = SDL_GetKeyFromScancode(sc);
  if ((k & SDLK_SCANCODE_MASK) == 0 && k != SDLK_UNKNOWN && k != plain) return false;
  const long ch = x11_key_character(display, xk, false);
  if (ch < 0) return false;
  out = ansi_byte(ch);
  return true;
}

}  // namespace

int key_character(int code) {
  int sc = scancode_of_key_code(code);
  if (sc == 0) return 0;
  if (int ch = 0; layout_character(code, static_cast<SDL_Scancode>(sc), ch)) return ch;
  // Without a keyboard description: SDL's key code and the shifted symbols
  // of the US layout.
  const SDL_Keymod mod = SDL_GetModState();
  const bool shift = (mod & KMOD_SHIFT) != 0;
  SDL_Keycode k = SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(sc));
  if (k >= SDLK_KP_1 && k <= SDLK_KP_0) {
    if (!(mod & KMOD_NUM)) return 0;
    return k == SDLK_KP_0 ? '0' : '1' + (k - SDLK_KP_1);
  }
  switch (k) {
    case SDLK_KP_DIVIDE: return '/';
    case SDLK_KP_MULTIPLY: return '*';
    case SDLK_KP_MINUS: return '-';
    case SDLK_KP_PLUS: return '+';
    case SDLK_KP_PERIOD: return (mod & KMOD_NUM) ? '.' : 0;
    case SDLK_KP_ENTER: return 13;
    default: break;
  }
  if (k <= 0 || k > 255) return 0;  // no character, or none of the byte range
  if (k >= 'a' && k <= 'z') {
    const bool upper = shift != ((mod & KMOD_CAPS) != 0);
    return upper ? k - 'a' + 'A' : k;
  }
  if (shift) {
    // The shifted symbols of the common layout for the ASCII keys.
    static const char kPlain[] = "`1234567890-=[]\\;',./";
    static const char kShifted[] = "~!@#$%^&*()_+{}|:\"<>?";
    if (const char* p = std::strchr(kPlain, static_cast<int>(k)); p != nullptr && k != 0)
      return static_cast<unsigned char>(kShifted[p - kPlain]);
    if (k >= 0xE0 && k <= 0xFE && k != 0xF7) return k - 0x20;  // Latin-1 letters
  }
  return k;
}

void cursor_in_window(void* window, int& x, int& y) {
  int gx = 0, gy = 0;
  cursor_on_screen(gx, gy);
  int wx = 0, wy = 0;
  if (window) SDL_GetWindowPosition(win(window), &wx, &wy);
  x = gx - wx;
  y = gy - wy;
}

void cursor_on_screen(int& x, int& y) { cursor_and_buttons_on_screen(x, y); }

void cursor_warp_screen(int x, int y) {
  if (keyboard_available()) SDL_WarpMouseGlobal(x, y);
}

void window_to_screen(void* window, int& x, int& y) {
  int wx = 0, wy = 0;
  if (window) SDL_GetWindowPosition(win(window), &wx, &wy);
  x += wx;
  y += wy;
}

void window_client_size(void* window, int& w, int& h) {
  w = h = 0;
  if (window) SDL_GetWindowSize(win(window), &w, &h);
}

void window_outer_size(void* window, int& w, int& h) {
  w = h = 0;
  if (window == nullptr) return;
  SDL_GetWindowSize(win(window), &w, &h);
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(win(window), &top, &left, &bottom, &right) == 0) {
    w += left + right;
    h += top + bottom;
  }
}

unsigned cursor_and_buttons_on_screen(int& x, int& y) {
  x = y = 0;
  if (!keyboard_available()) return 0;
  unsigned mask = 0;
  if (x11_pointer(x, y, mask)) {
    // Button1Mask, Button3Mask (right), Button2Mask (middle)
    return ((mask & (1u << 8)) ? 1u : 0u) | ((mask & (1u << 10)) ? 2u : 0u) | ((mask & (1u << 9)) ? 4u : 0u);
  }
  return button_bits(SDL_GetGlobalMouseState(&x, &y));
}

void pointer_show(bool shown) {
  if (!keyboard_available()) return;
  if (shown) SDL_SetCursor(SDL_GetDefaultCursor());
  SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool captured_mouse_set_exclusive(void* window, bool exclusive) {
  if (!keyboard_available()) return false;
  const bool ok = SDL_SetRelativeMouseMode(exclusive ? SDL_TRUE : SDL_FALSE) == 0;
  SDL_GetRelativeMouseState(nullptr, nullptr);  // forget the motion so far
  return ok;
}

void captured_mouse_read(int& dx, int& dy, int& wheel, unsigned& buttons) {
  dx = dy = wheel = 0;
  buttons = 0;
  if (!keyboard_available()) return;
  buttons = button_bits(SDL_GetRelativeMouseState(&dx, &dy));
  wheel = g_wheel_steps;
  g_wheel_steps = 0;
}

void captured_mouse_add_wheel(int steps) { g_wheel_steps += steps; }

bool relative_motion_set(bool on) {
  if (!keyboard_available()) return false;
  // SDL warps the cursor only for the window with the keyboard focus: into
  // its middle when the mode starts, back where it was when the mode ends.
  const bool ok = SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE) == 0;
  SDL_GetRelativeMouseState(nullptr, nullptr);  // forget the motion so far
  return ok;
}

void relative_motion_read(int& dx, int& dy) {
  dx = dy = 0;
  if (!keyboard_available()) return;
  SDL_GetRelativeMouseState(&dx, &dy);
}

}  // namespace tmx::platform
