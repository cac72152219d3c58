// Controls, the hero's movement in states 1..4 and the hero's drawing.
#include "game_fixture.h"

namespace game_test {
namespace {

struct ControlCase {
  const char* name;
  Input in;
  double up, down, left, right;
  bool action;
};

Input joy(double x, double y, int hat_x, int hat_y, uint32_t buttons) {
  Input in;
  in.joy_count = 1;
  in.joy_x = x;
  in.joy_y = y;
  in.digi_x = hat_x;
  in.digi_y = hat_y;
  in.buttons = buttons;
  return in;
}

Input no_joystick_but_values() {
  Input in = joy(1, -1, 1, -1, 7);
  in.joy_count = 0;  // the values are there, but no joystick is attached
  return in;
}

class Controls : public GameTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(Controls, MapKeysAndJoystickToTheFiveControls) {
  const ControlCase& c = GetParam();
  step(c.in);
  EXPECT_EQ(g.key_up, c.up);
  EXPECT_EQ(g.key_down, c.down);
  EXPECT_EQ(g.key_left, c.left);
  EXPECT_EQ(g.key_right, c.right);
  EXPECT_EQ(g.action_hold, c.action ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Controls,
    ::testing::Values(ControlCase{"none", Input(), 0, 0, 0, 0, false},
                      ControlCase{"up", keys({kUp}), 1, 0, 0, 0, true},
                      ControlCase{"w", keys({kW}), 1, 0, 0, 0, true},
                      ControlCase{"down", keys({kDown}), 0, 1, 0, 0, false},
                      ControlCase{"x", keys({kX}), 0, 1, 0, 0, false},
                      ControlCase{"s", keys({kS}), 0, 1, 0, 0, false},
                      ControlCase{"left", keys({kLeft}), 0, 0, 1, 0, false},
                      ControlCase{"a", keys({kA}), 0, 0, 1, 0, false},
                      ControlCase{"right", keys({kRight}), 0, 0, 0, 1, false},
                      ControlCase{"d", keys({kD}), 0, 0, 0, 1, false},
                      ControlCase{"space", keys({kSpace}), 0, 0, 0, 0, true},
                      ControlCase{"left_of_x", keys({kZ}), 0, 0, 0, 0, true},
                      ControlCase{"stick_up", joy(0, -0.95, 0, 0, 0), 1, 0, 0, 0, true},
                      ControlCase{"stick_barely", joy(-0.9, 0.9, 0, 0, 0), 0, 0, 0, 0, false},
                      ControlCase{"stick_down_left", joy(-0.95, 0.95, 0, 0, 0), 0, 1, 1, 0, false},
                      ControlCase{"hat_up", joy(0, 0, 0, -1, 0), 1, 0, 0, 0, true},
                      ControlCase{"hat_down_right", joy(0, 0, 1, 1, 0), 0, 1, 0, 1, false},
                      ControlCase{"button_2", joy(0, 0, 0, 0, 1u << 2), 0, 0, 0, 0, true},
                      ControlCase{"button_3_is_not_action", joy(0, 0, 0, 0, 1u << 3), 0, 0, 0, 0, false},
                      ControlCase{"no_joystick", no_joystick_but_values(), 0, 0, 0, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GameTest, ActionHoldCountsThePressAndHoldingDoesNotRepeatAJump) {
  start_run();
  g.hero_x = 200;
  std::vector<double> holds;
  std::vector<double> states;
  for (const Input& in : {keys({kUp}), keys({kUp}), keys({kUp}), Input(), keys({kW})}) {
    step(in);
    holds.push_back(g.action_hold);
    states.push_back(g.game_state);
  }
  EXPECT_EQ(holds, (std::vector<double>{1, 2, 2, 0, 1}));
  EXPECT_EQ(states[0], 3);  // Up jumps
  // Still in the air at the release; the new press (W) in the air does nothing.
  EXPECT_NE(states[4], 1);
  // The jump was not started again: four frames of rising from -20.
  EXPECT_EQ(states[4], 3);
  EXPECT_EQ(g.hero_vy, -12);
  EXPECT_EQ(g.hero_y, 120 - 18 - 16 - 14 - 12);
  EXPECT_EQ(cmd_double::calls_of(shown(), Op::SndPlay).size(), 0u);  // no jump sound
}

TEST_F(GameTest, WalkingAcceleratesToTwelveAndStopsInFourFrames) {
  start_run();
  std::vector<double> speeds;
  for (int i = 0; i < 13; ++i) {
    step({kRight});
    speeds.push_back(g.hero_vx);
  }
  EXPECT_EQ(speeds, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 12}));
  std::vector<double> stopping;
  for (int i = 0; i < 5; ++i) {
    step();
    stopping.push_back(g.hero_vx);
  }
  EXPECT_EQ(stopping, (std::vector<double>{9, 6, 3, 0, 0}));
  EXPECT_EQ(g.anim_frame, 0);
}

TEST_F(GameTest, ReversingFromTopSpeedGivesEightAndTheTurnFrame) {
  start_run();
  g.hero_x = 300;
  steps(14, keys({kRight}));
  ASSERT_EQ(g.hero_vx, 12);
  const double x = g.hero_x;
  step({kLeft});
  EXPECT_EQ(g.hero_vx, 8);
  EXPECT_EQ(g.hero_x, x + 8);
  EXPECT_EQ(g.hero_facing, 0);
  EXPECT_EQ(g.anim_frame, 9);  // the turn frame, drawn as 0 * 12 + 9
  const auto anims = cmd_double::calls_of(shown(), Op::DrawAnim);
  ASSERT_EQ(anims.size(), 1u);
  EXPECT_EQ(anims[0].a[1], 9);
  step({kLeft});
  EXPECT_EQ(g.hero_vx, 4);
}

TEST_F(GameTest, BothDirectionsBrakeAndShowFrameNine) {
  start_run();
  g.hero_x = 300;
  steps(6, keys({kRight}));
  step({kLeft, kRight});
  EXPECT_EQ(g.hero_vx, 3);
  const auto anims = cmd_double::calls_of(shown(), Op::DrawAnim);
  ASSERT_EQ(anims.size(), 1u);
  EXPECT_EQ(anims[0].a[1], 21);  // facing right: 12 + 9
}

TEST_F(GameTest, WalkFramesCycleEverySecondFrameWithFootsteps) {
  start_run();
  std::vector<double> frames;
  std::vector<std::vector<double>> sounds;
  for (int i = 0; i < 16; ++i) {
    step({kRight});
    frames.push_back(g.anim_frame);
    sounds.push_back(sounds_shown());
  }
  EXPECT_EQ(frames, (std::vector<double>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 1, 1}));
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(i);
    if (frames[i] == 3) {
      ASSERT_EQ(sounds[i].size(), 1u);
      EXPECT_GE(sounds[i][0], 13);
      EXPECT_LE(sounds[i][0], 15);
    } else if (frames[i] == 7) {
      ASSERT_EQ(sounds[i].size(), 1u);
      EXPECT_GE(sounds[i][0], 16);
      EXPECT_LE(sounds[i][0], 18);
    } else {
      EXPECT_TRUE(sounds[i].empty());
    }
  }
}

TEST_F(GameTest, DuckingAtSpeedKeepsTheHeroInPlace) {
  start_run();
  steps(12, keys({kRight}));
  ASSERT_EQ(g.hero_vx, 12);
  step({kRight, kDown});  // the duck starts; this frame still travels
  EXPECT_EQ(g.game_state, 2);
  EXPECT_EQ(sounds_shown(), (std::vector<double>{7}));
  const double x = g.hero_x;
  step({kRight, kDown});
  step({kRight, kDown});
  EXPECT_EQ(g.hero_x, x);
  EXPECT_EQ(g.hero_vx, 10);
  const auto anims = cmd_double::calls_of(shown(), Op::DrawAnim);
  ASSERT_EQ(anims.size(), 1u);
  EXPECT_EQ(anims[0].a[1], 20);  // 12 + 8
  step({kRight});  // stands up; the speed runs down once more, still in place
  EXPECT_EQ(g.game_state, 1);
  EXPECT_EQ(g.hero_x, x);
  step({kRight});
  EXPECT_EQ(g.hero_x, x + 10);
}

TEST_F(GameTest, DownWithTheActionDucksInsteadOfJumping) {
  start_run();
  step({kDown, kSpace});
  EXPECT_EQ(g.game_state, 2);
  EXPECT_EQ(g.hero_vy, 0);
}

TEST_F(GameTest, AJumpPeaksAtThirtyAndLandsAfterEighteenFrames) {
  start_run();
  g.hero_x = 200;
  step({kSpace});
  ASSERT_EQ(g.game_state, 3);
  ASSERT_EQ(g.hero_vy, -20);
  ASSERT_EQ(g.hero_y, 120);
  const auto jump = sounds_shown();
  ASSERT_EQ(jump.size(), 1u);
  EXPECT_TRUE(jump[0] == 11 || jump[0] == 12);

  double top = 120;
  int frames = 0;
  std::vector<double> drawn;
  while (g.game_state != 1 && frames < 40) {
    step({kSpace});  // held: no second jump
    ++frames;
    top = std::min(top, g.hero_y);
    drawn.push_back(cmd_double::calls_of(shown(), Op::DrawAnim).at(0).a[1]);
  }
  EXPECT_EQ(frames, 18);
  EXPECT_EQ(top, 30);
  EXPECT_EQ(g.hero_y, 120);
  EXPECT_EQ(g.hero_x, 200);
  EXPECT_EQ(drawn.front(), 18);  // 12 + 6 rising
  EXPECT_EQ(drawn.back(), 12);   // on foot again, standing
}

TEST_F(GameTest, AirControlSteersWithoutBraking) {
  start_run();
  g.hero_x = 200;
  steps(4, keys({kRight}));
  ASSERT_EQ(g.hero_vx, 4);
  step({kRight, kSpace});
  ASSERT_EQ(g.game_state, 3);
  EXPECT_EQ(g.hero_vx, 5);
  step({kLeft});
  EXPECT_EQ(g.hero_vx, 4);
  EXPECT_EQ(g.hero_facing, 0);
  step();
  EXPECT_EQ(g.hero_vx, 4);
}

struct WallCase {
  double x, vx, x_after, vx_after;
};

class Walls : public GameTest, public ::testing::WithParamInterface<WallCase> {};

// Horizontal travel runs in every state, the title included.
TEST_P(Walls, ClampTheHeroAndStopIt) {
  g.hero_x = GetParam().x;
  g.hero_vx = GetParam().vx;
  step();
  EXPECT_EQ(g.hero_x, GetParam().x_after);
  EXPECT_EQ(g.hero_vx, GetParam().vx_after);
}

INSTANTIATE_TEST_SUITE_P(Travel, Walls,
                         ::testing::Values(WallCase{600, 12, 608, 0}, WallCase{596, 12, 608, 12},
                                           WallCase{5, -12, 0, 0}, WallCase{12, -12, 0, -12}));

}  // namespace
}  // namespace game_test

namespace game_test {
namespace {

// A control script line "F keys" takes effect from the snapshot that the F-th
// sys_show_screen takes, i.e. in game frame F + 1; joystick lines likewise.
TEST_F(GameTest, ScriptedControlsReachTheGameFromTheirFrameOn) {
  InputScript s;
  std::string error;
  // Start-up sized the window, which presents five frames: the game's first
  // frame reads the snapshot of the fifth sys_show_screen call.
  ASSERT_EQ(dbl().frames_shown, 5);
  ASSERT_TRUE(input_script_parse("7\n7 57\n8\n10 joy 0 0 0 -1\n", s, error)) << error;
  cmd_double::load_script(dbl(), s);
  std::vector<double> states;
  for (int f = 1; f <= 7; ++f) {
    game_frame();
    states.push_back(g.game_state);
  }
  // Frame 3 reads Space and starts the run; frame 6 reads the hat pushed up
  // and jumps.
  EXPECT_EQ(states, (std::vector<double>{999, 999, 1, 1, 1, 3, 3}));
  EXPECT_EQ(dbl().frames_shown, 12);
}

}  // namespace
}  // namespace game_test
