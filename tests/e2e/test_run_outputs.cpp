// The outputs of the run options on the real game: relative names are taken
// from the folder the game was started in, an output that cannot be written
// never damages what is there and makes the run end with exit code 3, and a
// replay script that is not a regular file is refused at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/private_display.h"
#include "tests/common/read_file.h"

namespace {

const ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay("800x600x24"));

bool exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

struct GameRun {
  int exit_code = -1;  // -1: killed after the time-out
  std::string out;     // standard output and error
};

class RunOutputs : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/skorvane_out_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { (void)std::system(("chmod -R u+w '" + dir_ + "'; rm -rf '" + dir_ + "'").c_str()); }

  // Runs the game in `cwd` (the scratch folder when empty) with three fast
  // frames; `file_limit` > 0 makes files stop growing at that size (a full
  // disk).
  GameRun game(const std::vector<std::string>& args, const std::string& cwd = "", rlim_t file_limit = 0) {
    const std::string out = dir_ + "/out.txt";
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir((cwd.empty() ? dir_ : cwd).c_str()) != 0) _exit(126);
      setenv("TMPDIR", dir_.c_str(), 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      setenv("TAMBLIX_NO_DIALOGS", "1", 1);
      if (!std::freopen(out.c_str(), "w", stdout) || dup2(1, 2) < 0) _exit(126);
      if (file_limit > 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{file_limit, file_limit};
        setrlimit(RLIMIT_FSIZE, &rl);
      }
      std::vector<const char*> argv = {SKORVANE_EXE, "--fast", "--frames", "3"};
      for (const std::string& a : args) argv.push_back(a.c_str());
      argv.push_back(nullptr);
      execv(SKORVANE_EXE, const_cast<char**>(argv.data()));
      _exit(127);
    }
    GameRun r;
    int status = 0;
    bool done = false;
    for (int i = 0; i < 60 * 20 && !done; ++i) {
      done = waitpid(pid, &status, WNOHANG) == pid;
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!done) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    } else if (WIFEXITED(status)) {
      r.exit_code = WEXITSTATUS(status);
    }
    r.out = read_file(out);
    return r;
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

std::string media_dir() {
  const std::string exe = SKORVANE_EXE;
  return exe.substr(0, exe.rfind('/')) + "/Media";
}

// Relative names are the user's: beside where the game was started, not in
// the media folder the game works in.
TEST_F(RunOutputs, RelativeNamesAreTakenFromTheStartFolder) {
  ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
  GameRun r = game({"--seed", "5", "--state-out", "out.json", "--record", "sub/rec.txt", "--screenshot", "shot.png"});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(read_file(path("out.json")).find("\"engine\":{\"frames\":3,\"seed\":5"), std::string::npos);
  EXPECT_EQ(read_file(path("sub/rec.txt")), "5\n1\n");
  EXPECT_EQ(read_file(path("shot.png")).substr(1, 3), "PNG");
  for (const char* name : {"out.json", "shot.png", "sub"}) EXPECT_FALSE(exists(media_dir() + "/" + name)) << name;

  // The recording replays by its relative name, from a folder below.
  r = game({"--replay", "../sub/rec.txt", "--state-out", "../again.json"}, path("sub"));
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(read_file(path("again.json")).find("\"seed\":5"), std::string::npos) << r.out;
}

// Each output that cannot be written is named with its reason, the others
// are still written, what was in the way is untouched, and the run ends with
// exit code 3 after its orderly end.
TEST_F(RunOutputs, AFailedOutputEndsTheRunWithCode3AndDamagesNothing) {
  ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* said;
  } cases[] = {
      {"state into a missing folder", {"--state-out", path("missing/s.json")},
       "cannot write the state to " },
      {"recording to a full device", {"--record", "/dev/full"}, "cannot write the recording to /dev/full: not a regular file"},
      {"screenshot to a full device", {"--screenshot", "/dev/full"},
       "cannot write the screenshot to /dev/full: not a regular file"},
      {"screenshot onto a folder", {"--screenshot", path("folder")}, "cannot write the screenshot to "},
      {"state into a named pipe", {"--state-out", path("pipe")}, "cannot write the state to "},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--state-out", path("fine.json")});
    if (c.args[0] == "--state-out") args.resize(2);
    std::remove(path("fine.json").c_str());
    GameRun r = game(args);
    EXPECT_EQ(r.exit_code, 3) << c.name << "\n" << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << c.name << "\n" << r.out;
    EXPECT_NE(r.out.find("exit\n"), std::string::npos) << c.name;
    if (c.args[0] != "--state-out") {
      EXPECT_TRUE(exists(path("fine.json"))) << c.name;
    }
  }
  struct stat st {};
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  ASSERT_EQ(stat(path("pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(stat(path("folder").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_FALSE(exists(path("missing")));
}

// A full disk: the screenshot of the title (far above the limit) fails, the
// old picture stays, the small state file is still written.
TEST_F(RunOutputs, AFullDiskKeepsTheOldScreenshot) {
  std::ofstream(path("shot.png")) << "the old picture";
  GameRun r = game({"--frames", "40", "--screenshot", path("shot.png"), "--state-out", path("s.json")}, "", 64 * 1024);
  EXPECT_EQ(r.exit_code, 3) << r.out;
  EXPECT_NE(r.out.find("cannot write the screenshot to " + path("shot.png")), std::string::npos) << r.out;
  EXPECT_EQ(read_file(path("shot.png")), "the old picture");
  EXPECT_NE(read_file(path("s.json")).find("\"engine\""), std::string::npos);
}

// A state file into a folder the game may not write into (root may).
TEST_F(RunOutputs, AReadOnlyFolderEndsWithCode3) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
  std::ofstream(path("ro/s.json")) << "old";
  ASSERT_EQ(chmod(path("ro").c_str(), 0555), 0);
  GameRun r = game({"--state-out", path("ro/s.json")});
  EXPECT_EQ(r.exit_code, 3) << r.out;
  EXPECT_EQ(read_file(path("ro/s.json")), "old");
}

// Replay scripts that are not regular files are refused at the start (code 2)
// instead of reading nothing or waiting for ever.
TEST_F(RunOutputs, ReplayOfSomethingElseThanAFileIsRefused) {
  ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
  std::ofstream(path("nul.txt")) << std::string("5\n5 57\0" "200\n", 11);
  struct Case {
    std::string script;
    std::string said;
  } cases[] = {
      {"folder", "cannot replay folder: not a file"},
      {"pipe", "cannot replay pipe: not a regular file"},
      {"/dev/zero", "cannot replay /dev/zero: not a regular file"},
      {"nul.txt", "cannot replay nul.txt: line 2: a byte that is not text (0x00)"},
      {"none.txt", "cannot replay none.txt: the file cannot be read"},
  };
  for (const Case& c : cases) {
    GameRun r = game({"--replay", c.script});
    EXPECT_EQ(r.exit_code, 2) << c.script << "\n" << r.out;
    EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
  }
}

// A misspelt option is not dropped: the usage text, exit code 2, and the game
// never starts, so nothing is written.
TEST_F(RunOutputs, AMisspeltOptionEndsWithTheUsageAndCode2) {
  GameRun r = game({"--screenshto", path("x.png")});
  EXPECT_EQ(r.exit_code, 2) << r.out;
  EXPECT_NE(r.out.find("unknown option --screenshto\nEngine options:\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("exit\n"), std::string::npos) << r.out;
  EXPECT_FALSE(exists(path("x.png")));
}

}  // namespace
