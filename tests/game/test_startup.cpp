// Start-up: media directory, window size, media slots and tables.
#include "game_fixture.h"

namespace game_test {
namespace {

struct WindowCase {
  double desktop_w, desktop_h;
  double window_w, window_h;
};

class WindowSize : public ::testing::TestWithParam<WindowCase> {};

TEST_P(WindowSize, NinetyPercentOfTheDesktopAtAspect16To10) {
  const WindowCase c = GetParam();
  dbl().reset();
  g = skorvane::GameState{};
  dbl().desktop_w = c.desktop_w;
  dbl().desktop_h = c.desktop_h;
  game_startup();
  const auto set = cmd_double::calls_of(dbl().frame, Op::SetScreen);
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].a[0], c.window_w);
  EXPECT_EQ(set[0].a[1], c.window_h);
  EXPECT_EQ(set[0].a[2], 0);  // windowed
}

INSTANTIATE_TEST_SUITE_P(Desktops, WindowSize,
                         ::testing::Values(WindowCase{1920, 1080, 1555, 972}, WindowCase{1280, 1024, 1152, 720},
                                           WindowCase{800, 600, 720, 450},
                                           WindowCase{1080, 1920, 972, 607}));  // portrait desktop

TEST_F(GameTest, StartupLoadsTheMediaAndEndsOnTheTitle) {
  dbl().reset();
  g = skorvane::GameState{};
  game_startup();
  const auto& calls = dbl().frame;
  EXPECT_EQ(dbl().cwd, "Media");

  const auto fonts = cmd_double::calls_of(calls, Op::LoadFont);
  ASSERT_EQ(fonts.size(), 1u);
  EXPECT_EQ(fonts[0].text, "Valk640.png");
  EXPECT_EQ(fonts[0].a[0], 2);

  const auto sprites = cmd_double::calls_of(calls, Op::LoadSprite);
  ASSERT_EQ(sprites.size(), 3u);
  EXPECT_EQ(sprites[0].text, "bkg.png");
  EXPECT_EQ(sprites[1].text, "hero.png");
  EXPECT_EQ(sprites[2].text, "light.bmp");
  EXPECT_EQ(sprites[2].a[0], 2);

  const auto sounds = cmd_double::calls_of(calls, Op::SndLoad);
  ASSERT_EQ(sounds.size(), 22u);
  for (int i = 0; i < 22; ++i) {
    EXPECT_EQ(sounds[i].a[0], i + 1);
    EXPECT_EQ(sounds[i].a[1], 4);
  }
  EXPECT_EQ(sounds[0].text, "Aagh1.wav");
  EXPECT_EQ(sounds[7].text, "Goal Get - Down.wav");
  EXPECT_EQ(sounds[21].text, "Obstacle Hits Floor 4.wav");

  const auto surface = cmd_double::calls_of(calls, Op::CreateScreen);
  ASSERT_EQ(surface.size(), 1u);
  EXPECT_EQ(surface[0].a, (std::array<double, 6>{1, 200, 640, 400, 0, 0}));
  EXPECT_EQ(dbl().target, 1);
  const auto fps = cmd_double::calls_of(calls, Op::LimitFps);
  ASSERT_EQ(fps.size(), 1u);
  EXPECT_EQ(fps[0].a[0], 30);

  EXPECT_EQ(g.game_state, 999);
  EXPECT_EQ(g.level, -1);
  EXPECT_EQ(g.running, 1);
  EXPECT_EQ(skorvane::particles.count(), 512);
  EXPECT_EQ(skorvane::obstacles.count(), 128);
  EXPECT_EQ(skorvane::level_rows.count(), 64);
  EXPECT_STREQ(skorvane::level_rows(0).c_str(), "--AAAAAAACBAAAAAAA--");
  EXPECT_STREQ(skorvane::level_rows(39).c_str(), "--AAAAAAAAAAAAAAAA--");
  EXPECT_EQ(skorvane::level_rows(40).length(), 0u);
  EXPECT_EQ(skorvane::level_rows(63).length(), 0u);
  EXPECT_EQ(skorvane::tumble_frames(5), 23);
  EXPECT_EQ(skorvane::marker_offsets(3), 96);
}

struct MediaCase {
  std::set<std::string> dirs, files;
  std::string cwd;
};

class MediaDirectory : public ::testing::TestWithParam<MediaCase> {};

TEST_P(MediaDirectory, FallsBackToTheBundleDirectory) {
  dbl().reset();
  g = skorvane::GameState{};
  dbl().dirs = GetParam().dirs;
  dbl().files = GetParam().files;
  game_startup();
  EXPECT_EQ(dbl().cwd, GetParam().cwd);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, MediaDirectory,
    ::testing::Values(
        // Media beside the program.
        MediaCase{{"Media"}, {"Media/bkg.png"}, "Media"},
        // No Media: the bundle directory from where we are.
        MediaCase{{"Contents", "Contents/Resources", "Contents/Resources/Media"}, {}, "Contents/Resources/Media"},
        // Media without bkg.png: the bundle directory is looked for inside it.
        MediaCase{{"Media", "Media/Contents/Resources/Media"}, {}, "Media/Contents/Resources/Media"},
        // Neither: stays where it was.
        MediaCase{{}, {}, ""}));

TEST_F(GameTest, StateListingNamesEveryGlobal) {
  g.row_char = BasicString("K");
  g.hero_x = 77;
  const auto globals = skorvane::list_globals();
  EXPECT_EQ(globals.size(), 39u);
  bool seen_row_char = false, seen_hero_x = false;
  for (const auto& v : globals) {
    if (std::string(v.name) == "row_char") {
      seen_row_char = true;
      EXPECT_TRUE(v.is_text);
      EXPECT_EQ(v.text, "K");
    }
    if (std::string(v.name) == "hero_x") {
      seen_hero_x = true;
      EXPECT_EQ(v.number, 77);
    }
  }
  EXPECT_TRUE(seen_row_char && seen_hero_x);
  skorvane::obstacles(5).kind = 6;
  EXPECT_EQ(skorvane::list_obstacles().size(), 128u);
  EXPECT_EQ(skorvane::list_obstacles()[5][1], 6);
  EXPECT_EQ(skorvane::list_particles().size(), 512u);
}

}  // namespace
}  // namespace game_test
