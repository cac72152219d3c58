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
