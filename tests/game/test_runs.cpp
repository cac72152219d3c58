// Whole runs from the title to the end screens and back, replayed from the
// control scripts that tools/perfect_run found (tests/game/data).
#include <algorithm>
#include <map>
#include <string>

#include "game_fixture.h"

namespace game_test {
namespace {

// What a replayed run showed, frame by frame.
struct RunRecord {
  long frames = 0;
  long hits = 0;                 // deaths (the "Aagh" sound, slot 1)
  double max_level = -1;
  double end_state = 0;          // 1000 or 1001
  double end_lives = -1;
  std::string end_time;
  std::vector<std::string> count_up;  // the counted number of each end-screen frame
  std::vector<std::string> first_end_texts;
  long end_frames = 0;
  bool back_to_title = false;
  std::vector<std::vector<double>> particles;
};

bool is_number(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

RunRecord replay(const std::string& file, int seed_override = -1) {
  InputScript script;
  std::string error;
  const bool ok = cmd_double::read_script_file(std::string(SKORVANE_TEST_DATA) + "/" + file, script, error);
  EXPECT_TRUE(ok) << error;
  RunRecord run;
  if (!ok) return run;
  if (seed_override >= 0) script.seed = static_cast<uint32_t>(seed_override);

  dbl().reset();
  dbl().record_draws = false;
  g = skorvane::GameState{};
  rt_seed(static_cast<int32_t>(script.seed));
  game_startup();
  cmd_double::load_script(dbl(), script);

  dbl().on_frame = [&](const std::vector<Call>& calls) {
    if (g.game_state >= 0 && g.game_state <= 900) run.max_level = std::max(run.max_level, g.level);
    if (g.game_state == 1000 || g.game_state == 1001) {
      if (run.end_frames == 0) {
        run.end_state = g.game_state;
        run.first_end_texts = cmd_double::printed(calls);
        run.end_lives = g.end_lives;
      }
      ++run.end_frames;
      for (const std::string& t : cmd_double::printed(calls))
        if (is_number(t)) run.count_up.push_back(t);
    }
    if (g.game_state == 999 && run.end_frames > 0) run.back_to_title = true;
  };
  const long last_line = script.key_lines.empty() ? 0 : script.key_lines.back().frame;
  for (long f = 0; f < last_line + 60 && !run.back_to_title; ++f) {
    game_frame();
    ++run.frames;
  }
  dbl().on_frame = nullptr;
  for (const cmd_double::AudioEvent& e : dbl().audio) run.hits += (e.op == Op::SndPlay && e.slot == 1);
  if (run.end_state == 1001) {
    const BasicString t = real_to_text(g.end_min) + ":" + real_to_text(g.end_sec) + "." + real_to_text(g.end_frac);
    run.end_time = t.c_str();
  }
  run.particles = skorvane::list_particles();
  return run;
}

std::vector<std::string> counting_to(int n) {
  std::vector<std::string> v;
  for (int i = 0; i <= n; ++i) v.push_back(std::to_string(i));
  return v;
}

bool contains(const std::vector<std::string>& texts, const std::string& t) {
  return std::find(texts.begin(), texts.end(), t) != texts.end();
}

TEST(WholeRun, PerfectRunAvoidsEveryObstacleAndEndsOnPlotTwist) {
  const RunRecord run = replay("perfect.txt");
  EXPECT_EQ(run.hits, 0);
  EXPECT_EQ(run.max_level, 40);
  EXPECT_EQ(run.end_state, 1001);
  EXPECT_EQ(run.end_lives, 40);
  for (const char* t : {"PLOT TWIST", "YOU HAVE BEEN", "DREAMING", "IT TOOK YOU", "TO WAKE UP", "PERFECT SKORVANE"})
    EXPECT_TRUE(contains(run.first_end_texts, t)) << t;
  EXPECT_TRUE(contains(run.first_end_texts, run.end_time)) << run.end_time;
  EXPECT_TRUE(run.count_up.empty());  // nothing is counted
  EXPECT_TRUE(run.back_to_title);
}

TEST(WholeRun, OneLostLifeStillEndsOnPlotTwist) {
  const RunRecord run = replay("one_death.txt");
  EXPECT_EQ(run.hits, 1);
  EXPECT_EQ(run.end_state, 1001);
  EXPECT_EQ(run.end_lives, 40);
  EXPECT_TRUE(contains(run.first_end_texts, "PLOT TWIST"));
  EXPECT_TRUE(run.back_to_title);
}

TEST(WholeRun, TwoLostLivesEndOnCongratulationsCountingTo39) {
  const RunRecord run = replay("two_deaths.txt");
  EXPECT_EQ(run.hits, 2);
  EXPECT_EQ(run.end_state, 1001);
  EXPECT_EQ(run.end_lives, 39);
  for (const char* t : {"CONGRATULATIONS", "YOU HAVE BEEN", "SKORVANE", "ALL LEVELS COMPLETED", "LIVES REMAINING"})
    EXPECT_TRUE(contains(run.first_end_texts, t)) << t;
  ASSERT_GE(run.count_up.size(), 40u);
  EXPECT_EQ(std::vector<std::string>(run.count_up.begin(), run.count_up.begin() + 40), counting_to(39));
  EXPECT_TRUE(run.back_to_title);
}

TEST(WholeRun, GameOverCountsToTheLevelReached) {
  const RunRecord run = replay("game_over.txt");
  EXPECT_EQ(run.end_state, 1000);
  EXPECT_EQ(run.max_level, 12);
  EXPECT_EQ(run.hits, 13);  // 12 spare lives from the goals of levels 0..11, then one more
  for (const char* t : {"NO MORE", "SKORVANE'S LEFT", "LEVEL REACHED"}) EXPECT_TRUE(contains(run.first_end_texts, t)) << t;
  ASSERT_GE(run.count_up.size(), 13u);
  EXPECT_EQ(std::vector<std::string>(run.count_up.begin(), run.count_up.begin() + 13), counting_to(12));
  EXPECT_TRUE(run.back_to_title);
}

// The obstacles move the same way whatever the random numbers: another seed
// gives the same run with other particles; the same seed gives the same run to
// the last particle.
TEST(WholeRun, SeededRunsAreReproducibleToTheLastParticle) {
  const RunRecord a = replay("perfect.txt");
  const RunRecord b = replay("perfect.txt");
  EXPECT_EQ(a.particles, b.particles);
  EXPECT_EQ(a.frames, b.frames);
  const RunRecord c = replay("perfect.txt", 4242);
  EXPECT_EQ(c.hits, 0);
  EXPECT_EQ(c.end_time, a.end_time);
  EXPECT_NE(c.particles, a.particles);
}

}  // namespace
}  // namespace game_test
