// Keyboard, joysticks, mouse and typed text.
#pragma once
#include <cstdint>

class BasicString;

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
