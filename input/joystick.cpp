// Joystick commands: axes, buttons, hat, names and the force pulse.
#include <cmath>

#include "input/input_override.h"
#include "input/input_state.h"
#include "platform/joystick.h"
#include "tamblix/input.h"
#include "tamblix/string.h"

namespace tmx::input {

bool override_joy0(JoyState& out);
int current_orientation();

JoyState read_joystick(int index) {
  JoyState js{};
  if (index == 0 && override_joy0(js)) return js;
  // A joystick that is not there or cannot be read is centred: axes 0, no
  // buttons and every hat centred (a zero hat angle would read as "up").
  js = JoyState{};
  for (uint32_t& pov : js.pov) pov = 0xFFFFFFFFu;
  InputState* s = state();
  if (s == nullptr || index < 0 || index >= kMaxJoysticks) return js;
  platform::JoyDevice* dev = s->joysticks[static_cast<size_t>(index)];
  if (dev == nullptr) return js;
  platform::JoyReading r;
  if (!platform::joystick_read(dev, r)) return js;
  js.x = r.axes[0];
  js.y = r.axes[1];
  js.z = r.axes[2];
  js.rx = r.axes[3];
  js.ry = r.axes[4];
  js.rz = r.axes[5];
  for (int i = 0; i < 32; ++i) js.buttons[i] = r.buttons[i];
  js.pov[0] = r.pov;
  js.pov[1] = js.pov[2] = js.pov[3] = 0xFFFFFFFFu;
  return js;
}

namespace {

// Rotates the pair by the screen orientation.
void rotate(int64_t& a, int64_t& b) {
  const int64_t x = a, y = b;
  switch (current_orientation()) {
    case 1: a = -y; b = x; break;
    case 2: a = -x; b = -y; break;
    case 3: a = y; b = -x; break;
    default: break;
  }
}

double normalise(int64_t v) {
  float f = static_cast<float>(v) / 32767.0f;
  f = std::fmin(1.0f, f);
  f = std::fmax(-1.0f, f);
  return static_cast<double>(f);
}

// One axis of a pair after the orientation rotation: the first or the second.
double rotated(int64_t a, int64_t b, bool first) {
  rotate(a, b);
  return normalise(first ? a : b);
}

enum Axis { kX, kY, kZ, kRX, kRY, kRZ };

double axis(int joy, Axis which) {
  JoyState js = read_joystick(joy);
  switch (which) {
    case kX:
    case kY: return rotated(js.x, js.y, which == kX);
    case kRX:
    case kRY: return rotated(js.rx, js.ry, which == kRX);
    case kZ: return normalise(js.z);
    case kRZ: return normalise(js.rz);
  }
  return 0;
}

// Hat angle to directions (-1 left/up, +1 right/down).
void hat_directions(uint32_t pov, int& dx, int& dy) {
  dx = dy = 0;
  switch (pov) {
    case 0: dy = -1; break;
    case 4500: dx = 1; dy = -1; break;
    case 9000: dx = 1; break;
    case 13500: dx = 1; dy = 1; break;
    case 18000: dy = 1; break;
    case 22500: dx = -1; dy = 1; break;
    case 27000: dx = -1; break;
    case 31500: dx = -1; dy = -1; break;
    default: break;
  }
}

}  // namespace

}  // namespace tmx::input

using namespace tmx::input;

double inp_joy_x(int joy) { return axis(joy, kX); }
double inp_joy_y(int joy) { return axis(joy, kY); }
double inp_joy_z(int joy) { return axis(joy, kZ); }
double inp_joy_rx(int joy) { return axis(joy, kRX); }
double inp_joy_ry(int joy) { return axis(joy, kRY); }
double inp_joy_rz(int joy) { return axis(joy, kRZ); }

int inp_joy_button(int joy, int button) {
  if (button < 0 || button > 31) return 0;
  return read_joystick(joy).buttons[button];
}

// Each hat operation passes only its own component through the orientation's
// point mapping (the identity at orientation 0).
// The hat follows the screen orientation like the stick: its direction pair
// turns with the same rotation, so "up" on a turned screen stays up for the
// player. (Passing each component through the screen's point mapping would
// give pixel positions, not directions.)
int inp_joy_digi_x(int joy) {
  int dx, dy;
  hat_directions(read_joystick(joy).pov[0], dx, dy);
  int64_t x = dx, y = dy;
  rotate(x, y);
  return static_cast<int>(x);
}

int inp_joy_digi_y(int joy) {
  int dx, dy;
  hat_directions(read_joystick(joy).pov[0], dx, dy);
  int64_t x = dx, y = dy;
  rotate(x, y);
  return static_cast<int>(y);
}

int inp_joy_count() {
  if (input_override_active()) return input_override_joy_count();
  InputState* s = state();
  return s ? s->joystick_count : 0;
}

BasicString inp_joy_name(int joy) {
  InputState* s = state();
  if (s == nullptr || joy < 0 || joy >= s->joystick_count || joy >= kMaxJoysticks) return BasicString();
  return BasicString(s->joystick_names[static_cast<size_t>(joy)].c_str());
}

void inp_joy_state(int& x, int& y, int& button1, int& button2) {
  JoyState js = read_joystick(0);
  x = js.x / 30000;
  y = js.y / 30000;
  button1 = js.buttons[0];
  button2 = js.buttons[1];
}

void inp_joy_state(double& x, double& y, double& button1, double& button2) {
  int ix, iy, b1, b2;
  inp_joy_state(ix, iy, b1, b2);
  x = ix;
  y = iy;
  button1 = b1;
  button2 = b2;
}

void inp_joy_force(int joy, int duration_ms, double force_x, double force_y) {
  InputState* s = state();
  if (s == nullptr || joy < 0 || joy >= kMaxJoysticks) return;
  tmx::platform::JoyDevice* dev = s->joysticks[static_cast<size_t>(joy)];
  if (dev == nullptr || !tmx::platform::joystick_has_force(dev)) return;
  float x = static_cast<float>(force_x), y = static_cast<float>(force_y);
  x = std::fmax(-1.0f, std::fmin(1.0f, x));
  y = std::fmax(-1.0f, std::fmin(1.0f, y));
  if (std::isnan(x)) x = 0;
  if (std::isnan(y)) y = 0;
  const int magnitude = static_cast<int>((x * x + y * y) * 10000.0f * 0.5f);
  if (duration_ms <= 0 || magnitude <= 0) return;
  // The rumble motors have no direction: both run at the effect's magnitude.
  const float strength = static_cast<float>(magnitude) / 10000.0f;
  tmx::platform::joystick_force(dev, strength, strength, static_cast<uint32_t>(duration_ms));
}
