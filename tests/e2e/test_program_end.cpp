// How a program on the engine ends when it is asked to from outside: SIGINT
// and SIGTERM end it in order while it presents frames, and at once when it
// does not (a loop that never presents a frame, an end that never finishes),
// with exit status 128 + the signal either way. The program is a small probe
// on the engine under a private virtual display.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/private_display.h"
#include "tests/common/read_file.h"

namespace {

const ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay("800x600x24"));

// Generous bounds for a loaded machine: a probe that outlives them is killed
// and the test fails; nothing is measured.
constexpr int kPatienceSteps = 60 * 20;  // 50 ms each

class ProgramEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tmx_end_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    (void)std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  // Starts the probe on the private display, or on `display` (null: none)
  // with `video_driver` as SDL_VIDEODRIVER (null: unset).
  void start(const std::string& mode, const char* display = "", const char* video_driver = nullptr) {
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      setenv("TMPDIR", dir_.c_str(), 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      setenv("TAMBLIX_NO_DIALOGS", "1", 1);
      unsetenv("SDL_VIDEODRIVER");
      if (!display) unsetenv("DISPLAY");
      if (display && *display) setenv("DISPLAY", display, 1);
      if (video_driver) setenv("SDL_VIDEODRIVER", video_driver, 1);
      if (!std::freopen(out_path().c_str(), "w", stdout) || dup2(1, 2) < 0) _exit(126);
      execl(END_PROBE_PATH, END_PROBE_PATH, mode.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Waits until the probe said `text`; false when it ended or took too long.
  bool wait_for(const std::string& text) {
    for (int i = 0; i < kPatienceSteps; ++i) {
      if (output().find(text) != std::string::npos) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return output().find(text) != std::string::npos;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // The exit status, -1 when it was killed by a signal, -2 when it would not
  // end and was killed.
  int wait_end() {
    int status = 0;
    for (int i = 0; i < kPatienceSteps; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -2;
  }
  std::string out_path() const { return dir_ + "/out.txt"; }
  std::string output() const { return read_file(out_path()); }
  std::string log() const { return read_file(dir_ + "/ErrorLog.txt"); }

  std::string dir_;
  pid_t pid_ = -1;
};

TEST_F(ProgramEnd, SignalsEndTheProgramInOrderWhenTheyCanAndAtOnceOtherwise) {
  struct Case {
    const char* mode;
    const char* before_first;   // said before the first signal
    int first;
    const char* before_second;  // said before the second signal (null: one signal)
    int second;
    int exit_code;
    std::vector<const char*> said;    // on standard output/error
    std::vector<const char*> logged;  // in the error log
    bool torn_down;                   // the orderly end ran to its end
  } cases[] = {
      // Frames are presented: the orderly end, with the signal's status.
      {"present", "presenting", SIGTERM, nullptr, 0, 128 + SIGTERM, {"quit callback\n", "exit\n"},
       {"end requested by signal 15\n", "tmx is shut down\n"}, true},
      // A loop that never presents a frame: ended at once.
      {"spin", "spinning", SIGTERM, nullptr, 0, 128 + SIGTERM, {"ended at once by signal 15: "},
       {"ended at once by signal 15: "}, false},
      // An end that never finishes: the second signal ends it at once.
      {"stuck-end", "presenting", SIGINT, "quit callback", SIGINT, 128 + SIGINT,
       {"ended at once by signal 2: a second request to end\n"}, {"end requested by signal 2\n"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    start(c.mode);
    ASSERT_TRUE(wait_for(c.before_first)) << output();
    kill(pid_, c.first);
    if (c.before_second) {
      ASSERT_TRUE(wait_for(c.before_second)) << output();
      kill(pid_, c.second);
    }
    EXPECT_EQ(wait_end(), c.exit_code) << output();
    const std::string out = output(), log_text = log();
    for (const char* s : c.said) EXPECT_NE(out.find(s), std::string::npos) << s << "\n" << out;
    for (const char* s : c.logged) EXPECT_NE(log_text.find(s), std::string::npos) << s << "\n" << log_text;
    EXPECT_EQ(log_text.find("tmx is shut down\n") != std::string::npos, c.torn_down) << log_text;
  }
}

// With no display to show the window on, the program says so and ends with
// exit code 1 instead of drawing where nobody sees it; a driver asked for by
// name is taken as asked.
TEST_F(ProgramEnd, WithoutADisplayTheStartFailsUnlessAnInvisibleDriverIsAskedFor) {
  struct Case {
    const char* name;
    const char* display;  // null: unset
    const char* driver;   // SDL_VIDEODRIVER, null: unset
    int exit_code;
    const char* said;
  } cases[] = {
      {"no DISPLAY", nullptr, nullptr, 1, "no display: DISPLAY is not set"},
      {"a dead display", ":9998", nullptr, 1, "no display: the display \":9998\" cannot be opened"},
      {"the off-screen driver asked for", nullptr, "offscreen", 0, "exit\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    start("three-frames", c.display, c.driver);
    EXPECT_EQ(wait_end(), c.exit_code) << output();
    EXPECT_NE(output().find(c.said), std::string::npos) << output();
    if (c.exit_code == 1) {
      EXPECT_NE(log().find(std::string("window creation failed: ") + c.said + " "), std::string::npos) << log();
      EXPECT_EQ(output().find("exit\n"), std::string::npos) << output();
    }
  }
}

}  // namespace
