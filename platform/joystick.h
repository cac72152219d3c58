// Game controllers through SDL's joystick API.
#pragma once
#include <cstdint>
#include <string>

namespace tmx::platform {

struct JoyDevice;

// Initialises SDL's joystick subsystem when needed; false when it cannot.
bool joystick_system_open();
void joystick_system_close();
// True when a device was plugged in or pulled out since the last call (or
// since joystick_system_open).
bool joystick_devices_changed();
// Devices attached now, in the order SDL lists them.
int joystick_device_count();
JoyDevice* joystick_open(int device_index);
void joystick_close(JoyDevice* dev);
std::string joystick_name(JoyDevice* dev);

// One reading: six axes (X, Y, Z, RX, RY, RZ) in -32768..32768 centred on 0,
// 32 button bytes (128 pressed) and the first hat in hundredths of a degree
// clockwise from up (0xFFFFFFFF centred). False when the device is gone.
struct JoyReading {
  int32_t axes[6];
  uint8_t buttons[32];
  uint32_t pov;
};
bool joystick_read(JoyDevice* dev, JoyReading& out);

// Hat bits (SDL_HAT_*) to the hat angle.
uint32_t hat_to_pov(int hat_bits);
// A raw axis value (-32768..32767) to -32768..32768.
int32_t scale_axis(int16_t raw);

// Whether the device can rumble; then a pulse of the given strength
// (0..1 on each motor) for `ms` milliseconds.
bool joystick_has_force(JoyDevice* dev);
bool joystick_force(JoyDevice* dev, float low, float high, uint32_t ms);

}  // namespace tmx::platform
