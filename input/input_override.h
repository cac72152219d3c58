// Replacing the keyboard snapshot and joystick 0 with given values (for
// recording and replaying runs). While an override is active, inp_key and the
// key state test report the given keys, and every joystick operation on
// joystick 0 reports the given reading; the devices are ignored.
#pragma once
#include <cstdint>

#include "input/input_state.h"

namespace tmx::input {

void input_override_begin();
void input_override_end();
bool input_override_active();
// down[code] nonzero: the key is down (codes 0..255).
void input_override_set_keys(const uint8_t down[256]);
// The reading joystick 0 reports (centred and released after begin).
void input_override_set_joy0(const JoyState& state);
// The joystick count reported while the override is active (0 after begin).
void input_override_set_joy_count(int count);
int input_override_joy_count();

}  // namespace tmx::input
