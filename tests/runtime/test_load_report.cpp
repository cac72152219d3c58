// The log lines of failed loads and refused arguments: one short line each,
// readable whatever the name, and a refusal repeated every frame cannot flood
// the log.
#include "runtime/load_report.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/program_end.h"
#include "tamblix/errors.h"
#include "tests/common/read_file.h"

namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class LoadReport : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tmx_report_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TMPDIR", dir_.c_str(), 1);
    runtime_report_reset_counts();
  }
  void TearDown() override {
    core_debug_channel_override(-1);
    runtime_report_reset_counts();
    unsetenv("TMPDIR");
    std::filesystem::remove_all(dir_);
  }
  std::string log() { return read_file(error_log_path()); }
  std::string dir_;
};

TEST_F(LoadReport, NamesAreCutToTheirEndAndCleanedToOneLine) {
  const std::string tail = "/deep/folder/hero.png";
  struct Case {
    std::string name, shown;
  } cases[] = {
      {"Media/hero.png", "Media/hero.png"},
      {"", "(no file name)"},
      {"two\nlines\r\x7f.png", "two?lines??.png"},
      // The end of a long path is kept: it names the file.
      {std::string(300, 'a') + tail, "..." + std::string(157 - tail.size(), 'a') + tail},
      // A cut never starts inside a UTF-8 character: 157 bytes from the end
      // falls on the second byte of an "é", so the line keeps 78 whole ones.
      {std::string(200, 'b') + repeat("\xC3\xA9", 100), "..." + repeat("\xC3\xA9", 78)},
  };
  for (const Case& c : cases) {
    std::remove(error_log_path());
    clear_error();
    runtime_report_failed_load("gfx_load_sprite", c.name.c_str(), "not found");
    EXPECT_EQ(g_error_state.code, TMX_ERR_NO_SUCH_FILE);
    EXPECT_EQ(log(), "gfx_load_sprite: " + c.shown + ": not found\n") << c.name;
  }
}

TEST_F(LoadReport, EachCommandLogsItsFirstSixteenRefusalsAndAlwaysRecordsTheCode) {
  for (int i = 0; i < 40; ++i) {
    clear_error();
    runtime_report_refused("snd_play", "slot -1 outside 0..4095", TMX_ERR_OUT_OF_MEMORY);
    EXPECT_EQ(g_error_state.code, TMX_ERR_OUT_OF_MEMORY) << i;
  }
  // Another command has a count of its own.
  runtime_report_refused("gfx_use_screen", "screen 40 outside 0..31", TMX_ERR_OUT_OF_MEMORY);
  std::string expected;
  for (int i = 0; i < 15; ++i) expected += "snd_play: slot -1 outside 0..4095 (error 7)\n";
  expected += "snd_play: slot -1 outside 0..4095 (error 7; later refusals of snd_play are not logged)\n";
  expected += "gfx_use_screen: screen 40 outside 0..31 (error 7)\n";
  EXPECT_EQ(log(), expected);
}

TEST_F(LoadReport, LinesAlsoGoToTheDebuggerChannelAfterTheErrorCode) {
  core_debug_channel_override(1);
  testing::internal::CaptureStderr();
  runtime_report_failed_load("snd_load", "boom.wav", "not a RIFF/WAVE file");
  runtime_report_refused("gfx_set_font", "font slot 32 outside 0..31", TMX_ERR_OUT_OF_MEMORY);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "TXerror: 3\nTXsnd_load: boom.wav: not a RIFF/WAVE file\n"
            "TXerror: 7\nTXgfx_set_font: font slot 32 outside 0..31 (error 7)\n");
  core_debug_channel_override(0);
  testing::internal::CaptureStderr();
  runtime_report_failed_load("snd_load", "boom.wav", "not found");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
