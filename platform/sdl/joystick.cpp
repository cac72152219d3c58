#include "platform/joystick.h"

#include <SDL.h>

#include <atomic>

namespace tmx::platform {

struct JoyDevice {
  SDL_Joystick* joy = nullptr;
};

namespace {
bool g_inited = false;
}

namespace {
// Devices plugged in or pulled out since the last look, counted by a watch
// on SDL's event queue (the watch sees each event as SDL posts it, before
// any pump takes it).
std::atomic<unsigned> g_device_changes{0};
bool g_watching = false;

int SDLCALL watch_devices(void*, SDL_Event* e) {
  if (e->type == SDL_JOYDEVICEADDED || e->type == SDL_JOYDEVICEREMOVED) ++g_device_changes;
  return 0;
}
}  // namespace

bool joystick_system_open() {
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return false;
    g_inited = true;
  }
  if (!g_watching) {
    SDL_AddEventWatch(&watch_devices, nullptr);
    g_watching = true;
  }
  g_device_changes = 0;
  return true;
}

void joystick_system_close() {
  if (g_watching) SDL_DelEventWatch(&watch_devices, nullptr);
  g_watching = false;
  if (g_inited) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  g_inited = false;
}

bool joystick_devices_changed() {
  if (!g_watching) return false;
  // SDL looks for new and lost devices when events are pumped.
  SDL_JoystickUpdate();
  return g_device_changes.exchange(0) != 0;
}

int joystick_device_count() {
  if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return 0;
  int n = SDL_NumJoysticks();
  return n < 0 ? 0 : n;
}

JoyDevice* joystick_open(int device_index) {
  SDL_Joystick* j = SDL_JoystickOpen(device_index);
  if (j == nullptr) return nullptr;
  return new JoyDevice{j};
}

void joystick_close(JoyDevice* dev) {
  if (dev == nullptr) return;
  if (SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_JoystickClose(dev->joy);
  delete dev;
}

std::string joystick_name(JoyDevice* dev) {
  const char* n = dev ? SDL_JoystickName(dev->joy) : nullptr;
  return n ? n : "";
}

int32_t scale_axis(int16_t raw) {
  if (raw <= 0) return raw;
  return static_cast<int32_t>((static_cast<int64_t>(raw) * 32768 + 16383) / 32767);
}

uint32_t hat_to_pov(int hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
  }
  return 0xFFFFFFFFu;
}

bool joystick_read(JoyDevice* dev, JoyReading& out) {
  out = JoyReading{};
  out.pov = 0xFFFFFFFFu;
  if (dev == nullptr || !SDL_WasInit(SDL_INIT_JOYSTICK) || !SDL_JoystickGetAttached(dev->joy)) return false;
  SDL_JoystickUpdate();
  const int axes = SDL_JoystickNumAxes(dev->joy);
  for (int i = 0; i < 6 && i < axes; ++i) out.axes[i] = scale_axis(SDL_JoystickGetAxis(dev->joy, i));
  const int buttons = SDL_JoystickNumButtons(dev->joy);
  for (int i = 0; i < 32 && i < buttons; ++i) out.buttons[i] = SDL_JoystickGetButton(dev->joy, i) ? 128 : 0;
  if (SDL_JoystickNumHats(dev->joy) > 0) out.pov = hat_to_pov(SDL_JoystickGetHat(dev->joy, 0));
  return true;
}

bool joystick_has_force(JoyDevice* dev) {
  return dev != nullptr && SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_JoystickHasRumble(dev->joy);
}

bool joystick_force(JoyDevice* dev, float low, float high, uint32_t ms) {
  if (!joystick_has_force(dev)) return false;
  auto strength = [](float v) -> Uint16 {
    if (!(v > 0)) return 0;
    if (v >= 1) return 0xFFFF;
    return static_cast<Uint16>(v * 65535.0f);
  };
  return SDL_JoystickRumble(dev->joy, strength(low), strength(high), ms) == 0;
}

}  // namespace tmx::platform
