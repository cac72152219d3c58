// System commands against real programs: exit codes, failed starts, words
// reaching the child intact, no shell, no zombies, the environment, the
// document handler and the console relay.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include "engine/frame.h"
#include "system/command_line.h"
#include "tamblix.h"
#include "tests/common/read_file.h"

namespace {

void write_script(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  chmod(path.c_str(), 0755);
}

class SystemCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/tamblix-system-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

std::string read_link(const char* path) {
  char buf[4096];
  const ssize_t n = readlink(path, buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// The process's address space in bytes.
rlim_t vm_size() {
  std::istringstream status(read_file("/proc/self/status"));
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return static_cast<rlim_t>(std::stoull(line.substr(7))) * 1024;
  return 0;
}

// The children of this process: all of them, or only the zombies (state Z).
int children_of_ours(bool zombies_only) {
  int count = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return -1;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string stat = read_file(std::string("/proc/") + e->d_name + "/stat");
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) continue;
    char state = 0;
    long ppid = 0;
    if (std::sscanf(stat.c_str() + paren + 1, " %c %ld", &state, &ppid) == 2 && ppid == getpid() &&
        (state == 'Z' || !zombies_only))
      ++count;
  }
  closedir(proc);
  return count;
}
int zombie_children() { return children_of_ours(true); }
int child_count() { return children_of_ours(false); }

}  // namespace

TEST(CommandLine, SplitsLikeAShellWithoutExpanding) {
  struct Case {
    const char* line;
    std::vector<std::string> words;
  } cases[] = {
      {"prog a  b\tc", {"prog", "a", "b", "c"}},
      {"prog 'a b' \"c d\"", {"prog", "a b", "c d"}},
      {"prog \"a\"'b'c", {"prog", "abc"}},
      {"prog \"\" ''", {"prog", "", ""}},
      {"prog a\\ b \"q\\\"x\\\\y\\n\"", {"prog", "a b", "q\"x\\y\\n"}},
      {"prog ; rm -rf $HOME | x && y > z *", {"prog", ";", "rm", "-rf", "$HOME", "|", "x", "&&", "y", ">", "z", "*"}},
      {"  ", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> words;
    ASSERT_TRUE(system_split_command_line(c.line, words)) << c.line;
    EXPECT_EQ(words, c.words) << c.line;
  }
  std::vector<std::string> words;
  for (const char* bad : {"prog 'open", "prog \"open", "prog \\"})
    EXPECT_FALSE(system_split_command_line(bad, words)) << bad;
}

TEST(ShellCommand, WaitsAndGivesTheExitCode) {
  struct Case {
    const char* line;
    double code;
  } cases[] = {
      {"sh -c 'exit 3'", 3},
      {"true", 0},
      {"sh -c 'kill -TERM $$'", 128 + 15},
      {"false ; touch /tmp/tamblix-never-made", 1},
  };
  for (const Case& c : cases) {
    double code = -1;
    EXPECT_EQ(sys_shell_command(c.line, 1, 1, code), 1) << c.line;
    EXPECT_EQ(code, c.code) << c.line;
  }
  struct stat st;
  EXPECT_NE(stat("/tmp/tamblix-never-made", &st), 0) << "the ; ran a second command";
}

// The child blocks on a pipe that only the test can release, so a command
// that waited could return only after the watchdog released it.
TEST_F(SystemCommands, WithoutWaitReturnsWhileTheProgramRunsWithCodeZero) {
  const std::string fifo = path("release"), out = path("ended.txt");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int hold = open(fifo.c_str(), O_RDWR);  // the child's open does not wait for a writer
  ASSERT_GE(hold, 0);
  std::atomic<bool> returned{false}, released_by_watchdog{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 1000 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!returned) {
      released_by_watchdog = true;
      (void)!write(hold, "x\n", 2);
    }
  });
  double code = 99;
  const std::string line = "sh -c 'read x < \"$0\"; echo ended > \"$1\"; exit 3' '" + fifo + "' '" + out + "'";
  EXPECT_EQ(sys_shell_command(line.c_str(), 0, 1, code), 1);
  returned = true;
  watchdog.join();
  EXPECT_FALSE(released_by_watchdog) << "the command waited for the program";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(read_file(out), "") << "the program ended before it was released";
  (void)!write(hold, "x\n", 2);
  for (int i = 0; i < 250 && read_file(out).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(out), "ended\n");
  close(hold);
}

TEST(ShellCommand, AProgramThatCannotStartIsAFailedStart) {
  for (const char* line : {"no-such-program-anywhere-42", "/nonexistent/dir/prog", "", "prog 'unterminated",
                           "/etc/hostname"}) {
    double code = 77;
    EXPECT_EQ(sys_shell_command(line, 1, 1, code), 0) << line;
    EXPECT_EQ(code, 0) << line;
  }
}

TEST_F(SystemCommands, QuotedWordsReachTheChildIntact) {
  const std::string out = path("args.txt");
  std::string line = "sh -c 'printf \"[%s]\" \"$@\" > \"$0\"' '" + out + "' \"a b  c\" 'semi;colon' '$HOME'";
  double code = -1;
  ASSERT_EQ(sys_shell_command(line.c_str(), 1, 0, code), 1);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(read_file(out), "[a b  c][semi;colon][$HOME]");
}

TEST_F(SystemCommands, OnlyTheStandardDescriptorsAreInherited) {
  int leaked = open("/dev/null", O_RDONLY);  // no close-on-exec
  ASSERT_GE(leaked, 3);
  const std::string out = path("fds.txt");
  std::string line = "sh -c 'ls /proc/self/fd > \"$0\"' '" + out + "'";
  double code = -1;
  ASSERT_EQ(sys_shell_command(line.c_str(), 1, 0, code), 1);
  close(leaked);
  // ls sees 0, 1, 2, the descriptor of its own listing (3) and nothing else.
  EXPECT_EQ(read_file(out), "0\n1\n2\n3\n");
}

// A program named without a directory is taken from beside the running
// program first, then from PATH, never from the working directory; a name
// with a directory is taken as it is.
TEST_F(SystemCommands, ABareNameIsLookedForBesideTheProgramThenAlongPath) {
  const std::string exe = read_link("/proc/self/exe");
  const std::string beside_dir = exe.substr(0, exe.rfind('/'));
  const std::string name = "tamblix-helper-" + std::to_string(getpid());
  const std::string record = path("ran.txt");
  ASSERT_EQ(mkdir(path("on-path").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(path("cwd").c_str(), 0700), 0);
  auto helper = [&](const std::string& where, const std::string& says) {
    write_script(where + "/" + name, "#!/bin/sh\nprintf '" + says + " %s' \"$1\" > '" + record + "'\n");
  };
  helper(beside_dir, "beside");
  helper(path("on-path"), "path");
  helper(path("cwd"), "cwd");
  struct Restore {
    std::string beside, old_path, old_cwd;
    ~Restore() {
      unlink(beside.c_str());
      setenv("PATH", old_path.c_str(), 1);
      (void)!chdir(old_cwd.c_str());
    }
  } restore{beside_dir + "/" + name, std::getenv("PATH") ? std::getenv("PATH") : "", read_link("/proc/self/cwd")};
  setenv("PATH", (path("on-path") + ":" + restore.old_path).c_str(), 1);
  ASSERT_EQ(chdir(path("cwd").c_str()), 0);

  auto run = [&](const std::string& program) {
    unlink(record.c_str());
    double code = -1;
    const int started = sys_shell_command((program + " word").c_str(), 1, 0, code);
    return std::to_string(started) + " " + read_file(record);
  };
  EXPECT_EQ(run(name), "1 beside word");
  EXPECT_EQ(run("./" + name), "1 cwd word");
  unlink(record.c_str());
  EXPECT_EXIT(sys_shell_end((name + " at-end").c_str()), ::testing::ExitedWithCode(0), "");
  for (int i = 0; i < 250 && read_file(record).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(record), "beside at-end");
  unlink(restore.beside.c_str());
  EXPECT_EQ(run(name), "1 path word");
  unlink((path("on-path") + "/" + name).c_str());
  EXPECT_EQ(run(name), "0 ") << "the working directory was searched";
}

TEST(ShellCommand, NoZombieAfterAHundredStartsWithoutWaiting) {
  for (int i = 0; i < 100; ++i) {
    double code = 0;
    ASSERT_EQ(sys_shell_command("true", 0, 0, code), 1);
  }
  int zombies = -1;
  for (int i = 0; i < 100; ++i) {
    zombies = zombie_children();
    if (zombies == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(zombies, 0);
}

// The reaper waits for the engine's children only: a child the program
// started itself is still there for its own waitpid.
TEST(ShellCommand, ChildrenStartedByOtherCodeAreLeftToIt) {
  const pid_t own = fork();
  ASSERT_GE(own, 0);
  if (own == 0) _exit(7);
  for (int i = 0; i < 20; ++i) {
    double code = 0;
    ASSERT_EQ(sys_shell_command("true", 0, 0, code), 1);
  }
  // Once the engine's children are gone, ours has long been a zombie.
  for (int i = 0; i < 250 && zombie_children() > 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int status = 0;
  ASSERT_EQ(waitpid(own, &status, 0), own);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
}

// Children started without waiting while no thread can be started (an
// address-space limit with no room for a thread's stack): the program goes
// on, the ended children are reaped at the next start, and by the reaper
// thread once threads can start again. Run in a fresh process (the death
// test re-runs this program), so no thread stack is left over to reuse.
TEST(ShellCommand, ChildrenAreReapedWhenNoThreadCanStart) {
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        rlimit old{};
        getrlimit(RLIMIT_AS, &old);
        rlimit low = old;
        low.rlim_cur = vm_size() + (2 << 20);
        if (setrlimit(RLIMIT_AS, &low) != 0) _exit(10);
        bool thread_failed = false;
        try {
          std::thread([] {}).join();
        } catch (const std::system_error&) {
          thread_failed = true;
        }
        if (!thread_failed) _exit(11);  // the limit does not keep threads from starting

        double code = 0;
        for (int i = 0; i < 20; ++i)
          if (sys_shell_command("true", 0, 0, code) != 1) _exit(12);
        // Every child ends; with no thread those that ended after the last
        // start (the last one at least) wait as zombies ...
        for (int i = 0; i < 500 && zombie_children() < child_count(); ++i) poll(nullptr, 0, 20);
        if (zombie_children() < 1 || zombie_children() != child_count()) _exit(13);
        // ... for the next start, which reaps them.
        if (sys_shell_command("true", 1, 0, code) != 1 || code != 0) _exit(14);
        if (zombie_children() != 0) _exit(15);

        // With threads possible again the reaper takes over.
        setrlimit(RLIMIT_AS, &old);
        if (sys_shell_command("true", 0, 0, code) != 1) _exit(16);
        for (int i = 0; i < 500 && child_count() > 0; ++i) poll(nullptr, 0, 20);
        _exit(child_count() == 0 ? 0 : 17);
      },
      ::testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
}

TEST(Environment, RoundTripListingAndBadNames) {
  sys_set_env("TAMBLIX_TEST_VAR", "one two=three");
  EXPECT_STREQ(sys_get_env("TAMBLIX_TEST_VAR").c_str(), "one two=three");
  EXPECT_STREQ(sys_get_env("TAMBLIX_TEST_UNSET_VAR").c_str(), "");
  std::string all = sys_get_env("").c_str();
  EXPECT_NE(all.find("TAMBLIX_TEST_VAR=one two=three\n"), std::string::npos);
  EXPECT_EQ(all.back(), '\n');

  for (const char* bad : {"", "A=B", "=X"}) {
    clear_error();
    sys_set_env(bad, "changed");
    EXPECT_EQ(g_error_state.code, 7) << bad;
  }
  EXPECT_EQ(std::getenv("A"), nullptr);
  EXPECT_STREQ(sys_get_env("TAMBLIX_TEST_VAR").c_str(), "one two=three");
}

// An empty value removes the variable, for this program and for the programs
// it starts; removing one that is not set is no error.
TEST_F(SystemCommands, AnEmptyValueRemovesTheVariable) {
  for (int round = 0; round < 2; ++round) {
    sys_set_env("TAMBLIX_TEST_GONE", round == 0 ? "here" : "");
    clear_error();
    sys_set_env("TAMBLIX_TEST_GONE", "");
    EXPECT_EQ(g_error_state.code, 0);
    EXPECT_EQ(std::getenv("TAMBLIX_TEST_GONE"), nullptr);
    EXPECT_STREQ(sys_get_env("TAMBLIX_TEST_GONE").c_str(), "");
    EXPECT_EQ(std::string(sys_get_env("").c_str()).find("TAMBLIX_TEST_GONE"), std::string::npos);
  }
  const std::string out = path("child-env.txt");
  std::string line = "sh -c 'printf %s \"${TAMBLIX_TEST_GONE-unset}\" > \"$0\"' '" + out + "'";
  double code = -1;
  ASSERT_EQ(sys_shell_command(line.c_str(), 1, 0, code), 1);
  EXPECT_EQ(read_file(out), "unset");
}

TEST_F(SystemCommands, OpenDocumentHandsTheNameToTheDefaultHandler) {
  const std::string record = path("opened.txt");
  write_script(path("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + record + "'\n");
  const std::string old_path = std::getenv("PATH");
  setenv("PATH", (dir_ + ":" + old_path).c_str(), 1);

  // Quit keys off: the program goes on.
  g_runtime.frame.exitKeysEnabled = 0;
  sys_open_document("https://example.invalid/a b?x=1;y");
  g_runtime.frame.exitKeysEnabled = 1;
  for (int i = 0; i < 100 && read_file(record).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(record), "https://example.invalid/a b?x=1;y");

  // Quit keys on (the default): the handler gets the name and the program ends.
  unlink(record.c_str());
  EXPECT_EXIT(
      {
        sys_open_document("/some/file name.txt");
        std::_Exit(3);  // not reached
      },
      ::testing::ExitedWithCode(0), "");
  for (int i = 0; i < 100 && read_file(record).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(record), "/some/file name.txt");
  setenv("PATH", old_path.c_str(), 1);
}

TEST_F(SystemCommands, ShellEndStartsTheProgramAfterTheTeardownAndEnds) {
  const std::string record = path("after.txt");
  std::string line = "sh -c 'echo started > \"$0\"' '" + record + "'";
  EXPECT_EXIT(sys_shell_end(line.c_str()), ::testing::ExitedWithCode(0), "");
  for (int i = 0; i < 100 && read_file(record).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(record), "started\n");
}

TEST_F(SystemCommands, ConsoleConnectsStandardStreamsToATerminalWindow) {
  // A stand-in terminal: runs the command after -e with its screen and
  // keyboard being two files.
  const std::string screen = path("screen.txt"), keyboard = path("keyboard.txt"), got = path("got.txt");
  std::ofstream(keyboard) << "typed line\n";
  write_script(path("x-terminal-emulator"),
               "#!/bin/sh\nshift\nexec \"$@\" < '" + keyboard + "' > '" + screen + "' 2>/dev/null\n");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    setenv("PATH", (dir_ + ":/usr/bin:/bin").c_str(), 1);
    sys_open_console();
    std::printf("hello console\n");
    std::fflush(stdout);
    char line[64] = {0};
    if (!std::fgets(line, sizeof line, stdin)) _exit(2);
    std::ofstream(got) << line;
    // The relay reads what was written only while the program still holds
    // its end of the pipe: wait for the screen to show it.
    for (int i = 0; i < 250 && read_file(screen).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    _exit(0);
  }
  int status = 0;
  for (int i = 0; i < 250 && waitpid(child, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "the console relay hung";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(read_file(got), "typed line\n");
  for (int i = 0; i < 100 && read_file(screen).empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(read_file(screen), "hello console\n");
}

TEST(FileDialog, CommandsForZenityAndKdialog) {
  using V = std::vector<std::string>;
  EXPECT_EQ(system_file_dialog_command("/usr/bin/zenity", true, "Images|*.png;*.bmp|All|*", "/w"),
            (V{"/usr/bin/zenity", "--file-selection", "--filename=/w/", "--file-filter=Images | *.png *.bmp",
               "--file-filter=All | *"}));
  EXPECT_EQ(system_file_dialog_command("/usr/bin/zenity", false, "Text|*.txt", "/w"),
            (V{"/usr/bin/zenity", "--file-selection", "--filename=/w/", "--save", "--confirm-overwrite",
               "--file-filter=Text | *.txt"}));
  // One description, one bar, one pattern: exactly one choice; a lone
  // description none.
  EXPECT_EQ(system_file_dialog_command("zenity", true, "Only", "/w"),
            (V{"zenity", "--file-selection", "--filename=/w/"}));
  EXPECT_EQ(system_file_dialog_command("/usr/bin/kdialog", false, "Images|*.png;*.bmp|All|*", "/w"),
            (V{"/usr/bin/kdialog", "--getsavefilename", "/w/", "*.png *.bmp|Images\n*|All"}));
}

TEST_F(SystemCommands, FileDialogWithoutADialogProgramGivesNoFile) {
  const std::string old_path = std::getenv("PATH");
  setenv("PATH", dir_.c_str(), 1);
  EXPECT_STREQ(sys_file_dialog(1, "All|*").c_str(), "NO_FILE");
  setenv("PATH", old_path.c_str(), 1);
}
