// Skorvane on the real engine: the game binary runs under a private virtual
// display with --fast and replays input scripts; the state it writes at the
// end must match the game logic driven by the command double with the same
// script, to the last particle, and the screenshot must show a picture.
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "command_double.h"
#include "json_lite.h"
#include "tests/common/private_display.h"
#include "skorvane.h"
#include "tests/common/read_file.h"

namespace {

// ------------------------------------------------------------ environment --

// A private X server with a small screen: the game's window is 90 % of it
// (720 x 450), which keeps software rendering quick.
const ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay("800x600x24"));

std::string data_file(const std::string& name) { return std::string(SKORVANE_SCRIPTS) + "/" + name; }

// ------------------------------------------------------------ the real game --

struct GameRun {
  int exit_code = -1;
  std::string out;   // standard output and error
  std::string log;   // ErrorLog.txt
  Json state;
  std::string dir;   // the run's scratch directory
};

// Runs the game with the given options in a scratch directory of its own
// (its TMPDIR, so the error log is the run's own).
std::string scratch_dir();

GameRun run_game(const std::vector<std::string>& args) {
  GameRun r;
  r.dir = scratch_dir();
  std::string cmd = "cd '" + r.dir + "' && TMPDIR='" + r.dir + "' SDL_AUDIODRIVER=dummy TAMBLIX_NO_DIALOGS=1 '" +
                    SKORVANE_EXE + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " --state-out '" + r.dir + "/state.json' > '" + r.dir + "/out.txt' 2>&1";
  const int status = std::system(cmd.c_str());
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(r.dir + "/out.txt");
  r.log = read_file(r.dir + "/ErrorLog.txt");
  try {
    r.state = Json::parse(read_file(r.dir + "/state.json"));
  } catch (const std::exception& e) {
    ADD_FAILURE() << "state file: " << e.what() << "\n" << r.out;
  }
  return r;
}

GameRun replay(const std::string& script, long frames, const std::string& screenshot = "") {
  std::vector<std::string> args = {"--replay", script, "--fast", "--frames", std::to_string(frames)};
  if (!screenshot.empty()) {
    args.push_back("--screenshot");
    args.push_back(screenshot);
  }
  return run_game(args);
}

// ---------------------------------------------------- the same run, doubled --

// Drives the game logic against the command double with the same script and
// the same number of sys_show_screen calls (or until `until` holds, when
// given), and returns its state. `frames_out` gets the calls made.
Json double_state(const std::string& script_path, long frames, double desktop_w, double desktop_h,
                  bool (*until)() = nullptr, long* frames_out = nullptr) {
  using cmd_double::dbl;
  InputScript s;
  std::string error;
  EXPECT_TRUE(cmd_double::read_script_file(script_path, s, error)) << error;
  dbl().reset();
  dbl().record = false;
  dbl().desktop_w = desktop_w;
  dbl().desktop_h = desktop_h;
  skorvane::g = skorvane::GameState{};
  rt_seed(static_cast<int>(s.seed));
  cmd_double::load_script(dbl(), s);
  game_startup();
  while (dbl().frames_shown < frames && !(until && until())) game_frame();
  if (frames_out) *frames_out = dbl().frames_shown;
  char* buf = nullptr;
  size_t len = 0;
  std::FILE* mem = open_memstream(&buf, &len);
  skorvane::write_state_json(mem);
  std::fclose(mem);
  std::string text(buf, len);
  std::free(buf);
  return Json::parse(text);
}

// Every value of the program's state must be the same; the engine's own
// values are not part of the game.
void expect_same_game_state(const Json& real, const Json& doubled) {
  ASSERT_EQ(real.kind, Json::Object);
  size_t compared = 0;
  for (const auto& [name, value] : doubled.members) {
    ASSERT_TRUE(real.has(name)) << name;
    const Json& r = real[name];
    // The same kind too: a number written as null (not finite) on one side
    // only must not pass as 0.
    ASSERT_EQ(r.kind, value.kind) << name;
    if (value.kind == Json::Array) {
      ASSERT_EQ(r.items.size(), value.items.size()) << name;
      for (size_t i = 0; i < value.items.size(); ++i) {
        ASSERT_EQ(r[i].items.size(), value[i].items.size()) << name << "[" << i << "]";
        for (size_t f = 0; f < value[i].items.size(); ++f) {
          EXPECT_EQ(r[i][f].kind, value[i][f].kind) << name << "[" << i << "][" << f << "]";
          EXPECT_EQ(r[i][f].number, value[i][f].number) << name << "[" << i << "][" << f << "]";
        }
      }
    } else if (value.kind == Json::String) {
      EXPECT_EQ(r.text, value.text) << name;
    } else {
      EXPECT_EQ(r.number, value.number) << name;
    }
    ++compared;
  }
  EXPECT_EQ(compared + 1, real.members.size()) << "the real state has values the double lacks";
}

// Size and a rough look at a PNG: the number of distinct colours.
struct Picture {
  unsigned width = 0, height = 0;
  size_t colours = 0;
};

Picture gfx_read_png(const std::string& path) {
  Picture p;
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return p;
  img.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> px(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return p;
  p.width = img.width;
  p.height = img.height;
  std::set<unsigned> seen;
  for (size_t i = 0; i + 2 < px.size(); i += 3) seen.insert(px[i] | px[i + 1] << 8 | px[i + 2] << 16);
  p.colours = seen.size();
  return p;
}

// A scratch directory for a test's own files. Without one the test fails
// rather than sharing /tmp with tests running beside it.
std::string scratch_dir() {
  char tmpl[] = "/tmp/skorvane_e2e_XXXXXX";
  if (mkdtemp(tmpl)) return std::string(tmpl);
  ADD_FAILURE() << "cannot make a scratch directory under /tmp";
  return std::string("/nonexistent/skorvane_e2e");
}

std::string write_script(const std::string& dir, const std::string& name, const std::string& text) {
  const std::string path = dir + "/" + name;
  std::ofstream(path) << text;
  return path;
}

void expect_clean_end(const GameRun& r) {
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("exit\n"), std::string::npos) << r.out;
  EXPECT_NE(r.log.find("Init Finalized\n"), std::string::npos) << r.log;
  EXPECT_NE(r.log.find("tmx is shut down\n"), std::string::npos) << r.log;
}

// --------------------------------------------------------------- the runs --

TEST(GameOnEngine, TitleScreenAndARecordedIdleRun) {
  const std::string dir = scratch_dir();
  const std::string rec = dir + "/idle.txt", shot = dir + "/title.png";
  GameRun r = run_game({"--seed", "77", "--fast", "--frames", "40", "--record", rec, "--screenshot", shot});
  expect_clean_end(r);
  EXPECT_EQ(r.state["engine"]["frames"].num(), 40);
  EXPECT_EQ(r.state["engine"]["seed"].num(), 77);
  EXPECT_EQ(r.state["engine"]["music_playing"].num(), 0);
  EXPECT_EQ(r.state["game_state"].num(), 999);
  EXPECT_EQ(r.state["level"].num(), -1);
  // The window is 90 % of the 800 x 600 screen, at the game's 1.6 aspect.
  EXPECT_EQ(r.state["screen_w"].num(), 720);
  EXPECT_EQ(r.state["screen_h"].num(), 450);
  const Picture pic = gfx_read_png(shot);
  EXPECT_EQ(pic.width, 720u);
  EXPECT_EQ(pic.height, 450u);
  EXPECT_GT(pic.colours, 200u) << "the title should show the background, the hero and the texts";
  // Nobody pressed anything: the recording holds the seed and one empty line,
  // and it replays to the same state.
  EXPECT_EQ(read_file(rec), "77\n1\n");
  GameRun again = replay(rec, 40);
  expect_clean_end(again);
  expect_same_game_state(again.state, double_state(rec, 40, 800, 600));
}

TEST(GameOnEngine, ActionStartsARunWithMusic) {
  const std::string script = write_script(scratch_dir(), "start.txt", "99\n10 57\n11\n");
  GameRun r = replay(script, 30);
  expect_clean_end(r);
  EXPECT_EQ(r.state["game_state"].num(), 1);
  EXPECT_EQ(r.state["level"].num(), 0);
  EXPECT_EQ(r.state["hero_y"].num(), 120);
  EXPECT_EQ(r.state["engine"]["music_playing"].num(), 1);
  expect_same_game_state(r.state, double_state(script, 30, 800, 600));
}

TEST(GameOnEngine, GoalReachedDropsTheHeroToTheLowerFloor) {
  const std::string script = data_file("perfect.txt");
  GameRun r = replay(script, 75);
  expect_clean_end(r);
  EXPECT_EQ(r.state["level"].num(), 1);
  EXPECT_EQ(r.state["lives"].num(), 1);
  EXPECT_EQ(r.state["hero_y"].num(), 320);  // standing on the lower floor
  EXPECT_EQ(r.state["hero_x"].num(), 608);
  expect_same_game_state(r.state, double_state(script, 75, 800, 600));
}

TEST(GameOnEngine, AHitKillsTheHeroWithBurstAndShake) {
  const std::string script = data_file("one_death.txt");
  // The frame of the hit, as the game logic sees it.
  long hit_frame = 0;
  const Json doubled = double_state(
      script, 100000, 800, 600, [] { return skorvane::g.game_state == skorvane::kHitWaitRelease; }, &hit_frame);
  ASSERT_EQ(doubled["game_state"].num(), 10);
  GameRun r = replay(script, hit_frame);
  expect_clean_end(r);
  EXPECT_EQ(r.state["game_state"].num(), 10);
  EXPECT_EQ(r.state["level"].num(), 1);
  EXPECT_EQ(r.state["lives"].num(), 0);
  EXPECT_GT(r.state["shake_x"].num() + r.state["shake_y"].num(), 0);
  size_t alive = 0;
  for (const Json& p : r.state["particles"].items) alive += p[0].num() > 0;
  EXPECT_GT(alive, 0u);
  expect_same_game_state(r.state, doubled);
}

TEST(GameOnEngine, GameOverCountsUpToTheLevelReached) {
  const std::string script = data_file("game_over.txt");
  const std::string shot = scratch_dir() + "/no_more.png";
  GameRun r = replay(script, 1085, shot);
  expect_clean_end(r);
  EXPECT_EQ(r.state["game_state"].num(), 1000);
  EXPECT_EQ(r.state["level_reached"].num(), 12);
  EXPECT_EQ(r.state["count_up"].num(), 12);
  EXPECT_EQ(r.state["engine"]["music_playing"].num(), 0);  // silenced at the end of the run
  EXPECT_EQ(gfx_read_png(shot).width, 720u);
  expect_same_game_state(r.state, double_state(script, 1085, 800, 600));
}

TEST(GameOnEngine, PerfectRunEndsOnPlotTwistAsInTheDouble) {
  const std::string script = data_file("perfect.txt");
  const std::string shot = scratch_dir() + "/plot_twist.png";
  GameRun r = replay(script, 3200, shot);
  expect_clean_end(r);
  EXPECT_EQ(r.state["game_state"].num(), 1001);
  EXPECT_EQ(r.state["end_lives"].num(), 40);
  EXPECT_GT(gfx_read_png(shot).colours, 200u);
  expect_same_game_state(r.state, double_state(script, 3200, 800, 600));
}

}  // namespace
