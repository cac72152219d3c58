// The cloud, placing level rows, the obstacle life cycle and hit boxes.
#include <algorithm>

#include "game_fixture.h"

namespace game_test {
namespace {

using skorvane::obstacles;

struct Placed {
  int slot;
  double kind, x, y, floor;
};

void expect_placed(const std::vector<Placed>& want) {
  for (const Placed& p : want) {
    SCOPED_TRACE(p.slot);
    const Obstacle& o = obstacles(p.slot);
    EXPECT_EQ(o.phase, 1);
    EXPECT_EQ(o.live, 1);
    EXPECT_EQ(o.kind, p.kind);
    EXPECT_EQ(o.x, p.x);
    EXPECT_EQ(o.floor, p.floor);
  }
}

int count_active() {
  int n = 0;
  for (int i = 0; i < 128; ++i) n += obstacles(i).phase > 0;
  return n;
}

TEST_F(GameTest, CloudReadsRowThreeOnLevelThree) {
  play_level(3);  // hero on floor 1, the cloud prepares floor 0
  g.cloud_x = 656;
  g.spawn_col = 16;
  g.spawn_slot = 0;
  const std::vector<double> heard = sounds_over(80);
  const auto cloud_sounds = std::count(heard.begin(), heard.end(), 2.0);
  const auto floor_hits = std::count_if(heard.begin(), heard.end(), [](double s) { return s >= 19 && s <= 22; });
  EXPECT_EQ(g.spawn_col, 0);  // positions 2..17 read, left to right
  EXPECT_EQ(g.spawn_slot, 3);
  EXPECT_EQ(cloud_sounds, 3);
  EXPECT_EQ(floor_hits, 3);
  expect_placed({{0, 1, 256, 0, 0}, {1, 2, 288, 0, 0}, {2, 1, 320, 0, 0}});
  EXPECT_EQ(obstacles(0).y, 168);
  EXPECT_EQ(obstacles(1).y, 152);
  EXPECT_EQ(obstacles(2).y, 168);
  EXPECT_EQ(count_active(), 3);
  EXPECT_EQ(g.game_state, 1);  // blocks on the other floor never touch the hero
}

TEST_F(GameTest, CloudReadsRowThirtyFourOnLevelThirtyFour) {
  play_level(34);  // the cloud prepares floor 1 from position 17 down
  g.cloud_x = -48;
  g.spawn_col = 2;
  g.spawn_slot = 40;
  const std::vector<double> heard = sounds_over(80);
  const auto cloud_sounds = std::count(heard.begin(), heard.end(), 2.0);
  EXPECT_EQ(g.spawn_col, 18);
  EXPECT_EQ(g.spawn_slot, 49);
  EXPECT_EQ(cloud_sounds, 7);
  expect_placed({{40, 5, 256, 216, 1},
                 {41, 5, 224, 216, 1},
                 {42, 5, 192, 216, 1},
                 {43, 5, 160, 216, 1},
                 {44, 5, 128, 216, 1},
                 {45, 5, 96, 216, 1},
                 {46, 1, 96, 216, 1},
                 {47, 5, 64, 216, 1},
                 {48, 2, 64, 216, 1}});
  // The hazards hang where they were placed; the blocks have fallen.
  EXPECT_EQ(obstacles(45).y, 216);
  EXPECT_EQ(obstacles(45).spawn_x, 96);
  EXPECT_EQ(obstacles(45).spawn_y, 216);
  EXPECT_EQ(obstacles(46).y, 368);
  EXPECT_EQ(obstacles(46).spawn_y, 16);
  EXPECT_EQ(obstacles(48).y, 352);
  EXPECT_EQ(count_active(), 9);
}

struct PlaceCase {
  const char* letter;
  int slots_used;
  double first_kind, second_kind;
  bool sound;
};

class Placing : public GameTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(Placing, EachLetterFillsItsSlots) {
  const PlaceCase& c = GetParam();
  g.spawn_slot = 127;  // a pair wraps to slot 0
  g.row_char = BasicString(c.letter);
  skorvane::place_row_char(1, 64, 216);
  EXPECT_EQ(g.spawn_slot, c.slots_used == 0 ? 127 : (127 + c.slots_used) % 128);
  EXPECT_EQ(cmd_double::calls_of(dbl().frame, Op::SndPlay).size(), c.sound ? 1u : 0u);
  if (c.first_kind > 0) {
    EXPECT_EQ(obstacles(127).kind, c.first_kind);
    EXPECT_EQ(obstacles(127).phase, 1);
  } else {
    EXPECT_EQ(obstacles(127).phase, 0);
  }
  if (c.second_kind > 0) {
    EXPECT_EQ(obstacles(0).kind, c.second_kind);
    EXPECT_EQ(obstacles(0).x, 64);
    EXPECT_EQ(obstacles(0).y, 216);
  } else {
    EXPECT_EQ(obstacles(0).phase, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Letters, Placing,
    ::testing::Values(PlaceCase{"A", 0, 0, 0, false}, PlaceCase{"B", 1, 1, 0, true}, PlaceCase{"E", 1, 4, 0, true},
                      PlaceCase{"F", 1, 5, 0, true}, PlaceCase{"K", 1, 6, 0, true}, PlaceCase{"P", 1, 7, 0, true},
                      PlaceCase{"G", 2, 5, 1, true}, PlaceCase{"J", 2, 5, 4, true}, PlaceCase{"L", 2, 6, 1, true},
                      PlaceCase{"O", 2, 6, 4, true}, PlaceCase{"Q", 2, 7, 1, true}, PlaceCase{"T", 2, 7, 4, true},
                      PlaceCase{"", 1, 0, 0, true}, PlaceCase{"Z", 1, 0, 0, true}, PlaceCase{"-", 1, 0, 0, true}),
    [](const auto& info) {
      const std::string l = info.param.letter;
      return l.empty() ? std::string("empty") : l == "-" ? std::string("dash") : l;
    });

TEST_F(GameTest, LevelFortyReadsTheEmptyRowSixteenTimes) {
  play_level(40);
  g.cloud_x = -48;
  g.spawn_col = 2;
  g.spawn_slot = 0;
  const std::vector<double> heard = sounds_over(80);
  const auto cloud_sounds = std::count(heard.begin(), heard.end(), 2.0);
  EXPECT_EQ(cloud_sounds, 16);
  EXPECT_EQ(g.spawn_slot, 16);
  EXPECT_EQ(count_active(), 0);
  EXPECT_EQ(g.row_char.length(), 0u);
}

TEST_F(GameTest, KindFourBlockOnFloorOneRestsAtThreeHundredTwenty) {
  play_level(2);
  put(0, 4, 1, 320, 216);
  std::vector<int> hit_frames;
  for (int f = 1; f <= 20; ++f) {
    step();
    for (double s : sounds_shown())
      if (s >= 19) hit_frames.push_back(f);
  }
  EXPECT_EQ(obstacles(0).y, 320);
  EXPECT_EQ(hit_frames, (std::vector<int>{12}));  // y 312 = 200 + 112
}

// A middle hazard on floor 0 while floor 0 is played; the hero waits in the
// hit state so the hazard goes round undisturbed.
TEST_F(GameTest, HazardGoesRoundItsCycle) {
  play_level(2);
  g.game_state = skorvane::kHitWaitControl;
  put(0, 6, 0, 64, 16);
  struct Seen {
    int frame;
    double phase, x, y, live;
  };
  std::vector<Seen> changes;
  double last_phase = 1;
  for (int f = 1; f <= 160; ++f) {
    step();
    const Obstacle& o = obstacles(0);
    if (o.phase != last_phase) changes.push_back({f, o.phase, o.x, o.y, o.live});
    last_phase = o.phase;
  }
  ASSERT_GE(changes.size(), 5u);
  // 1 -> 2 at once; slides 61 frames to 544; drops 13 frames to 120; runs 72
  // frames off the left end; returns unseen in 4 frames.
  EXPECT_EQ(changes[0].frame, 1);
  EXPECT_EQ(changes[0].phase, 2);
  EXPECT_EQ(changes[1].frame, 62);
  EXPECT_EQ(changes[1].phase, 3);
  EXPECT_EQ(changes[1].x, 544);
  EXPECT_EQ(changes[2].frame, 75);
  EXPECT_EQ(changes[2].phase, 4);
  EXPECT_EQ(changes[2].y, 120);
  EXPECT_EQ(changes[3].frame, 147);
  EXPECT_EQ(changes[3].phase, 5);
  EXPECT_EQ(changes[3].live, 0);
  EXPECT_EQ(changes[4].frame, 151);
  EXPECT_EQ(changes[4].phase, 1);
  EXPECT_EQ(changes[4].x, -32);
  EXPECT_EQ(changes[4].y, 16);
  EXPECT_EQ(changes[4].live, 1);
  EXPECT_EQ(changes[5].frame, 152);
  EXPECT_EQ(changes[5].phase, 2);
}

TEST_F(GameTest, HazardsOnFloorOneReturnAtTheRightEdge) {
  play_level(1);
  g.game_state = skorvane::kHitWaitControl;
  put(0, 5, 1, 600, 344, 5);  // low hazard returning
  put(1, 7, 1, 600, 344, 5);  // high hazard returning
  step();
  EXPECT_EQ(obstacles(0).phase, 1);
  EXPECT_EQ(obstacles(0).x, 632);
  EXPECT_EQ(obstacles(0).y, 216);
  EXPECT_EQ(obstacles(1).x, 640);
  // Hazards of the floor being prepared wait.
  play_level(2);
  g.game_state = skorvane::kHitWaitControl;
  step();
  EXPECT_EQ(obstacles(0).phase, 1);
}

struct HitCase {
  const char* name;
  double kind;
  int hero_state;  // 1 standing, 2 ducking, 3 jumping (at hero_y 100)
  bool hit;
};

class HazardHits : public GameTest, public ::testing::WithParamInterface<HitCase> {};

TEST_P(HazardHits, HeroBoxDependsOnDucking) {
  const HitCase& c = GetParam();
  play_level(2);
  g.lives = 3;
  g.hero_x = 300;
  g.game_state = c.hero_state;
  if (c.hero_state == 3) {  // near the top of a jump
    g.hero_y = 100;
    g.hero_vy = -4;
  }
  const double height = 152 - 32 * (c.kind - 5);
  put(0, c.kind, 0, 340, height, 4);  // running left towards the hero
  const Input hold = c.hero_state == 2 ? keys({kDown}) : Input();
  bool died = false;
  for (int f = 0; f < 10 && !died; ++f) {
    step(hold);
    died = g.game_state == 10;
  }
  EXPECT_EQ(died, c.hit);
  EXPECT_EQ(obstacles(0).live, c.hit ? 0 : 1);
  EXPECT_EQ(g.lives, c.hit ? 2 : 3);
}

INSTANTIATE_TEST_SUITE_P(Boxes, HazardHits,
                         ::testing::Values(HitCase{"low_standing", 5, 1, true}, HitCase{"low_ducking", 5, 2, true},
                                           HitCase{"middle_standing", 6, 1, true},
                                           HitCase{"middle_ducking", 6, 2, false},
                                           HitCase{"high_standing", 7, 1, false},
                                           HitCase{"high_ducking", 7, 2, false},
                                           HitCase{"high_jumping", 7, 3, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GameTest, ABlockHitsADuckingHero) {
  play_level(2);
  g.lives = 1;
  g.hero_x = 100;
  step({kDown});
  ASSERT_EQ(g.game_state, 2);
  put(0, 1, 0, 120, 168);
  step({kDown});
  EXPECT_EQ(g.game_state, 10);
  EXPECT_EQ(g.hero_x, 0);
  EXPECT_EQ(g.lives, 0);
}

TEST_F(GameTest, AHazardThatHitStaysUnseenUntilItReturns) {
  play_level(2);
  g.lives = 5;
  g.hero_x = 300;
  put(0, 6, 0, 340, 120, 4);
  steps(5);
  ASSERT_EQ(g.lives, 4);
  ASSERT_EQ(g.hero_x, 0);
  ASSERT_EQ(obstacles(0).live, 0);
  // Not drawn while it is not live: no hazard core quad (texture 160, 160).
  auto has_hazard_quad = [&]() {
    for (const Call& c : cmd_double::calls_of(shown(), Op::PolyVertex))
      if (c.a[2] == 160 && c.a[3] == 160) return true;
    return false;
  };
  EXPECT_FALSE(has_hazard_quad());
  // Runs out unseen, returns, and is live and drawn again at the top.
  int f = 0;
  while (obstacles(0).phase != 1 && f++ < 100) step();
  EXPECT_EQ(obstacles(0).live, 1);
  EXPECT_EQ(g.lives, 4);  // harmless while unseen
  step();
  EXPECT_TRUE(has_hazard_quad());
}

TEST_F(GameTest, NoHazardHitsWhileTumblingAtTheGoal) {
  play_level(2);
  g.hero_x = 580;
  put(0, 6, 0, 590, 120, 4);
  step();
  EXPECT_EQ(g.game_state, 5);
  EXPECT_EQ(obstacles(0).live, 1);
  EXPECT_EQ(g.lives, 1);
}

}  // namespace
}  // namespace game_test
