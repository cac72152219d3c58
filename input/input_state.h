// InputState: the program's single input record (keyboard snapshot and
// fallback table, joysticks, mouse records, typed-character queue).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace tmx::platform {
struct JoyDevice;
}

namespace tmx::input {

constexpr int kMaxJoysticks = 10;
constexpr int kMaxQueuedChars = 16;
constexpr size_t kJoyNameMax = 521;

struct MouseRecord {
  int32_t x, y, frame_x, frame_y, wheel;
};

// One reading of a mouse: buttons 0/1, motion since the frame reference and
// the wheel steps since the last update (each cut to 16 bits).
struct MouseReading {
  int16_t left, right, middle, dx, dy, wheel;
};

// One joystick reading.
struct JoyState {
  int32_t x, y, z, rx, ry, rz;
  int32_t sliders[2];
  uint32_t pov[4];
  uint8_t buttons[32];
};

struct InputState {
  bool input_object = false;      // the platform input (joystick/video) is there
  bool keyboard_device = false;   // keys come from the keyboard snapshot
  void* window = nullptr;         // the program's window (a platform window)
  std::array<platform::JoyDevice*, kMaxJoysticks> joysticks{};
  std::array<std::string, kMaxJoysticks> joystick_names{};
  int32_t joystick_count = 0;
  std::array<uint8_t, 256> key_state{};
  std::array<uint16_t, 256> key_fallback{};

  std::vector<MouseRecord> mice;  // room for 4
  int32_t mouse_count = 0;
  int32_t current_mouse = 0;
  bool mouse_device = false;      // the captured (exclusive-mode) mouse
  int32_t mouse_level = 6;        // 5 exclusive, 6 shared
  uint8_t pointer_shown = 0;
  // The hidden pointer without a captured mouse: relative mode while the
  // window has the focus; otherwise the cursor's last desktop position, from
  // which the next read measures the motion.
  bool relative_motion = false;
  bool cursor_reference = false;
  int32_t cursor_reference_x = 0, cursor_reference_y = 0;
  std::vector<uint8_t> chars;     // typed characters, at most 16
};

// The record; exists between create_state and input_shutdown.
InputState* state();
void create_state();
// Set-up with the program's window (a platform window, may be null) and the
// exclusive-mouse setting. Creates the record when needed.
int input_init(void* window, int exclusive_mouse);
void set_window(void* window);
void input_shutdown();

// The key query counter (queries since the last refresh).
int& key_query_counter();
void refresh_keyboard();
// engine_present_frame's snapshot: counter 0, refresh, read_mouse with update.
void frame_snapshot();
// The key state test of the snapshot (no query counting).
int key_state_down(int code);

// Every event of the window's event pump (the mouse wheel is taken here).
void handle_platform_event(const PlatformEvent& event);

// The pointer at start-up (step 24: arrow shown when exclusive_mouse is 0,
// hidden otherwise), after sys_set_screen (re-applied from the pointer-shown
// flag) and blanked until then (step 21).
void start_pointer(int exclusive_mouse);
void restore_pointer();
void blank_pointer();

JoyState read_joystick(int index);

// The mapping form of the key fallback table (virtual-key values, 255 none).
const std::array<uint16_t, 256>& key_fallback_mapping();

MouseReading read_mouse(bool update);
void queue_char(int c);
int take_char();
int take_key_flag();
int any_mouse_button();

// The screen orientation (0..3) and the window's client size used by the
// point mapping (null: gfx_get_orientation and the input window's size).
struct OrientationSource {
  int (*orientation)() = nullptr;
  void (*window_size)(int& w, int& h) = nullptr;
};
OrientationSource& orientation_source();

}  // namespace tmx::input
