// Joysticks through SDL's virtual joysticks: count and names, axes and their
// scaling, buttons, the hat table, orientation, the force pulse, a device that
// goes away, and the replay override.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "input/input_override.h"
#include "input/input_state.h"
#include "platform/joystick.h"
#include "tamblix/input.h"
#include "tamblix/string.h"

using namespace tmx::input;

namespace {

int g_rumble_calls;
Uint16 g_rumble_low, g_rumble_high;

int SDLCALL rumble(void*, Uint16 low, Uint16 high) {
  ++g_rumble_calls;
  g_rumble_low = low;
  g_rumble_high = high;
  return 0;
}

class Joysticks : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    first_ = attach("Stick One", true);
    attach("Pad Two", false);
    create_state();
    input_init(nullptr, 0);
    ASSERT_EQ(inp_joy_count(), 2);
    joy_ = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(first_));
    ASSERT_NE(joy_, nullptr);
  }
  void TearDown() override {
    input_override_end();
    orientation_source() = OrientationSource{};
    input_shutdown();
    SDL_Quit();
  }

  int attach(const char* name, bool can_rumble) {
    SDL_VirtualJoystickDesc d{};
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    d.naxes = 6;
    d.nbuttons = 32;
    d.nhats = 1;
    d.name = name;
    if (can_rumble) d.Rumble = &rumble;
    int index = SDL_JoystickAttachVirtualEx(&d);
    EXPECT_GE(index, 0) << SDL_GetError();
    return index;
  }
  void axis(int a, Sint16 v) { SDL_JoystickSetVirtualAxis(joy_, a, v); }

  int first_ = -1;
  SDL_Joystick* joy_ = nullptr;
};

TEST_F(Joysticks, NamesAndCount) {
  EXPECT_EQ(std::string(inp_joy_name(0).c_str()), "Stick One, Stick One");
  EXPECT_EQ(std::string(inp_joy_name(1).c_str()), "Pad Two, Pad Two");
  EXPECT_EQ(std::string(inp_joy_name(2).c_str()), "");   // index == count
  EXPECT_EQ(std::string(inp_joy_name(-1).c_str()), "");
}

TEST_F(Joysticks, AxesAreScaledAndClamped) {
  struct Case {
    Sint16 raw;
    double expected;
  } cases[] = {
      {0, 0.0},
      {-32768, -1.0},
      {32767, 1.0},
      {16384, static_cast<double>(static_cast<float>(tmx::platform::scale_axis(16384)) / 32767.0f)},
      {-16384, static_cast<double>(-16384.0f / 32767.0f)},
  };
  for (const Case& c : cases) {
    for (int a = 0; a < 6; ++a) axis(a, c.raw);
    EXPECT_DOUBLE_EQ(inp_joy_x(0), c.expected) << c.raw;
    EXPECT_DOUBLE_EQ(inp_joy_y(0), c.expected) << c.raw;
    EXPECT_DOUBLE_EQ(inp_joy_z(0), c.expected) << c.raw;
    EXPECT_DOUBLE_EQ(inp_joy_rx(0), c.expected) << c.raw;
    EXPECT_DOUBLE_EQ(inp_joy_ry(0), c.expected) << c.raw;
    EXPECT_DOUBLE_EQ(inp_joy_rz(0), c.expected) << c.raw;
  }
  EXPECT_EQ(tmx::platform::scale_axis(-32768), -32768);
  EXPECT_EQ(tmx::platform::scale_axis(32767), 32768);
  EXPECT_EQ(inp_joy_x(7), 0.0);  // no such joystick
}

TEST_F(Joysticks, OrientationRotatesXYAndTheRotationPair) {
  axis(0, 32767);   // x
  axis(1, -16384);  // y
  axis(3, 32767);   // rx
  axis(4, 0);       // ry
  orientation_source().orientation = [] { return 1; };
  EXPECT_NEAR(inp_joy_x(0), 16384.0 / 32767, 1e-6);  // -y
  EXPECT_DOUBLE_EQ(inp_joy_y(0), 1.0);                 // x
  EXPECT_DOUBLE_EQ(inp_joy_ry(0), 1.0);
  orientation_source().orientation = [] { return 2; };
  EXPECT_DOUBLE_EQ(inp_joy_x(0), -1.0);
  EXPECT_NEAR(inp_joy_y(0), 16384.0 / 32767, 1e-6);  // -y
  EXPECT_DOUBLE_EQ(inp_joy_rx(0), -1.0);
  orientation_source().orientation = [] { return 3; };
  EXPECT_NEAR(inp_joy_x(0), -16384.0 / 32767, 1e-6);  // y
  EXPECT_DOUBLE_EQ(inp_joy_y(0), -1.0);
  EXPECT_DOUBLE_EQ(inp_joy_rx(0), 0.0);   // ry
  EXPECT_DOUBLE_EQ(inp_joy_ry(0), -1.0);  // -rx
  // Z and RZ are never rotated.
  axis(2, 32767);
  axis(5, -32768);
  EXPECT_DOUBLE_EQ(inp_joy_z(0), 1.0);
  EXPECT_DOUBLE_EQ(inp_joy_rz(0), -1.0);
}

// On a turned screen the hat turns with the stick: its directions stay -1, 0
// or +1 and follow the same rotation as the X/Y pair.
TEST_F(Joysticks, OrientationTurnsTheHatLikeTheStick) {
  SDL_JoystickSetVirtualHat(joy_, 0, SDL_HAT_RIGHTUP);  // (+1, -1)
  struct Case { int orientation, x, y; };
  const Case cases[] = {{0, 1, -1}, {1, 1, 1}, {2, -1, 1}, {3, -1, -1}};
  for (const Case& c : cases) {
    static int current;
    current = c.orientation;
    orientation_source().orientation = [] { return current; };
    EXPECT_EQ(inp_joy_digi_x(0), c.x) << c.orientation;
    EXPECT_EQ(inp_joy_digi_y(0), c.y) << c.orientation;
  }
}

TEST_F(Joysticks, ButtonsAndJoyState) {
  SDL_JoystickSetVirtualButton(joy_, 0, 1);
  SDL_JoystickSetVirtualButton(joy_, 31, 1);
  axis(0, 30000);
  axis(1, -32768);
  EXPECT_EQ(inp_joy_button(0, 0), 128);
  EXPECT_EQ(inp_joy_button(0, 1), 0);
  EXPECT_EQ(inp_joy_button(0, 31), 128);
  EXPECT_EQ(inp_joy_button(0, 32), 0);
  EXPECT_EQ(inp_joy_button(0, -1), 0);
  int x, y, b1, b2;
  inp_joy_state(x, y, b1, b2);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, -1);
  EXPECT_EQ(b1, 128);
  EXPECT_EQ(b2, 0);
  double dx, dy, db1, db2;
  inp_joy_state(dx, dy, db1, db2);
  EXPECT_EQ(dx, 1.0);
  EXPECT_EQ(db1, 128.0);
}

TEST_F(Joysticks, HatTable) {
  struct Case {
    Uint8 hat;
    int x, y;
  } cases[] = {
      {SDL_HAT_CENTERED, 0, 0}, {SDL_HAT_UP, 0, -1},    {SDL_HAT_RIGHTUP, 1, -1},  {SDL_HAT_RIGHT, 1, 0},
      {SDL_HAT_RIGHTDOWN, 1, 1}, {SDL_HAT_DOWN, 0, 1},  {SDL_HAT_LEFTDOWN, -1, 1}, {SDL_HAT_LEFT, -1, 0},
      {SDL_HAT_LEFTUP, -1, -1},
  };
  for (const Case& c : cases) {
    SDL_JoystickSetVirtualHat(joy_, 0, c.hat);
    EXPECT_EQ(inp_joy_digi_x(0), c.x) << int(c.hat);
    EXPECT_EQ(inp_joy_digi_y(0), c.y) << int(c.hat);
  }
  // Angles off the eight directions give no direction.
  input_override_begin();
  input_override_set_joy_count(1);
  JoyState js{};
  js.pov[0] = 4501;
  input_override_set_joy0(js);
  EXPECT_EQ(inp_joy_digi_x(0), 0);
  EXPECT_EQ(inp_joy_digi_y(0), 0);
}

TEST_F(Joysticks, ForcePulseOnDevicesThatRumble) {
  g_rumble_calls = 0;
  inp_joy_force(0, 200, 1.0, 0.0);  // magnitude (1 + 0) * 10000 / 2
  EXPECT_EQ(g_rumble_calls, 1);
  EXPECT_NEAR(g_rumble_low, 32767, 2);
  EXPECT_EQ(g_rumble_low, g_rumble_high);
  inp_joy_force(0, 200, 5.0, -5.0);  // clamped to (1, -1): full
  EXPECT_EQ(g_rumble_low, 65535);
  g_rumble_calls = 0;
  inp_joy_force(1, 200, 1.0, 1.0);  // no rumble there
  inp_joy_force(9, 200, 1.0, 1.0);  // no device
  inp_joy_force(-3, 200, 1.0, 1.0);
  EXPECT_EQ(g_rumble_calls, 0);
}

TEST_F(Joysticks, ADeviceThatIsGoneReadsCentred) {
  axis(0, 32767);
  SDL_JoystickSetVirtualButton(joy_, 2, 1);
  SDL_JoystickSetVirtualHat(joy_, 0, SDL_HAT_DOWN);
  SDL_JoystickDetachVirtual(first_);
  // Before the next frame the lost device reads centred, never as a held hat.
  EXPECT_EQ(inp_joy_x(0), 0.0);
  EXPECT_EQ(inp_joy_button(0, 2), 0);
  EXPECT_EQ(inp_joy_digi_x(0), 0);
  EXPECT_EQ(inp_joy_digi_y(0), 0);
  // Joysticks that were never there read centred too.
  EXPECT_EQ(inp_joy_digi_y(7), 0);
  EXPECT_EQ(inp_joy_digi_x(7), 0);
}

TEST_F(Joysticks, UnplugAndPlugInDuringTheProgram) {
  SDL_JoystickDetachVirtual(first_);
  frame_snapshot();
  ASSERT_EQ(inp_joy_count(), 1);
  EXPECT_STREQ(inp_joy_name(0).c_str(), "Pad Two, Pad Two");
  EXPECT_EQ(inp_joy_digi_y(0), 0);

  // A pad plugged in during the game works without a restart.
  const int third = attach("Pad Three", false);
  frame_snapshot();
  ASSERT_EQ(inp_joy_count(), 2);
  EXPECT_STREQ(inp_joy_name(1).c_str(), "Pad Three, Pad Three");
  SDL_Joystick* j = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(third));
  ASSERT_NE(j, nullptr);
  SDL_JoystickSetVirtualButton(j, 4, 1);
  SDL_JoystickUpdate();
  EXPECT_EQ(inp_joy_button(1, 4), 128);
  // Without a change the list stays as it is.
  frame_snapshot();
  EXPECT_EQ(inp_joy_count(), 2);
}

TEST_F(Joysticks, OverrideReplacesKeysAndJoystickZero) {
  axis(0, -32768);
  input_override_begin();
  EXPECT_EQ(inp_joy_count(), 0);
  EXPECT_EQ(inp_joy_x(0), 0.0);
  EXPECT_EQ(inp_joy_digi_y(0), 0);  // centred
  uint8_t keys[256] = {};
  keys[17] = 1;
  keys[200] = 0x80;
  input_override_set_keys(keys);
  JoyState js{};
  js.x = 32768;
  js.buttons[1] = 128;
  js.pov[0] = 27000;
  input_override_set_joy0(js);
  input_override_set_joy_count(1);
  EXPECT_EQ(inp_key(17), 1);
  EXPECT_EQ(inp_key(200), 1);
  EXPECT_EQ(inp_key(30), 0);
  EXPECT_EQ(key_state_down(17), 1);
  EXPECT_EQ(inp_joy_count(), 1);
  EXPECT_EQ(inp_joy_x(0), 1.0);
  EXPECT_EQ(inp_joy_button(0, 1), 128);
  EXPECT_EQ(inp_joy_digi_x(0), -1);
  input_override_end();
  EXPECT_EQ(inp_key(17), 0);
  EXPECT_EQ(inp_joy_count(), 2);
  EXPECT_EQ(inp_joy_x(0), -1.0);
}

}  // namespace
