// The engine's run options and the recorded/replayed input script.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/run_options.h"

namespace {

TEST(InputScript, ParsesKeysAndJoystickAndHoldsEachLineUntilTheNext) {
  const std::string text =
      "4242\n"
      "# a hand-written script\n"
      "\n"
      "1\n"
      "3 205\r\n"
      "5 205 57\n"
      "5 joy -0.5 1 0 -1 0 31\n"
      "9\n";
  InputScript s;
  std::string err;
  ASSERT_TRUE(input_script_parse(text, s, err)) << err;
  EXPECT_EQ(s.seed, 4242u);
  InputScriptPlayer p(s);
  struct Expect { int frame; std::vector<int> down; double joy_x; uint32_t buttons; };
  const Expect steps[] = {
      {1, {}, 0, 0}, {2, {}, 0, 0}, {3, {205}, 0, 0}, {4, {205}, 0, 0},
      {5, {57, 205}, -0.5, (1u << 0) | (1u << 31)}, {8, {57, 205}, -0.5, (1u << 0) | (1u << 31)},
      {9, {}, -0.5, (1u << 0) | (1u << 31)}, {500, {}, -0.5, (1u << 0) | (1u << 31)}};
  for (const Expect& e : steps) {
    p.advance_to(e.frame);
    std::vector<int> down;
    for (int k = 0; k < 256; ++k)
      if (p.keys()[k]) down.push_back(k);
    EXPECT_EQ(down, e.down) << "frame " << e.frame;
    EXPECT_EQ(p.joy().x, e.joy_x) << "frame " << e.frame;
    EXPECT_EQ(p.joy().buttons, e.buttons) << "frame " << e.frame;
  }
  EXPECT_TRUE(p.has_joystick());
  EXPECT_EQ(p.joy().y, 1);
  EXPECT_EQ(p.joy().hat_y, -1);
}

TEST(InputScript, RefusesMalformedScriptsWithTheLine) {
  using namespace std::string_literals;
  struct Case { std::string text; const char* error_part; };
  const Case cases[] = {
      {"", "empty"},
      {"x\n", "line 1"},
      {"1\n0 1\n", "line 2"},           // frames count from 1
      {"1\n5 1\n3 2\n", "line 3"},      // frames go backwards
      {"1\n2 256\n", "line 2"},         // key code out of range
      {"1\n2 -1\n", "line 2"},
      {"1\n2 joy 2 0 0 0\n", "line 2"}, // axis out of range
      {"1\n2 joy 0 0 0\n", "line 2"},   // too few values
      {"1\n2 joy 0 0 0 0 32\n", "line 2"},
      {"1\n2 99999999999999999999999\n", "line 2"},
      // Bytes that are not text: a NUL would end the number before it.
      {"5\n5 57\0" "200\n"s, "line 2: a byte that is not text (0x00)"},
      {"5\0\n"s, "line 1: a byte that is not text"},
      {"5\n# a comment\x01\n", "line 2: a byte that is not text (0x01)"},
      {"5\n1\n2 57\x7F\n", "line 3: a byte that is not text (0x7F)"},
      {"5\n2 57\v\n", "line 2: a byte that is not text (0x0B)"},
      {"5\n2\x1B[A\n", "line 2"},
  };
  for (const Case& c : cases) {
    InputScript s;
    std::string err;
    EXPECT_FALSE(input_script_parse(c.text, s, err)) << c.text;
    EXPECT_NE(err.find(c.error_part), std::string::npos) << c.text << " -> " << err;
  }
}

// Tabs, carriage returns and bytes of UTF-8 text are text.
TEST(InputScript, TabsAndUtf8AreText) {
  InputScript s;
  std::string err;
  ASSERT_TRUE(input_script_parse("5\n# caf\xC3\xA9\n2\t57\t200\r\n", s, err)) << err;
  ASSERT_EQ(s.key_lines.size(), 1u);
  EXPECT_EQ(s.key_lines[0].keys, (std::vector<int>{57, 200}));
}

// Frame numbers use the whole 64-bit range; one step past it is refused.
TEST(InputScript, FrameNumbersReachTheEndOfTheRange) {
  const std::string text =
      "-2147483648\n"
      "1 30\n"
      "9223372036854775806 31 31\n"  // a key listed twice is simply down
      "9223372036854775807 joy 1 -1 1 1 31\n"
      "9223372036854775807 32\n";
  InputScript s;
  std::string err;
  ASSERT_TRUE(input_script_parse(text, s, err)) << err;
  EXPECT_EQ(s.seed, 0x80000000u);
  InputScriptPlayer p(s);
  p.advance_to(9223372036854775806);
  EXPECT_TRUE(p.keys()[31]);
  EXPECT_FALSE(p.keys()[30]);
  EXPECT_EQ(p.joy().x, 0);
  p.advance_to(INT64_MAX);
  EXPECT_TRUE(p.keys()[32]);
  EXPECT_FALSE(p.keys()[31]);
  EXPECT_EQ(p.joy().x, 1);
  EXPECT_EQ(p.joy().buttons, 1u << 31);
  EXPECT_EQ(input_script_format(s),
            "2147483648\n1 30\n9223372036854775806 31 31\n"
            "9223372036854775807 32\n9223372036854775807 joy 1 -1 1 1 31\n");

  EXPECT_FALSE(input_script_parse("1\n9223372036854775808\n", s, err));
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_FALSE(input_script_parse("4294967296\n", s, err));
  EXPECT_NE(err.find("line 1"), std::string::npos) << err;
}

TEST(InputScript, RecorderWritesOnlyChangesAndTheFormatReadsBack) {
  InputScriptRecorder rec(7);
  uint8_t keys[256] = {};
  JoyFrame joy;
  rec.frame(1, keys, &joy);
  rec.frame(2, keys, &joy);  // unchanged: no line
  keys[203] = 1;
  rec.frame(3, keys, &joy);
  joy.x = 0.25;
  joy.buttons = 1u << 2;
  rec.frame(4, keys, &joy);
  keys[203] = 0;
  rec.frame(6, keys, nullptr);
  const std::string text = input_script_format(rec.script());
  EXPECT_EQ(text, "7\n1\n1 joy 0 0 0 0\n3 203\n4 joy 0.25 0 0 0 2\n6\n");

  InputScript back;
  std::string err;
  ASSERT_TRUE(input_script_parse(text, back, err)) << err;
  EXPECT_EQ(input_script_format(back), text);
}

TEST(RunOptions, ParsesTheEngineOptionsAndLeavesTheRest) {
  const char* argv[] = {"prog", "--seed", "12", "--frames", "300", "--replay", "in.txt", "--fast",
                        "--screenshot", "shot.png", "--state-out", "state.json", "--level", "3"};
  RunOptions o;
  std::string err;
  // "--level 3" is an option of a program that reads its own.
  ASSERT_TRUE(core_run_options_parse(14, const_cast<char**>(argv), o, err, true)) << err;
  EXPECT_TRUE(o.seed_given);
  EXPECT_EQ(o.seed, 12u);
  EXPECT_EQ(o.frames, 300);
  EXPECT_EQ(o.replay_path, "in.txt");
  EXPECT_TRUE(o.fast);
  EXPECT_EQ(o.screenshot_path, "shot.png");
  EXPECT_EQ(o.state_out_path, "state.json");
  EXPECT_FALSE(o.help);
}

TEST(RunOptions, ScreenshotFramesAreSortedAndNamedByFrame) {
  const char* argv[] = {"prog", "--screenshot", "out/shot.png", "--screenshot-at", "300,7,45"};
  RunOptions o;
  std::string err;
  ASSERT_TRUE(core_run_options_parse(5, const_cast<char**>(argv), o, err)) << err;
  EXPECT_EQ(o.screenshot_frames, (std::vector<int64_t>{7, 45, 300}));
  EXPECT_EQ(core_screenshot_frame_path(o.screenshot_path, 45), "out/shot-45.png");
  EXPECT_EQ(core_screenshot_frame_path("a.b/shot", 7), "a.b/shot-7");
}

TEST(RunOptions, RefusesMalformedValues) {
  const std::vector<std::vector<const char*>> bad = {
      {"prog", "--seed"},           {"prog", "--seed", "abc"},
      {"prog", "--frames", "0"},    {"prog", "--frames", "-3"},
      {"prog", "--record", "a", "--replay", "b"}, {"prog", "--screenshot", ""},
      {"prog", "--screenshot", "s.png", "--screenshot-at", "3,,5"},
      {"prog", "--screenshot", "s.png", "--screenshot-at", "0"},
      {"prog", "--screenshot", "s.png", "--screenshot-at", "4,"},
      {"prog", "--screenshot-at", "4"}};
  for (const auto& args : bad) {
    RunOptions o;
    std::string err;
    EXPECT_FALSE(core_run_options_parse(static_cast<int>(args.size()), const_cast<char**>(args.data()), o, err))
        << args[1];
    EXPECT_FALSE(err.empty());
  }
}

// A misspelt option is an error, not an argument silently dropped; a program
// that reads options of its own gets the ones the engine does not know, and
// everything after "--" is the program's in any case.
TEST(RunOptions, UnknownDoubleDashOptionsAreRefusedUnlessTheProgramReadsItsOwn) {
  struct Case {
    std::vector<const char*> args;
    bool program_reads_options;
    const char* error;  // empty: accepted
  } cases[] = {
      {{"prog", "--screenshto", "x.png"}, false, "unknown option --screenshto"},
      {{"prog", "--fast", "--seed=4"}, false, "unknown option --seed=4"},
      {{"prog", "--screenshto", "x.png"}, true, ""},
      {{"prog", "--level", "3", "--fast"}, true, ""},
      {{"prog", "-v", "level3", "-"}, false, ""},
  };
  for (const Case& c : cases) {
    RunOptions o;
    std::string err;
    const bool ok = core_run_options_parse(static_cast<int>(c.args.size()), const_cast<char**>(c.args.data()), o, err,
                                           c.program_reads_options);
    EXPECT_EQ(ok, *c.error == 0) << c.args[1] << " " << err;
    EXPECT_EQ(err, c.error) << c.args[1];
  }
  // After "--" nothing is read: --seed there is the program's, not a
  // malformed engine option.
  const char* argv[] = {"prog", "--fast", "--", "--seed"};
  RunOptions o;
  std::string err;
  ASSERT_TRUE(core_run_options_parse(4, const_cast<char**>(argv), o, err)) << err;
  EXPECT_TRUE(o.fast);
  EXPECT_FALSE(o.seed_given);
}

}  // namespace
