// skorvane-packed, the game with its media packed onto it, run alone in an
// empty directory under a private virtual display: it plays its demo replay
// to the end as the normal game does, extracts its music into a directory of
// its own under TMPDIR and leaves nothing there; two copies run at once; a
// damaged archive never crashes it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "archive.h"
#include "json_lite.h"
#include "tests/common/private_display.h"
#include "tests/common/read_file.h"

namespace {

const ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay("800x600x24"));

void write_file(const std::string& path, const std::string& bytes, mode_t mode = 0644) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  chmod(path.c_str(), mode);
}

// Scratch directories, removed at the end when every test passed (kept to
// look at otherwise).
std::vector<std::string>& scratch_dirs() {
  static std::vector<std::string> dirs;
  return dirs;
}

class ScratchCleanup : public ::testing::Environment {
 public:
  void TearDown() override {
    if (!::testing::UnitTest::GetInstance()->Passed()) return;
    for (const std::string& d : scratch_dirs()) (void)std::system(("rm -rf '" + d + "'").c_str());
  }
};
const ::testing::Environment* const kCleanup = ::testing::AddGlobalTestEnvironment(new ScratchCleanup());

std::string scratch_dir() {
  char tmpl[] = "/tmp/skorvane_pack_XXXXXX";
  if (mkdtemp(tmpl)) {
    scratch_dirs().push_back(tmpl);
    return tmpl;
  }
  ADD_FAILURE() << "cannot make a scratch directory under /tmp";
  return "/nonexistent/skorvane_pack";
}

// Names in a directory, "." and ".." left out.
std::set<std::string> list_dir(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    closedir(d);
  }
  return names;
}

// The game copied alone into a fresh directory, with a TMPDIR of its own
// (unless one is given), started in the background.
struct Game {
  std::string dir, tmp, exe;
  pid_t pid = -1;
  int exit_code = -1;
  std::string out, log, state_text;
  Json state;

  void start(const std::string& program, const std::string& bytes, const std::vector<std::string>& args,
             const std::string& shared_tmp = "") {
    dir = scratch_dir();
    tmp = shared_tmp;
    if (tmp.empty()) {
      tmp = dir + "/tmp";
      mkdir(tmp.c_str(), 0700);
    }
    exe = dir + "/" + program;
    write_file(exe, bytes, 0755);
    std::string cmd = "cd '" + dir + "' && exec env TMPDIR='" + tmp +
                      "' SDL_AUDIODRIVER=dummy TAMBLIX_NO_DIALOGS=1 './" + program + "'";
    for (const std::string& a : args) cmd += " '" + a + "'";
    cmd += " --state-out '" + dir + "/state.json' > '" + dir + "/out.txt' 2>&1";
    pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  bool running() {
    if (pid < 0) return false;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != pid) return true;
    finished(status);
    return false;
  }
  void wait() {
    if (pid < 0) return;
    int status = 0;
    waitpid(pid, &status, 0);
    finished(status);
  }
  void finished(int status) {
    pid = -1;
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    out = read_file(dir + "/out.txt");
    log = read_file(tmp + "/ErrorLog.txt");
    state_text = read_file(dir + "/state.json");
    try {
      state = Json::parse(state_text);
    } catch (const std::exception& e) {
      ADD_FAILURE() << "state file: " << e.what() << "\n" << out;
    }
  }
};

void expect_clean_end(const Game& g) {
  EXPECT_EQ(0, g.exit_code) << g.out;
  EXPECT_NE(std::string::npos, g.out.find("exit\n")) << g.out;
  EXPECT_NE(std::string::npos, g.log.find("tmx is shut down\n")) << g.log;
}

// Watches TMPDIR while a game runs: the files seen inside its
// subdirectories, as "subdir/file", and whether each subdirectory was
// private (mode 0700).
struct TempWatch {
  std::set<std::string> seen;
  bool all_private = true;
  void look(const std::string& tmp) {
    for (const std::string& sub : list_dir(tmp)) {
      const std::string p = tmp + "/" + sub;
      struct stat st {};
      if (lstat(p.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
      if ((st.st_mode & 0777) != 0700) all_private = false;
      for (const std::string& f : list_dir(p)) seen.insert(sub + "/" + f);
    }
  }
  // Music extracted under the engine's naming rule inside a directory of the
  // process's own.
  size_t music_dirs() const {
    std::set<std::string> dirs;
    for (const std::string& s : seen) {
      const size_t slash = s.find('/');
      const std::string sub = s.substr(0, slash), file = s.substr(slash + 1);
      if (sub.rfind("tamblix-", 0) == 0 && file.size() == 14 && file.rfind("kpx", 0) == 0 &&
          file.substr(5) == "music.mp3")
        dirs.insert(sub);
    }
    return dirs.size();
  }
};

const std::string& packed_bytes() {
  static const std::string bytes = read_file(SKORVANE_PACKED_EXE);
  return bytes;
}

// A short run that starts a game (and its music) and ends after `frames`.
const std::vector<std::string> start_run(const std::string& dir, int frames) {
  write_file(dir + "/start.txt", "99\n10 57\n11\n");
  return {"--replay", dir + "/start.txt", "--fast", "--frames", std::to_string(frames)};
}

}  // namespace

// The packed game alone plays the demo replay it carries to the "PLOT TWIST"
// screen and ends in the same state as the normal game beside its Media/
// folder; meanwhile its music comes from a private directory in its TMPDIR,
// which it leaves empty but for the error log.
TEST(PackedGame, PlaysTheDemoReplayAloneLikeTheNormalGame) {
  const std::vector<std::string> args = {"--replay", "demo-replay.txt", "--fast", "--frames", "3200"};
  Game packed, normal;
  packed.start("skorvane-packed", packed_bytes(), args);
  // The normal game in its build directory, its Media/ beside it.
  const std::string normal_dir = scratch_dir();
  normal.dir = normal_dir;
  normal.tmp = normal_dir;
  {
    std::string cmd = "cd '" + normal_dir + "' && exec env TMPDIR='" + normal_dir +
                      "' SDL_AUDIODRIVER=dummy TAMBLIX_NO_DIALOGS=1 '" SKORVANE_EXE "' --replay '" SKORVANE_MEDIA
                      "/demo-replay.txt' --fast --frames 3200 --state-out '" +
                      normal_dir + "/state.json' > '" + normal_dir + "/out.txt' 2>&1";
    normal.pid = fork();
    if (normal.pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  TempWatch watch;
  while (packed.running()) {
    watch.look(packed.tmp);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  normal.wait();

  expect_clean_end(packed);
  expect_clean_end(normal);
  const std::set<std::string> beside = {"skorvane-packed", "tmp", "out.txt", "state.json"};
  EXPECT_EQ(beside, list_dir(packed.dir)) << "the packed game needs no file beside it";
  ASSERT_EQ(1001, packed.state["game_state"].num()) << packed.out;
  EXPECT_EQ(40, packed.state["end_lives"].num());
  EXPECT_FALSE(packed.state_text.empty());
  EXPECT_EQ(normal.state_text, packed.state_text);

  EXPECT_EQ(1u, watch.music_dirs()) << ::testing::PrintToString(watch.seen);
  EXPECT_TRUE(watch.all_private);
  EXPECT_EQ(std::set<std::string>{"ErrorLog.txt"}, list_dir(packed.tmp));
}

// Two copies of the packed game at once, one TMPDIR: each plays its music
// from a directory of its own, neither deletes the other's file.
TEST(PackedGame, TwoCopiesAtOnceBothPlayMusic) {
  const std::string tmp = scratch_dir();
  Game a, b;
  const std::string script_dir = scratch_dir();
  const std::vector<std::string> args = start_run(script_dir, 240);
  a.start("skorvane-packed", packed_bytes(), args, tmp);
  b.start("skorvane-packed", packed_bytes(), args, tmp);
  TempWatch watch;
  while (a.running() | b.running()) {
    watch.look(tmp);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (const Game* g : {&a, &b}) {
    expect_clean_end(*g);
    EXPECT_EQ(1, g->state["engine"]["music_playing"].num()) << g->out;
    EXPECT_EQ(1, g->state["game_state"].num());
  }
  EXPECT_EQ(2u, watch.music_dirs()) << ::testing::PrintToString(watch.seen);
  EXPECT_EQ(std::set<std::string>{"ErrorLog.txt"}, list_dir(tmp));
}

// Damaged archives on the packed game: it starts, runs and ends cleanly
// without (some of) its media, and leaves nothing in TMPDIR.
TEST(PackedGame, DamagedArchivesNeverCrashIt) {
  const std::string& good = packed_bytes();
  pack::Archive arc;
  std::string error;
  ASSERT_EQ(pack::Found::ok, pack::read_archive(good, arc, error)) << error;
  const int64_t size = static_cast<int64_t>(good.size());
  auto put_i32 = [](std::string& s, int64_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(at + i)] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
  };
  // Every directory record: (position of P, position of S).
  std::vector<std::pair<int64_t, int64_t>> records;
  int64_t at = arc.dir_pos;
  for (const pack::Entry& e : arc.entries) {
    at += 1 + static_cast<int64_t>(e.name.size());
    records.emplace_back(at, at + 4);
    at += 8;
  }
  struct Case {
    std::string what, bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated in the middle of the archive", good.substr(0, static_cast<size_t>(size - 600000))});
  cases.push_back({"truncated by one byte", good.substr(0, static_cast<size_t>(size - 1))});
  std::string b = good;
  put_i32(b, size - 4, INT32_MIN);
  cases.push_back({"directory before the start of the file", b});
  b = good;
  put_i32(b, size - 4, static_cast<int32_t>(size - 8));
  cases.push_back({"directory at the trailer", b});
  b = good;
  for (auto [p, s] : records) put_i32(b, s, INT32_MAX);
  cases.push_back({"stored sizes past the end", b});
  b = good;
  for (auto [p, s] : records) put_i32(b, p, static_cast<int32_t>(-size - 100));
  cases.push_back({"data positions outside the file", b});
  b = good;
  for (const pack::Entry& e : arc.entries) put_i32(b, e.data_pos, INT32_MAX);
  cases.push_back({"unpacked sizes far too large", b});
  b = good;
  for (const pack::Entry& e : arc.entries) put_i32(b, e.data_pos, e.unpacked > 1 ? e.unpacked / 2 : 0);
  cases.push_back({"unpacked sizes too small", b});
  b = good;
  for (const pack::Entry& e : arc.entries) {
    for (int64_t i = e.data_pos + 4; i < e.data_pos + e.stored; i += 7) b[static_cast<size_t>(i)] ^= 0x5A;
  }
  cases.push_back({"streams garbled", b});

  // Two at a time: the machine has few cores.
  for (size_t i = 0; i < cases.size(); i += 2) {
    std::vector<Game> games(std::min<size_t>(2, cases.size() - i));
    for (size_t k = 0; k < games.size(); ++k) {
      const std::string script_dir = scratch_dir();
      games[k].start("skorvane-damaged", cases[i + k].bytes, start_run(script_dir, 60));
    }
    for (size_t k = 0; k < games.size(); ++k) {
      SCOPED_TRACE(cases[i + k].what);
      games[k].wait();
      expect_clean_end(games[k]);
      EXPECT_EQ(60, games[k].state["engine"]["frames"].num());
      EXPECT_EQ(std::set<std::string>{"ErrorLog.txt"}, list_dir(games[k].tmp));
    }
  }
}
