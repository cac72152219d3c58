// The outputs of the run options (screenshot, recording, state) are written
// beside their target and renamed over it only when complete: a failure at
// any step leaves what was there as it was, and a target that is not a
// regular file is refused without being touched.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "gfx/frame_capture.h"
#include "runtime/output_file.h"
#include "tests/runtime/rt_test_util.h"

namespace {

class OutputFile : public TempDirTest {
 protected:
  // The names in the folder (a leftover temporary file would show here).
  std::string names(const std::string& dir) const {
    std::vector<std::string> all;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") all.push_back(e->d_name);
      closedir(d);
    }
    std::sort(all.begin(), all.end());
    std::string text;
    for (const std::string& n : all) text += n + " ";
    return text;
  }
  static bool write(const std::string& path, const std::string& bytes, std::string* why_out = nullptr) {
    std::string why;
    const bool ok = runtime_write_output_file(path, bytes.data(), bytes.size(), why);
    if (why_out) *why_out = why;
    EXPECT_EQ(ok, why.empty()) << why;
    return ok;
  }
};

// Runs `body` in a child whose files may not grow past `limit` bytes (a full
// disk), with the signal for that ignored so writes fail as on a full disk.
// The child's exit status is 1 when body returned true.
int with_file_size_limit(rlim_t limit, const std::function<bool()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(body() ? 1 : 0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(OutputFile, NewAndReplacedFilesLeaveNothingElseBehind) {
  const std::string p = path("out.json");
  ASSERT_TRUE(write(p, "first"));
  EXPECT_EQ(rt_read_file(p), "first");
  // A hard link to the old file keeps the old bytes: the new file took the
  // name's place, nothing was truncated.
  ASSERT_EQ(link(p.c_str(), path("old.json").c_str()), 0);
  ASSERT_TRUE(write(p, "second, longer"));
  EXPECT_EQ(rt_read_file(p), "second, longer");
  EXPECT_EQ(rt_read_file(path("old.json")), "first");
  // A private file stays private.
  ASSERT_EQ(chmod(p.c_str(), 0600), 0);
  ASSERT_TRUE(write(p, ""));
  EXPECT_EQ(rt_read_file(p), "");
  struct stat st {};
  ASSERT_EQ(stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(names(dir_), "old.json out.json ");
}

// Targets that exist and are not regular files are refused and stay as they
// were; so are names in folders that do not exist.
TEST_F(OutputFile, TargetsThatAreNotRegularFilesAreRefused) {
  ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
  rt_write_file(path("folder/inside.txt"), "kept");
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0644), 0);
  ASSERT_EQ(symlink(path("nowhere").c_str(), path("dangling").c_str()), 0);
  rt_write_file(path("plain"), "x");
  struct Case {
    std::string target;
    const char* why;
  } cases[] = {
      {path("folder"), "not a file"},
      {path("pipe"), "not a regular file"},  // would wait for a reader
      {"/dev/full", "not a regular file"},
      {"/dev/null", "not a regular file"},
      {path("dangling"), "leads nowhere"},
      {path("missing/out.json"), "no new file can be made"},
      {path("plain/out.json"), "no new file can be made"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(write(c.target, "bytes", &why)) << c.target;
    EXPECT_NE(why.find(c.why), std::string::npos) << c.target << ": " << why;
  }
  struct stat st {};
  ASSERT_EQ(stat(path("pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  ASSERT_EQ(stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  ASSERT_EQ(lstat(path("dangling").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(rt_read_file(path("folder/inside.txt")), "kept");
  EXPECT_EQ(names(dir_), "ErrorLog.txt dangling folder pipe plain ");
  EXPECT_NE(rt_read_file(path("ErrorLog.txt")).find("output " + path("pipe") + ": not a regular file\n"),
            std::string::npos);
}

// A link to a file: the file it leads to gets the new bytes, the link stays.
TEST_F(OutputFile, LinksAreFollowed) {
  ASSERT_EQ(mkdir(path("real").c_str(), 0755), 0);
  rt_write_file(path("real/state.json"), "old");
  ASSERT_EQ(symlink(path("real/state.json").c_str(), path("latest.json").c_str()), 0);
  ASSERT_TRUE(write(path("latest.json"), "new"));
  struct stat st {};
  ASSERT_EQ(lstat(path("latest.json").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(rt_read_file(path("real/state.json")), "new");
  EXPECT_EQ(names(path("real")), "state.json ");
}

// A full disk: the old file keeps its bytes and the unfinished new one is
// gone; the same for a screenshot, which used to be truncated and removed.
TEST_F(OutputFile, AFullDiskLeavesTheOldFileAsItWas) {
  const std::string p = path("out.bin");
  rt_write_file(p, "the old content");
  const std::string big(256 * 1024, 'b');
  EXPECT_EQ(with_file_size_limit(4096, [&] {
              std::string why;
              return runtime_write_output_file(p, big.data(), big.size(), why);
            }),
            0);
  EXPECT_EQ(rt_read_file(p), "the old content");

  const std::string shot = path("shot.png");
  rt_write_file(shot, "the old picture");
  // Noise does not compress: the PNG is far above the limit.
  std::vector<uint8_t> rgba(256 * 256 * 4);
  uint32_t x = 12345;
  for (uint8_t& b : rgba) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  EXPECT_EQ(with_file_size_limit(4096, [&] { return gfx_write_png_file(shot.c_str(), 256, 256, rgba.data()); }), 0);
  EXPECT_EQ(rt_read_file(shot), "the old picture");
  EXPECT_EQ(names(dir_), "ErrorLog.txt out.bin shot.png ");
  // Without the limit both are written.
  std::string why;
  ASSERT_TRUE(gfx_write_png_file(shot.c_str(), 256, 256, rgba.data(), &why)) << why;
  EXPECT_EQ(rt_read_file(shot).substr(1, 3), "PNG");
  EXPECT_FALSE(gfx_write_png_file("/dev/full", 256, 256, rgba.data(), &why));
  EXPECT_NE(why.find("not a regular file"), std::string::npos) << why;
}

// A folder the program may not write into (not testable as root, who may).
TEST_F(OutputFile, AReadOnlyFolderLeavesTheOldFileAsItWas) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
  rt_write_file(path("ro/state.json"), "old");
  ASSERT_EQ(chmod(path("ro").c_str(), 0555), 0);
  std::string why;
  EXPECT_FALSE(write(path("ro/state.json"), "new", &why));
  chmod(path("ro").c_str(), 0755);
  EXPECT_EQ(rt_read_file(path("ro/state.json")), "old");
  EXPECT_EQ(names(path("ro")), "state.json ");
}

}  // namespace
