#include "input/input_state.h"


#include <memory>

#include "input/input_override.h"
#include "input/pointer.h"
#include "platform/keyboard_mouse.h"
#include "platform/joystick.h"
#include "tamblix/errors.h"
#include "tamblix/input.h"

namespace tmx::input {

namespace {

std::unique_ptr<InputState> g_state;
int g_key_queries = 0;

struct Override {
  bool active = false;
  std::array<uint8_t, 256> keys{};
  JoyState joy0{};
  int joy_count = 0;
};
Override g_override;

std::array<uint16_t, 256> build_fallback_mapping() {
  std::array<uint16_t, 256> t;
  t.fill(255);
  auto set = [&t](int from, std::initializer_list<int> values) {
    for (int v : values) t[static_cast<size_t>(from++)] = static_cast<uint16_t>(v);
  };
  set(0, {13, 27, 49, 50, 51, 52, 53, 54, 55, 56, 57, 48, 219, 221, 8, 9});
  set(16, {81, 87, 69, 82, 84, 90, 85, 73, 79, 80, 186, 187, 13, 17});
  set(30, {65, 83, 68, 70, 71, 72, 74, 75, 76, 192, 222, 220, 16, 191});
  set(44, {89, 88, 67, 86, 66, 78, 77, 188, 190, 189, 16, 106, 18, 32, 0});
  set(59, {112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 144, 145});
  set(71, {103, 104, 105, 109, 100, 101, 102, 107, 97, 98, 99, 96, 110});
  set(86, {226, 122, 123});
  set(156, {28, 17});
  set(181, {111});
  set(184, {18});
  set(199, {36, 38, 33});
  set(203, {37});
  set(205, {39});
  set(207, {35, 40, 34, 45, 46});
  set(219, {91, 92, 93});
  return t;
}

}  // namespace

const std::array<uint16_t, 256>& key_fallback_mapping() {
  static const std::array<uint16_t, 256> t = build_fallback_mapping();
  return t;
}

InputState* state() { return g_state.get(); }

void create_state() {
  if (!g_state) g_state = std::make_unique<InputState>();
}

int& key_query_counter() { return g_key_queries; }

void set_window(void* window) {
  if (g_state) g_state->window = window;
  platform::pointer_window(window);
}

// Mouse set-up and teardown live with the mouse code.
void mouse_startup(InputState& s, bool exclusive);
void mouse_shutdown(InputState& s);

// Opens every attached joystick (at most ten) in the order the platform
// lists them, closing what was open before.
void enumerate_joysticks(InputState& s) {
  s.joystick_count = 0;
  for (auto& j : s.joysticks) {  // a second set-up starts afresh
    platform::joystick_close(j);
    j = nullptr;
  }
  for (auto& n : s.joystick_names) n.clear();
  if (s.input_object) {
    const int devices = platform::joystick_device_count();
    for (int d = 0; d < devices && s.joystick_count < kMaxJoysticks; ++d) {
      platform::JoyDevice* dev = platform::joystick_open(d);
      if (dev == nullptr) continue;
      std::string name = platform::joystick_name(dev);
      // The device's instance name, then its product name.
      name = name + ", " + name;
      if (name.size() > kJoyNameMax) name.resize(kJoyNameMax);
      s.joysticks[static_cast<size_t>(s.joystick_count)] = dev;
      s.joystick_names[static_cast<size_t>(s.joystick_count)] = name;
      ++s.joystick_count;
    }
  }
}

int input_init(void* window, int exclusive_mouse) {
  create_state();
  InputState& s = *g_state;
  s.current_mouse = 0;
  s.input_object = platform::joystick_system_open();
  if (!s.input_object) log_append("No DX_Input\n");
  s.window = window;
  platform::pointer_window(window);
  s.key_state.fill(0);
  s.keyboard_device = s.input_object && platform::keyboard_available();
  if (s.keyboard_device) {
    for (int i = 0; i < 256; ++i) s.key_fallback[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
  } else {
    s.key_fallback = key_fallback_mapping();
  }
  mouse_startup(s, exclusive_mouse != 0);

  enumerate_joysticks(s);
  return 1;
}

void input_shutdown() {
  if (!g_state) return;
  InputState& s = *g_state;
  mouse_shutdown(s);
  for (auto& j : s.joysticks) {
    platform::joystick_close(j);
    j = nullptr;
  }
  if (s.input_object) platform::joystick_system_close();
  platform::pointer_window(nullptr);
  g_state.reset();
}

void refresh_keyboard() {
  InputState* s = g_state.get();
  if (s == nullptr || !platform::window_is_active(s->window)) return;
  platform::input_pump();
  platform::keyboard_snapshot(s->key_state.data());
}

int key_state_down(int code) {
  code &= 255;
  if (g_override.active) return g_override.keys[static_cast<size_t>(code)] ? 1 : 0;
  InputState* s = g_state.get();
  if (s == nullptr) return 0;
  if (s->keyboard_device) return (s->key_state[static_cast<size_t>(code)] & 0x80) ? 1 : 0;
  return platform::key_down_by_virtual_key(s->key_fallback[static_cast<size_t>(code)]) ? 1 : 0;
}

void frame_snapshot() {
  g_key_queries = 0;
  // A pad plugged in or pulled out during the program: the list is made
  // anew, so a new pad works at once and a lost one no longer counts.
  if (InputState* s = g_state.get(); s && s->input_object && platform::joystick_devices_changed())
    enumerate_joysticks(*s);
  refresh_keyboard();
  if (InputState* s = g_state.get()) {
    for (int i = 0; i < s->mouse_count; ++i) read_mouse(true);
  }
}

void handle_platform_event(const PlatformEvent& event) {
  if (event.kind == PlatformEventKind::wheel) platform::captured_mouse_add_wheel(event.wheel_y);
}

// ---------------------------------------------------------------- override --

void input_override_begin() {
  g_override.active = true;
  g_override.keys.fill(0);
  g_override.joy0 = JoyState{};
  g_override.joy_count = 0;
  g_override.joy0.pov[0] = g_override.joy0.pov[1] = g_override.joy0.pov[2] = g_override.joy0.pov[3] = 0xFFFFFFFFu;
}
void input_override_end() { g_override.active = false; }
bool input_override_active() { return g_override.active; }
void input_override_set_keys(const uint8_t down[256]) {
  for (int i = 0; i < 256; ++i) g_override.keys[static_cast<size_t>(i)] = down[i] ? 1 : 0;
}
void input_override_set_joy0(const JoyState& st) { g_override.joy0 = st; }
void input_override_set_joy_count(int count) { g_override.joy_count = count < 0 ? 0 : count; }
int input_override_joy_count() { return g_override.joy_count; }

bool override_joy0(JoyState& out) {
  if (!g_override.active) return false;
  out = g_override.joy0;
  return true;
}

// ------------------------------------------------------------------ pointer --

bool pointer_shown() { return g_state && g_state->pointer_shown != 0; }

}  // namespace tmx::input

using namespace tmx::input;

int inp_key(int code) {
  int n = key_query_counter() + 1;
  if (n > 128) {
    key_query_counter() = 0;
    refresh_keyboard();
  } else {
    key_query_counter() = n;
  }
  return key_state_down(code);
}
