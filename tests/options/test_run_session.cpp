// Recording and replaying joystick 0: what a program reads during a replay
// equals what it read while the run was recorded, for every screen
// orientation.
#include <gtest/gtest.h>

#include <string>

#include "input/input_override.h"
#include "input/input_state.h"
#include "core/run_options.h"
#include "engine/run_session.h"
#include "tamblix/input.h"

using namespace tmx::input;

namespace {

struct Seen {
  double x, y;
  int digi_x, digi_y;
  int buttons[32];
  bool operator==(const Seen&) const = default;
};

// What a program reads from joystick 0 while the device layer holds reading.
Seen seen_with(const JoyState& reading) {
  input_override_set_joy0(reading);
  Seen s{};
  s.x = inp_joy_x(0);
  s.y = inp_joy_y(0);
  s.digi_x = inp_joy_digi_x(0);
  s.digi_y = inp_joy_digi_y(0);
  for (int b = 0; b < 32; ++b) s.buttons[b] = inp_joy_button(0, b);
  return s;
}

int g_orientation = 0;

class JoystickReplay : public ::testing::Test {
 protected:
  void SetUp() override {
    orientation_source().orientation = [] { return g_orientation; };
    orientation_source().window_size = [](int& w, int& h) {
      w = 640;
      h = 480;
    };
    input_override_begin();
    input_override_set_joy_count(1);
  }
  void TearDown() override {
    input_override_end();
    orientation_source() = OrientationSource{};
    g_orientation = 0;
  }
};

TEST_F(JoystickReplay, ReplayedReadingLooksLikeTheRecordedOne) {
  struct Reading {
    int32_t x, y;
    uint32_t pov;
    uint32_t buttons;
  };
  const Reading readings[] = {
      {0, 0, 0xFFFFFFFFu, 0},         {32767, -16384, 0, 1u},
      {-32768, 32767, 4500, 1u << 31}, {12345, -1, 9000, 0x5u},
      {-20000, 7, 13500, 0},          {1, 32767, 18000, 0xFFFFFFFFu},
      {-32767, -32768, 22500, 2u},    {100, 200, 27000, 0},
      {-5, 5, 31500, 1u << 7},        {300, -300, 4501, 0},  // off the eight directions
  };
  for (int orientation = 0; orientation < 4; ++orientation) {
    g_orientation = orientation;
    for (const Reading& r : readings) {
      JoyState live{};
      live.x = r.x;
      live.y = r.y;
      live.pov[0] = r.pov;
      live.pov[1] = live.pov[2] = live.pov[3] = 0xFFFFFFFFu;
      for (int b = 0; b < 32; ++b) live.buttons[b] = (r.buttons >> b) & 1u ? 0x80 : 0;
      const Seen recorded = seen_with(live);

      // Through the recording's text and back, as a replay reads it.
      InputScriptRecorder rec(1);
      uint8_t keys[256] = {};
      const JoyFrame frame = engine_run_session_joy_frame(read_joystick(0));
      rec.frame(1, keys, &frame);
      InputScript back;
      std::string err;
      const std::string text = input_script_format(rec.script());
      ASSERT_TRUE(input_script_parse(text, back, err)) << err << "\n" << text;
      ASSERT_EQ(back.joy_lines.size(), 1u);

      const Seen replayed = seen_with(engine_run_session_joy_state(back.joy_lines[0].joy));
      EXPECT_TRUE(replayed == recorded)
          << "orientation " << orientation << ", reading " << r.x << " " << r.y << " " << r.pov
          << ": x " << replayed.x << " / " << recorded.x << ", y " << replayed.y << " / "
          << recorded.y << ", hat " << replayed.digi_x << "," << replayed.digi_y << " / "
          << recorded.digi_x << "," << recorded.digi_y;
    }
  }
}

}  // namespace
