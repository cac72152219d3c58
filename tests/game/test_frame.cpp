// The frame's order of work, the goal and the tumble between floors, the run
// clock, the shake and the screens with their count-ups.
#include "game_fixture.h"

namespace game_test {
namespace {

std::vector<Op> ops(const std::vector<Call>& calls) {
  std::vector<Op> out;
  for (const Call& c : calls) out.push_back(c.op);
  return out;
}

TEST_F(GameTest, AFrameDrawsInItsOrderAndEndsOnTheWindow) {
  start_run();
  particles_spawn(300, 100, 3, 255, 255, 255);
  step();
  const auto& calls = shown();
  ASSERT_GE(calls.size(), 3u);
  // Back to the surface after the last frame, then the background.
  EXPECT_EQ(calls[0].op, Op::UseScreen);
  EXPECT_EQ(calls[0].a[0], 1);
  EXPECT_EQ(calls[1].op, Op::DrawSprite);
  EXPECT_EQ(calls[1].a[0], 0);
  EXPECT_EQ(calls[1].target, 1);
  // The surface stretched over the window last.
  const Call& last = calls.back();
  EXPECT_EQ(last.op, Op::DrawSpriteScaled);
  EXPECT_EQ(last.target, -1);
  EXPECT_EQ(last.a, (std::array<double, 6>{200, 0, 0, 1555, 972, 0}));
  // Floors, then the hero, then the HUD texts, then the particles.
  size_t first_vertex = 0, hero = 0, first_print = 0, first_rect = 0;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (!first_vertex && calls[i].op == Op::PolyVertex) first_vertex = i;
    if (!hero && calls[i].op == Op::DrawAnim) hero = i;
    if (!first_print && calls[i].op == Op::Print) first_print = i;
    if (!first_rect && calls[i].op == Op::DrawRect) first_rect = i;
  }
  EXPECT_LT(first_vertex, hero);
  EXPECT_LT(hero, first_print);
  EXPECT_LT(first_print, first_rect);
  EXPECT_EQ(cmd_double::calls_of(calls, Op::DrawRect).size(), 3u);
  // 20 tiles on each floor.
  EXPECT_GE(cmd_double::calls_of(calls, Op::StartPoly).size(), 40u);
  // The next frame goes back to the surface.
  EXPECT_EQ(dbl().target, 1);
}

TEST_F(GameTest, ADropTakesThirteenFramesAndLandsAtThreeHundredTwenty) {
  start_run();
  g.hero_x = 580;
  g.particle_next = 0;
  step();
  ASSERT_EQ(g.game_state, 5);
  EXPECT_EQ(g.lives, 1);
  EXPECT_EQ(g.particle_next, 128);
  const auto goal_sounds = cmd_double::calls_of(shown(), Op::SndPlay);
  ASSERT_FALSE(goal_sounds.empty());
  EXPECT_EQ(goal_sounds[0].a[0], 8);
  EXPECT_EQ(goal_sounds[0].a[2], 0.5);
  // The goal particles: single light colours at (616, 144).
  for (int i = 1; i <= 128; ++i) {
    const Particle& p = skorvane::particles(i);
    ASSERT_GE(p.red, 128);
    ASSERT_GE(p.green, 128);
    ASSERT_GE(p.blue, 128);
  }
  std::vector<double> ys{g.hero_y};
  while (g.game_state == 5 && ys.size() < 30) {
    step();
    ys.push_back(g.hero_y);
  }
  EXPECT_EQ(ys.size(), 13u);  // the goal frame and 12 more
  EXPECT_EQ(ys[0], 136);
  EXPECT_EQ(ys[11], 312);
  EXPECT_EQ(ys.back(), 320);
  EXPECT_EQ(g.game_state, 1);
  EXPECT_EQ(g.level, 1);
  EXPECT_EQ(g.hero_x, 608);
  EXPECT_EQ(g.hero_facing, 0);
  EXPECT_EQ(g.spawn_col, 16);
}

TEST_F(GameTest, TumbleFramesCycleWhileDropping) {
  start_run();
  g.hero_x = 600;
  std::vector<double> frames;
  for (int i = 0; i < 9; ++i) {
    step();
    frames.push_back(cmd_double::calls_of(shown(), Op::DrawAnim).at(0).a[1]);
  }
  EXPECT_EQ(frames, (std::vector<double>{21, 0, 10, 11, 9, 23, 22, 12, 21}));
}

TEST_F(GameTest, ARiseLandsOnFloorZero) {
  play_level(1);
  g.hero_x = 10;
  g.lives = 5;
  int frames = 0;
  do {
    step();
    ++frames;
  } while (g.game_state == 6 && frames < 30);
  EXPECT_EQ(frames, 13);
  EXPECT_EQ(g.level, 2);
  EXPECT_EQ(g.lives, 6);
  EXPECT_EQ(g.hero_x, 0);
  EXPECT_EQ(g.hero_y, 120);
  EXPECT_EQ(g.hero_facing, 1);
  EXPECT_EQ(g.spawn_col, 2);
}

TEST_F(GameTest, LivesAreCappedAtFortyOnlyOnTheUpperGoal) {
  play_level(2);
  g.hero_x = 600;
  g.lives = 40;
  step();
  EXPECT_EQ(g.lives, 40);
  play_level(3);
  g.hero_x = 0;
  g.lives = 40;
  step();
  EXPECT_EQ(g.lives, 41);
}

TEST_F(GameTest, HitStatesWaitForReleaseThenForAControl) {
  play_level(2);
  g.game_state = 10;
  step({kRight});
  EXPECT_EQ(g.game_state, 10);
  step();
  EXPECT_EQ(g.game_state, 11);
  step();
  EXPECT_EQ(g.game_state, 11);
  step({kUp});
  EXPECT_EQ(g.game_state, 1);
}

TEST_F(GameTest, TheHitHeroBlinksWithTheRunClock) {
  play_level(2);
  g.game_state = 11;
  std::vector<bool> additive;
  for (int i = 0; i < 4; ++i) {
    const bool odd = static_cast<long long>(g.time_frac) % 2 != 0;  // the clock before this frame
    step();
    bool saw = false;
    for (const Call& c : cmd_double::calls_of(shown(), Op::AlphaMode)) saw = saw || c.a[0] == 1;
    EXPECT_EQ(saw, odd);
    EXPECT_EQ(cmd_double::calls_of(shown(), Op::DrawAnim).at(0).a[1], 21);
    additive.push_back(saw);
  }
  EXPECT_EQ(additive, (std::vector<bool>{false, true, false, true}));
}

struct ClockCase {
  double frac, sec, min;  // before the frame
  double frac_after, sec_after, min_after;
};

class RunClock : public GameTest, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(RunClock, AdvancesThreeThousandThreeHundredThirtyThreeUnits) {
  const ClockCase& c = GetParam();
  play_level(2);
  g.game_state = 11;  // the clock runs in every play state
  g.time_frac = c.frac;
  g.time_sec = c.sec;
  g.time_min = c.min;
  step();
  EXPECT_EQ(g.time_frac, c.frac_after);
  EXPECT_EQ(g.time_sec, c.sec_after);
  EXPECT_EQ(g.time_min, c.min_after);
}

INSTANTIATE_TEST_SUITE_P(Frames, RunClock,
                         ::testing::Values(ClockCase{0, 0, 0, 3333, 0, 0}, ClockCase{96657, 0, 0, 99990, 0, 0},
                                           ClockCase{96667, 0, 0, 100000, 0, 0},  // not above 100000
                                           ClockCase{99990, 0, 0, 3323, 1, 0}, ClockCase{99000, 59, 3, 2333, 0, 4}));

TEST_F(GameTest, ThirtyFramesMakeAlmostASecond) {
  start_run();
  g.time_frac = g.time_sec = g.time_min = 0;
  steps(30);
  EXPECT_EQ(g.time_frac, 99990);
  EXPECT_EQ(g.time_sec, 0);
  steps(1);
  EXPECT_EQ(g.time_sec, 1);
}

TEST_F(GameTest, ShakeOffsetsTheSurfaceAndSettlesInSixteenFrames) {
  start_run();
  g.shake_x = g.shake_y = 8;
  std::set<double> xs, ys;
  int frames = 0;
  while ((g.shake_x > 0 || g.shake_y > 0) && frames < 40) {
    step();
    ++frames;
    const Call& last = shown().back();
    xs.insert(last.a[1]);
    ys.insert(last.a[2]);
    if (frames == 1) {
      EXPECT_TRUE(last.a[1] == -8 || last.a[1] == 0 || last.a[1] == 8);
      EXPECT_TRUE(last.a[2] == -8 || last.a[2] == 0 || last.a[2] == 8);
    }
  }
  EXPECT_EQ(frames, 16);
  for (double x : xs) EXPECT_LE(std::abs(x), 8);
  EXPECT_GT(xs.size(), 1u);
  step();
  EXPECT_EQ(shown().back().a[1], 0);
  EXPECT_EQ(shown().back().a[2], 0);
}

TEST_F(GameTest, ShakeUsesTwoRandomNumbersVerticalFirst) {
  start_run();
  g.shake_x = 4;
  g.shake_y = 8;
  // Nothing else draws random numbers in this frame: no particles, no
  // hazards, no sounds with a random pick; only the goal marker's colours.
  rt_seed(99);
  step();
  const Call& last = shown().back();
  rt_seed(99);
  for (int i = 0; i < 12; ++i) rt_rnd(191);  // goal marker, 4 vertices x 3 channels
  const double a = rt_rnd(2), b = rt_rnd(2);
  EXPECT_EQ(last.a[2], (a - 1) * 8);
  EXPECT_EQ(last.a[1], (b - 1) * 4);
}

TEST_F(GameTest, GoalMarkerCyclesEveryFourFrames) {
  start_run();
  g.marker_timer = 0;
  g.marker_frame = 0;
  std::vector<double> tex;
  for (int i = 0; i < 26; ++i) {
    step();
    // The marker is the last quad on the surface: its first vertex has ty 224.
    for (const Call& c : cmd_double::calls_of(shown(), Op::PolyVertex))
      if (c.a[3] == 224) {
        tex.push_back(c.a[2]);
        break;
      }
  }
  ASSERT_EQ(tex.size(), 26u);
  EXPECT_EQ(tex[0], 32);
  EXPECT_EQ(tex[3], 32);
  EXPECT_EQ(tex[4], 64);
  EXPECT_EQ(tex[8], 96);
  EXPECT_EQ(tex[12], 64);
  EXPECT_EQ(tex[16], 32);
  EXPECT_EQ(tex[20], 0);
  EXPECT_EQ(tex[24], 32);
}

// ---- texts ----

int w(const std::string& s) { return cmd_double::default_text_width(s); }

void expect_centred(const std::vector<Call>& calls, const std::string& text, double y) {
  SCOPED_TRACE(text);
  const Call* c = cmd_double::find_print(calls, text);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->a[0], 320 - w(text) / 2);
  EXPECT_EQ(c->a[1], y);
  EXPECT_EQ(c->a[2], 1);  // kerning
}

TEST_F(GameTest, TitleShowsItsTextsAndStartsARunOnThePress) {
  step();
  expect_centred(shown(), "SKORVANE", 56);
  const Call* b = cmd_double::find_print(shown(), "BRONDELK");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->a[1], 336);
  ASSERT_NE(cmd_double::find_print(shown(), "QUENDAL31 COMPO"), nullptr);
  const auto anims = cmd_double::calls_of(shown(), Op::DrawAnim);
  ASSERT_EQ(anims.size(), 1u);
  EXPECT_EQ(anims[0].a, (std::array<double, 6>{1, 9, 304, 120, 0, 0}));
  EXPECT_TRUE(cmd_double::calls_of(shown(), Op::MusPlay).empty());

  step({kSpace});
  EXPECT_EQ(g.game_state, 1);
  EXPECT_EQ(g.level, 0);
  const auto music = cmd_double::calls_of(shown(), Op::MusPlay);
  ASSERT_EQ(music.size(), 1u);
  EXPECT_EQ(music[0].text, "music.mp3");
  EXPECT_EQ(music[0].a[0], 1);
}

TEST_F(GameTest, HeldActionOnTheTitleDoesNotStartARun) {
  g.action_hold = 2;
  step({kSpace});
  EXPECT_EQ(g.game_state, 999);
}

TEST_F(GameTest, HudShowsLivesTimeAndLevel) {
  start_run();
  g.lives = 7;
  g.level = 40;
  g.time_min = 1;
  g.time_sec = 5;
  g.time_frac = 3333 * 3 - 3333;  // 6666 before the frame; 9999 shown
  step();
  const auto& calls = shown();
  const Call* x = cmd_double::find_print(calls, "x");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->a[0], 20);
  EXPECT_EQ(x->a[1], 0);
  const Call* lives = cmd_double::find_print(calls, "7");
  ASSERT_NE(lives, nullptr);
  EXPECT_EQ(lives->a[0], 20 + w("x"));
  EXPECT_EQ(lives->a[1], 4);
  const Call* time = cmd_double::find_print(calls, "1:5.9999");
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->a[0], 320 - w("1:5."));
  const Call* level = cmd_double::find_print(calls, "40/40");
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level->a[0], 636 - w("40/40"));
  EXPECT_EQ(g.level_reached, 40);
}

TEST_F(GameTest, GameOverCountsToTheLevelReachedBeforeAcceptingTheAction) {
  play_level(12);
  g.lives = 0;
  step();  // the HUD records level 12
  g.game_state = 10;
  step({kSpace});  // the action goes down...
  skorvane::obstacles(0) = Obstacle{1, 2, 0, 152, 0, 16, 0, 1};
  step({kSpace});  // ...and is held as the last life is lost
  ASSERT_EQ(g.game_state, 1000);
  std::vector<std::string> shown_numbers;
  auto number = [&]() {
    std::string text = "?";
    for (const Call& k : cmd_double::calls_of(shown(), Op::Print))
      if (k.a[1] == 252) text = k.text;
    return text;
  };
  expect_centred(shown(), "NO MORE", 88);
  expect_centred(shown(), "SKORVANE'S LEFT", 120);
  expect_centred(shown(), "LEVEL REACHED", 216);
  shown_numbers.push_back(number());
  // Holding the action, then pressing it again during the count: ignored.
  for (int i = 1; i <= 12; ++i) {
    step(i == 6 ? Input() : keys({kSpace}));
    shown_numbers.push_back(number());
    ASSERT_EQ(g.game_state, 1000);
  }
  EXPECT_EQ(shown_numbers.front(), "0");
  EXPECT_EQ(shown_numbers.back(), "12");
  EXPECT_EQ(shown_numbers[5], "5");
  // The action is still held from the count: release and press again.
  step({kSpace});
  EXPECT_EQ(g.game_state, 1000);
  step();
  EXPECT_EQ(g.game_state, 1000);
  step({kSpace});
  EXPECT_EQ(g.game_state, 999);
}

TEST_F(GameTest, GameOverOnLevelOneAcceptsTheActionOnceOneIsShown) {
  g.game_state = 1000;
  g.level_reached = 1;
  g.count_up = 0;
  step();
  EXPECT_NE(cmd_double::find_print(shown(), "0"), nullptr);
  step({kSpace});
  EXPECT_NE(cmd_double::find_print(shown(), "1"), nullptr);
  EXPECT_EQ(g.game_state, 999);
}

// Completes the run: the hero lands on floor 1 after the goal of level 40.
void finish_run(double lives) {
  g.level = 40;
  g.game_state = skorvane::kDrop;
  g.hero_y = 312;
  g.lives = lives;
  g.time_min = 1;
  g.time_sec = 7;
  g.time_frac = 99990;
}

TEST_F(GameTest, RunCompleteWithLivesLostCountsTheLivesRemaining) {
  start_run();
  step({kSpace});
  finish_run(25);
  step({kSpace});  // the action is held as the run completes
  ASSERT_EQ(g.game_state, 1001);
  EXPECT_EQ(g.level, -1);
  EXPECT_EQ(g.end_lives, 25);
  EXPECT_EQ(g.level_reached, 40);
  const auto& audio = dbl().audio;
  ASSERT_GE(audio.size(), 2u);
  EXPECT_EQ(audio[audio.size() - 2].file, "blank.mp3");
  EXPECT_EQ(audio[audio.size() - 2].volume, 0);  // not looping
  EXPECT_EQ(audio.back().op, Op::MusStop);

  expect_centred(shown(), "CONGRATULATIONS", 56);
  expect_centred(shown(), "YOU HAVE BEEN", 88);
  expect_centred(shown(), "SKORVANE", 120);
  expect_centred(shown(), "ALL LEVELS COMPLETED", 216);
  expect_centred(shown(), "LIVES REMAINING", 280);
  expect_centred(shown(), "0", 316);
  for (int i = 1; i <= 25; ++i) {
    step(i % 2 ? Input() : keys({kSpace}));  // presses during the count are ignored
    ASSERT_EQ(g.game_state, 1001) << i;
  }
  expect_centred(shown(), "25", 316);
  step();
  step({kSpace});
  EXPECT_EQ(g.game_state, 999);
}

TEST_F(GameTest, PlotTwistShowsTheRunTimeAndWaitsForAPress) {
  start_run();
  step({kSpace});  // pressed before the run completes and held through it
  finish_run(40);
  step({kSpace});
  ASSERT_EQ(g.game_state, 1001);
  expect_centred(shown(), "PLOT TWIST", 56);
  expect_centred(shown(), "DREAMING", 120);
  expect_centred(shown(), "IT TOOK YOU", 184);
  expect_centred(shown(), "1:7.99990", 220);
  expect_centred(shown(), "TO WAKE UP", 248);
  expect_centred(shown(), "PERFECT SKORVANE", 312);
  EXPECT_EQ(g.count_up, 0);
  step({kSpace});  // still held
  EXPECT_EQ(g.game_state, 1001);
  step();
  step({kSpace});
  EXPECT_EQ(g.game_state, 999);
}

TEST_F(GameTest, EndScreensKeepThePlayfieldButNotTheHero) {
  g.game_state = 1000;
  g.level_reached = 3;
  step();
  EXPECT_TRUE(cmd_double::calls_of(shown(), Op::DrawAnim).empty());
  EXPECT_EQ(cmd_double::calls_of(shown(), Op::DrawSprite).at(0).a[0], 0);  // the background
  EXPECT_GE(cmd_double::calls_of(shown(), Op::StartPoly).size(), 40u);
  EXPECT_EQ(ops(shown()).back(), Op::DrawSpriteScaled);
}

}  // namespace
}  // namespace game_test
