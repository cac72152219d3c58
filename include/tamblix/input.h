// Keyboard, joysticks, mouse and typed text.
#pragma once
#include <cstdint>

class BasicString;

// ---- key codes ----
// The codes inp_key, inp_key_char and the input scripts use: set-1 scan codes,
// 128 added for the extended keys (the arrows, the right-hand modifiers, ...).
// Keys are named by their place on a US layout: TMX_KEY_Z is the key left of
// TMX_KEY_X whatever letter the active layout puts there.
enum TamblixKey : int {
  TMX_KEY_ESCAPE = 1,
  TMX_KEY_1 = 2,
  TMX_KEY_2 = 3,
  TMX_KEY_3 = 4,
  TMX_KEY_4 = 5,
  TMX_KEY_5 = 6,
  TMX_KEY_6 = 7,
  TMX_KEY_7 = 8,
  TMX_KEY_8 = 9,
  TMX_KEY_9 = 10,
  TMX_KEY_0 = 11,
  TMX_KEY_MINUS = 12,
  TMX_KEY_EQUALS = 13,
  TMX_KEY_BACKSPACE = 14,
  TMX_KEY_TAB = 15,
  TMX_KEY_Q = 16,
  TMX_KEY_W = 17,
  TMX_KEY_E = 18,
  TMX_KEY_R = 19,
  TMX_KEY_T = 20,
  TMX_KEY_Y = 21,
  TMX_KEY_U = 22,
  TMX_KEY_I = 23,
  TMX_KEY_O = 24,
  TMX_KEY_P = 25,
  TMX_KEY_LEFT_BRACKET = 26,
  TMX_KEY_RIGHT_BRACKET = 27,
  TMX_KEY_RETURN = 28,
  TMX_KEY_LEFT_CTRL = 29,
  TMX_KEY_A = 30,
  TMX_KEY_S = 31,
  TMX_KEY_D = 32,
  TMX_KEY_F = 33,
  TMX_KEY_G = 34,
  TMX_KEY_H = 35,
  TMX_KEY_J = 36,
  TMX_KEY_K = 37,
  TMX_KEY_L = 38,
  TMX_KEY_SEMICOLON = 39,
  TMX_KEY_APOSTROPHE = 40,
  TMX_KEY_GRAVE = 41,
  TMX_KEY_LEFT_SHIFT = 42,
  TMX_KEY_BACKSLASH = 43,
  TMX_KEY_Z = 44,
  TMX_KEY_X = 45,
  TMX_KEY_C = 46,
  TMX_KEY_V = 47,
  TMX_KEY_B = 48,
  TMX_KEY_N = 49,
  TMX_KEY_M = 50,
  TMX_KEY_COMMA = 51,
  TMX_KEY_PERIOD = 52,
  TMX_KEY_SLASH = 53,
  TMX_KEY_RIGHT_SHIFT = 54,
  TMX_KEY_KP_MULTIPLY = 55,
  TMX_KEY_LEFT_ALT = 56,
  TMX_KEY_SPACE = 57,
  TMX_KEY_CAPS_LOCK = 58,
  TMX_KEY_F1 = 59,
  TMX_KEY_F2 = 60,
  TMX_KEY_F3 = 61,
  TMX_KEY_F4 = 62,
  TMX_KEY_F5 = 63,
  TMX_KEY_F6 = 64,
  TMX_KEY_F7 = 65,
  TMX_KEY_F8 = 66,
  TMX_KEY_F9 = 67,
  TMX_KEY_F10 = 68,
  TMX_KEY_NUM_LOCK = 69,
  TMX_KEY_SCROLL_LOCK = 70,
  TMX_KEY_KP_7 = 71,
  TMX_KEY_KP_8 = 72,
  TMX_KEY_KP_9 = 73,
  TMX_KEY_KP_MINUS = 74,
  TMX_KEY_KP_4 = 75,
  TMX_KEY_KP_5 = 76,
  TMX_KEY_KP_6 = 77,
  TMX_KEY_KP_PLUS = 78,
  TMX_KEY_KP_1 = 79,
  TMX_KEY_KP_2 = 80,
  TMX_KEY_KP_3 = 81,
  TMX_KEY_KP_0 = 82,
  TMX_KEY_KP_PERIOD = 83,
  TMX_KEY_F11 = 87,
  TMX_KEY_F12 = 88,
  TMX_KEY_ESCAPE_EXTENDED = 129,
  TMX_KEY_KP_ENTER = 156,
  TMX_KEY_RIGHT_CTRL = 157,
  TMX_KEY_KP_DIVIDE = 181,
  TMX_KEY_PRINT_SCREEN = 183,
  TMX_KEY_RIGHT_ALT = 184,
  TMX_KEY_PAUSE = 197,
  TMX_KEY_HOME = 199,
  TMX_KEY_UP = 200,
  TMX_KEY_PAGE_UP = 201,
  TMX_KEY_LEFT = 203,
  TMX_KEY_RIGHT = 205,
  TMX_KEY_END = 207,
  TMX_KEY_DOWN = 208,
  TMX_KEY_PAGE_DOWN = 209,
  TMX_KEY_INSERT = 210,
  TMX_KEY_DELETE = 211,
  TMX_KEY_LEFT_SYSTEM = 219,
  TMX_KEY_RIGHT_SYSTEM = 220,
  TMX_KEY_APPS = 221,
};

// ---- commands the game relies on (names and signatures are fixed) ----

// 1 when the key (set-1 scan code, +128 for extended keys) was down in the
// snapshot taken by the last sys_show_screen.
int inp_key(int code);
int inp_joy_count();
double inp_joy_x(int joy);
double inp_joy_y(int joy);
int inp_joy_button(int joy, int button);
int inp_joy_digi_x(int joy);
int inp_joy_digi_y(int joy);

// ---- further keyboard and joystick commands ----

// Axes -1..1: Z and RZ as read; RX and RY rotated with the screen orientation.
double inp_joy_z(int joy);
double inp_joy_rx(int joy);
double inp_joy_ry(int joy);
double inp_joy_rz(int joy);
// The joystick's name; empty for an index outside 0..count-1.
BasicString inp_joy_name(int joy);
// Joystick 0: x / 30000 and y / 30000 (truncated), buttons 0 and 1 as read.
void inp_joy_state(int& x, int& y, int& button1, int& button2);
void inp_joy_state(double& x, double& y, double& button1, double& button2);
// A force pulse of `duration_ms` in the direction (x, y), each -1..1, on
// devices that can give one.
void inp_joy_force(int joy, int duration_ms, double force_x, double force_y);

// ---- mouse ----

// 0 dx, 1 dy (motion since the last frame), 2 wheel steps, 3 left, 4 right,
// 5 middle button; any other axis 0.
int inp_mouse_axis(int axis);
// Position in screen coordinates and the two buttons; the position becomes
// the new frame reference.
void inp_mouse_state(int& x, int& y, int& left, int& right);
void inp_mouse_state(double& x, double& y, double& left, double& right);
// Sets the engine's mouse position (the system cursor does not move).
void inp_set_mouse(int x, int y);
// Nonzero shows the system pointer, 0 hides it (the mouse then moves relatively).
void inp_system_pointer(double flag);
int inp_mouse_count();
void inp_select_mouse(int mouse);

// ---- typed text ----

// The next typed character as a one-character string, or "".
BasicString inp_inkey();
// The character the key gives with the current layout and shift state, or 0;
// characters 128..255 come back negative.
int inp_key_char(int code);
// Lets the user edit the text on screen at (x, y) until Enter; the number
// variants convert the typed text.
void inp_input(BasicString& text, int x, int y, int kerning);
void inp_input(int32_t& value, int x, int y, int kerning);
void inp_input(double& value, int x, int y, int kerning);
