// File channels, whole-file commands and line files: real files in a scratch
// directory, memory files, the fatal paths, and replacement that never loses
// the old file when a write fails half way.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/files.h"
#include "core/program_end.h"
#include "runtime/virtual_file.h"
#include "tamblix.h"
#include "tests/runtime/archive_writer.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/tamblix-files-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    core_debug_channel_override(1);  // fatal errors say their code on stderr
    // The program's end closes the channels as the engine's teardown does.
    core_program_end_install(&files_close_all);
    clear_error();
  }
  void TearDown() override {
    files_close_all();
    core_program_end_install(nullptr);
    core_debug_channel_override(-1);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Names in the directory (the scratch files a failed write could leave).
  std::string listing() const {
    std::string names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' || (e->d_name[1] != 0 && e->d_name[1] != '.')) names += std::string(e->d_name) + " ";
    closedir(d);
    return names;
  }
  std::string dir_;
};

using FilesDeathTest = Files;

// Limits the files this process may grow to `limit` bytes (a full disk),
// with the signal that limit sends at its default: the engine must turn it
// into a failed write, not end by it.
void limit_file_size(rlim_t limit) {
  signal(SIGXFSZ, SIG_DFL);
  rlimit rl{limit, limit};
  setrlimit(RLIMIT_FSIZE, &rl);
}

// Runs `body` in a child whose files may not grow past `limit` bytes. The
// child's error code is its exit status; -1 when a signal ended it.
int with_file_size_limit(rlim_t limit, const std::function<void()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_DFL);
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    clear_error();
    body();
    _exit(g_error_state.code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_F(Files, LinesAndTextRoundTrip) {
  const std::string p = path("lines.txt");
  ASSERT_EQ(sys_open_file(0, p.c_str(), 0), 1);
  sys_write_line(0, "abc");
  sys_write_line(0, "");
  sys_write_text(0, "12\n-3.5\r\nlast");
  sys_close_file(0);
  EXPECT_EQ(slurp(p), "abc\r\n\r\n12\n-3.5\r\nlast");

  ASSERT_EQ(sys_open_file(1, p.c_str(), 1), 1);
  BasicString s;
  sys_read_line(1, s);
  EXPECT_STREQ(s.c_str(), "abc");
  sys_read_line(1, s);
  EXPECT_STREQ(s.c_str(), "");
  int32_t i = 0;
  double r = 0;
  sys_read_int_line(1, i);
  sys_read_real_line(1, r);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(r, -3.5);
  sys_read_line(1, s);  // the last line has no line feed: read whole
  EXPECT_STREQ(s.c_str(), "last");
  EXPECT_EQ(sys_file_position(1), static_cast<int64_t>(slurp(p).size()));
}

TEST_F(Files, LongLinesComeIn1024BytePieces) {
  const std::string p = path("long.txt");
  spit(p, std::string(1500, 'a') + "\r\n" + std::string("ab\0cd\r\n", 7) + std::string(64, 'b'));
  ASSERT_EQ(sys_open_file(2, p.c_str(), 1), 1);
  BasicString s;
  sys_read_line(2, s);
  EXPECT_EQ(s.length(), 1024u);
  sys_read_line(2, s);
  EXPECT_EQ(std::string(s.c_str()), std::string(476, 'a'));
  // A zero byte ends the text; the line still ends at its line feed.
  sys_read_line(2, s);
  EXPECT_EQ(s.length(), 2u);
  EXPECT_STREQ(s.c_str(), "ab");
  // A last line of exactly 64 bytes without a line feed is still a line.
  sys_read_line(2, s);
  EXPECT_EQ(std::string(s.c_str()), std::string(64, 'b'));
}

// Lines of every length up to past 1024 bytes, with carriage returns, zero
// bytes and lines across the edges of the read-ahead, read from a disk file
// and from a packed (memory) file, against a plain model of the line read:
// up to 1024 bytes until a line feed, the line feed and a carriage return
// before it dropped (on disk also one before the file's end), the text cut at
// a zero byte.
TEST_F(Files, LineReadsMatchTheModelOnDiskAndInMemory) {
  // Line feeds at and around the 1024-byte limit first.
  std::string data;
  for (size_t n : {1022, 1023, 1024, 1025})
    for (const char* end : {"\n", "\r\n"}) data += std::string(n, 'x') + end;
  uint32_t seed = 7;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  while (data.size() < 200 * 1024) {
    const uint32_t kind = next(10);
    const size_t len = kind == 0 ? 1000 + next(100) : kind == 1 ? next(3) : next(120);
    std::string line(len, 'a');
    for (char& c : line) c = static_cast<char>('a' + next(26));
    if (len > 0 && next(8) == 0) line[next(static_cast<uint32_t>(len))] = '\0';
    if (len > 0 && next(8) == 0) line[next(static_cast<uint32_t>(len))] = '\r';
    data += line;
    data += next(3) == 0 ? "\n" : "\r\n";
  }
  data += "end\r";  // the last line: no line feed; only the disk read drops its CR
  std::vector<std::string> want[2];
  for (const bool memory : {false, true}) {
    for (size_t pos = 0; pos < data.size();) {
      const size_t take = std::min<size_t>(data.size() - pos, 1024);
      const size_t lf = data.find('\n', pos);
      std::string line;
      if (lf != std::string::npos && lf < pos + take) {
        line = data.substr(pos, lf - pos);
        pos = lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
      } else {
        line = data.substr(pos, take);
        pos += take;
        // The disk read's short last piece gets a line feed after it; a memory
        // file removes a carriage return only before a line feed.
        if (!memory && take < 1024 && !line.empty() && line.back() == '\r') line.pop_back();
      }
      want[memory].push_back(line.substr(0, line.find('\0')));
    }
  }
  spit(path("lines.txt"), data);
  spit(path("game.exe"), build_archive("EXE", {{"packed.txt", data, "", 0, -1}}, false));
  runtime_set_archive_path(path("game.exe").c_str(), path("game.exe").c_str());
  ASSERT_EQ(sys_open_file(0, path("lines.txt").c_str(), 1), 1);
  ASSERT_EQ(sys_open_file(1, "packed.txt", 1), 1);
  for (int channel : {0, 1}) {
    BasicString s;  // one text for every line: its room is reused
    const std::vector<std::string>& lines = want[channel];  // channel 1 reads the memory file
    for (size_t i = 0; i < lines.size(); ++i) {
      sys_read_line(channel, s);
      ASSERT_EQ(std::string(s.c_str(), s.length()), lines[i]) << "channel " << channel << ", line " << i;
    }
    EXPECT_EQ(sys_file_position(channel), static_cast<int64_t>(data.size()));
  }
  files_close_all();
  runtime_release_resolvers();
}

TEST_F(Files, TypedValuesAreLittleEndian) {
  const std::string p = path("typed.bin");
  ASSERT_EQ(sys_open_file(3, p.c_str(), 0), 1);
  sys_write_u16(3, -1);
  sys_write_i16(3, -1);
  sys_write_u8(3, 0x1FF);
  sys_write_i8(3, -2);
  sys_write_i32(3, -123456789);
  sys_write_u32(3, 4294967295LL);
  sys_write_f32(3, 1.5);
  sys_write_f64(3, -0.1);
  sys_close_file(3);
  const std::string bytes = slurp(p);
  ASSERT_EQ(bytes.size(), 2u + 2 + 1 + 1 + 4 + 4 + 4 + 8);
  EXPECT_EQ(bytes.substr(0, 6), std::string("\xFF\xFF\xFF\xFF\xFF\xFE", 6));
  EXPECT_EQ(bytes.substr(14, 4), std::string("\x00\x00\xC0\x3F", 4));

  ASSERT_EQ(sys_open_file(3, p.c_str(), 1), 1);
  int32_t v = 0;
  int64_t big = 0;
  double d = 0;
  sys_read_u16(3, v);
  EXPECT_EQ(v, 65535);
  sys_read_i16(3, v);
  EXPECT_EQ(v, -1);
  sys_read_u8(3, v);
  EXPECT_EQ(v, 255);
  sys_read_i8(3, v);
  EXPECT_EQ(v, -2);
  sys_read_i32(3, v);
  EXPECT_EQ(v, -123456789);
  sys_read_u32(3, big);
  EXPECT_EQ(big, 4294967295LL);
  sys_seek_file(3, -4, 1);
  sys_read_u32(3, d);
  EXPECT_EQ(d, 4294967295.0);
  sys_read_f32(3, d);
  EXPECT_EQ(d, 1.5);
  sys_read_f64(3, d);
  EXPECT_EQ(d, -0.1);
}

TEST_F(Files, SeekOriginsAndModes) {
  const std::string p = path("seek.bin");
  spit(p, "0123456789");
  ASSERT_EQ(sys_open_file(4, p.c_str(), 1), 1);
  sys_seek_file(4, -4, -1);
  EXPECT_EQ(sys_file_position(4), 6);
  sys_seek_file(4, 2, 1);
  EXPECT_EQ(sys_file_position(4), 8);
  sys_seek_file(4, 3, 0);
  EXPECT_EQ(sys_file_position(4), 3);
  int32_t v = 0;
  sys_read_u8(4, v);
  EXPECT_EQ(v, '3');
  // Before the start: refused, the position stays.
  sys_seek_file(4, -20, -1);
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(sys_file_position(4), 4);

  // Append keeps the file and writes after its end; write empties it.
  ASSERT_EQ(sys_open_file(4, p.c_str(), -1), 1);
  EXPECT_EQ(sys_file_position(4), 10);
  sys_write_text(4, "AB");
  sys_close_file(4);
  EXPECT_EQ(slurp(p), "0123456789AB");
  // An appending channel writes where a seek put it.
  ASSERT_EQ(sys_open_file(4, p.c_str(), -1), 1);
  sys_seek_file(4, 0, 0);
  sys_write_text(4, "X");
  EXPECT_EQ(sys_file_position(4), 1);
  sys_seek_file(4, 0, -1);
  sys_write_text(4, "Z");
  sys_close_file(4);
  EXPECT_EQ(slurp(p), "X123456789ABZ");
  ASSERT_EQ(sys_open_file(4, p.c_str(), 0), 1);
  sys_close_file(4);
  EXPECT_EQ(slurp(p), "");
  // Reads after writes on the same channel see them.
  ASSERT_EQ(sys_open_file(4, p.c_str(), 0), 1);
  sys_write_text(4, "hello\r\n");
  sys_seek_file(4, 0, 0);
  BasicString s;
  sys_read_line(4, s);
  EXPECT_STREQ(s.c_str(), "hello");
}

TEST_F(Files, OpenFailuresGoOn) {
  struct Case {
    int channel, mode;
    std::string name;
    int code;
  } cases[] = {
      {8, 1, path("x"), 7},  {-1, 1, path("x"), 7},        {0, 1, path("missing.txt"), 3},
      {0, 0, "mem://00000004.00000001", 3}, {0, -1, "mem://00000004.00000001", 3},
      {0, 0, path("no/such/dir/file"), 3},
  };
  for (const Case& c : cases) {
    clear_error();
    EXPECT_EQ(sys_open_file(c.channel, c.name.c_str(), c.mode), 0) << c.name;
    EXPECT_EQ(g_error_state.code, c.code) << c.name;
  }
}

TEST_F(Files, MemoryFilesReadLikeDiskFiles) {
  static const std::string block = "first\r\nsecond\nthird";
  const std::string name =
      runtime_register_memory_file(reinterpret_cast<const uint8_t*>(block.data()), static_cast<uint32_t>(block.size()));
  ASSERT_EQ(sys_open_file(5, name.c_str(), 1), 1);
  BasicString s;
  for (const char* want : {"first", "second", "third"}) {
    sys_read_line(5, s);
    EXPECT_STREQ(s.c_str(), want);
  }
  EXPECT_EQ(sys_file_size(name.c_str()), static_cast<int64_t>(block.size()));
  sys_seek_file(5, 0, 0);
  sys_read_text(5, s, 5);
  EXPECT_STREQ(s.c_str(), "first");
  // Copied out to a disk file.
  sys_copy_file(name.c_str(), path("copy.txt").c_str());
  EXPECT_EQ(slurp(path("copy.txt")), block);
  runtime_release_memory_file(reinterpret_cast<const uint8_t*>(block.data()));
}

TEST_F(Files, TextKeepsZeroBytes) {
  spit(path("z.bin"), std::string("a\0b\0", 4));
  ASSERT_EQ(sys_open_file(6, path("z.bin").c_str(), 1), 1);
  BasicString s;
  sys_read_text(6, s, 4);
  EXPECT_EQ(s.length(), 4u);
  EXPECT_EQ(std::memcmp(s.c_str(), "a\0b\0", 4), 0);
  sys_read_text(6, s, 0);
  EXPECT_EQ(s.length(), 0u);
}

TEST_F(FilesDeathTest, FatalPathsEndTheProgramWithTheirCode) {
  const std::string p = path("short.bin");
  spit(p, "abc");
  static const std::string block = "xy";
  const std::string mem = runtime_register_memory_file(reinterpret_cast<const uint8_t*>(block.data()), 2);
  struct Case {
    const char* name;
    std::function<void()> body;
    const char* said;
  } cases[] = {
      {"close channel 8", [] { sys_close_file(8); }, "TXerror: 7"},
      {"position of channel -3", [] { sys_file_position(-3); }, "TXerror: 7"},
      {"read past the end", [&] { sys_open_file(0, p.c_str(), 1); int32_t v; sys_read_i32(0, v); }, "TXerror: 3"},
      {"line at the end", [&] { sys_open_file(0, p.c_str(), 1); BasicString s; sys_read_line(0, s); sys_read_line(0, s); },
       "TXerror: 3"},
      {"huge text count", [&] { sys_open_file(0, p.c_str(), 1); BasicString s; sys_read_text(0, s, int64_t{1} << 40); },
       "TXerror: 3"},
      {"memory position beyond the end",
       [&] { sys_open_file(0, mem.c_str(), 1); sys_seek_file(0, 3, 0); int32_t v; sys_read_u8(0, v); },
       "TXerror: 3.*fatal error 3: file channel 0: sys_read_u8: read at a position beyond the end"},
      {"memory text beyond the end",
       [&] { sys_open_file(0, mem.c_str(), 1); sys_seek_file(0, 3, 0); BasicString s; sys_read_text(0, s, 1); },
       "TXerror: 3"},
      {"write to a read channel", [&] { sys_open_file(0, p.c_str(), 1); sys_write_u8(0, 1); }, "TXerror: 3"},
      {"write to a memory file", [&] { sys_open_file(0, mem.c_str(), 1); sys_write_line(0, "x"); }, "TXerror: 3"},
      {"write to a closed channel", [] { sys_write_i16(7, 1); }, "TXerror: 3.*fatal error 3: file channel 7: sys_write_i16: .*not open"},
      {"empty text to a closed channel", [] { sys_write_text(6, ""); }, "TXerror: 3"},
      {"empty text to a memory file", [&] { sys_open_file(0, mem.c_str(), 1); sys_write_text(0, ""); }, "TXerror: 3"},
      {"read of a channel never opened", [] { BasicString s; sys_read_line(5, s); },
       "TXerror: 3.*fatal error 3: file channel 5: sys_read_line: read of a channel that is not open"},
      {"read of an appending channel", [&] { sys_open_file(0, p.c_str(), -1); int32_t v; sys_read_u8(0, v); },
       "TXerror: 3"},
  };
  for (const Case& c : cases) EXPECT_EXIT(c.body(), ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), c.said) << c.name;
  runtime_release_memory_file(reinterpret_cast<const uint8_t*>(block.data()));
}

TEST_F(Files, WholeFileCommands) {
  spit(path("a.txt"), "twelve bytes");
  EXPECT_EQ(sys_file_size(path("a.txt").c_str()), 12);
  EXPECT_EQ(sys_file_size(path("none.txt").c_str()), 0);
  // Backslashes are separators too.
  EXPECT_EQ(sys_file_size((dir_ + "\\a.txt").c_str()), 12);

  // A date after 2038 (TZ=UTC in this test).
  timespec times[2] = {{0, UTIME_OMIT}, {2240611200LL, 0}};  // 2041-01-01 00:00:00
  ASSERT_EQ(utimensat(AT_FDCWD, path("a.txt").c_str(), times, 0), 0);
  EXPECT_STREQ(sys_file_time(path("a.txt").c_str()).c_str(), "2041-01-01 00:00:00");
  clear_error();
  EXPECT_STREQ(sys_file_time(path("none.txt").c_str()).c_str(), "");
  EXPECT_EQ(g_error_state.code, 3);
  // Only files have a time.
  clear_error();
  EXPECT_STREQ(sys_file_time(dir_.c_str()).c_str(), "");
  EXPECT_EQ(g_error_state.code, 3);

  sys_copy_file(path("a.txt").c_str(), path("b.txt").c_str());
  EXPECT_EQ(slurp(path("b.txt")), "twelve bytes");
  // Onto itself under other spellings of its name: nothing is lost.
  ASSERT_EQ(link(path("a.txt").c_str(), path("hard.txt").c_str()), 0);
  for (const std::string& same : {path("a.txt"), dir_ + "/./a.txt", dir_ + "\\a.txt", path("hard.txt")}) {
    sys_copy_file(path("a.txt").c_str(), same.c_str());
    EXPECT_EQ(slurp(path("a.txt")), "twelve bytes") << same;
  }
  // A missing source leaves the target alone.
  clear_error();
  sys_copy_file(path("none.txt").c_str(), path("b.txt").c_str());
  EXPECT_EQ(g_error_state.code, 3);
  EXPECT_EQ(slurp(path("b.txt")), "twelve bytes");
  EXPECT_EQ(listing().find(".tmp-"), std::string::npos) << listing();
}

TEST_F(Files, AFailedCopyLeavesTheOldTargetIntact) {
  spit(path("big.bin"), std::string(1 << 20, 'n'));
  spit(path("target.bin"), "old content");
  const int code = with_file_size_limit(64 * 1024, [&] { sys_copy_file(path("big.bin").c_str(), path("target.bin").c_str()); });
  EXPECT_EQ(code, 3);
  EXPECT_EQ(slurp(path("target.bin")), "old content");
  EXPECT_EQ(listing().find(".tmp-"), std::string::npos) << listing();
  // An unwritable directory: the same.
  ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
  spit(path("ro/t.txt"), "kept");
  chmod(path("ro").c_str(), 0555);
  const int ro = with_file_size_limit(RLIM_INFINITY, [&] {
    if (geteuid() == 0) setresuid(65534, 65534, 65534);  // root writes anywhere
    sys_copy_file(path("big.bin").c_str(), path("ro/t.txt").c_str());
  });
  chmod(path("ro").c_str(), 0755);
  EXPECT_EQ(ro, 3);
  EXPECT_EQ(slurp(path("ro/t.txt")), "kept");
}

TEST_F(Files, LineFilesCacheOneFileAndWriteItBack) {
  const std::string a = path("a.txt"), b = path("b.txt");
  spit(b, "abc\r\nsecond\n\x01\x02tail \x03\r\n");
  EXPECT_EQ(sys_put_file_line(a.c_str(), 3, "x"), 0);
  EXPECT_EQ(g_error_state.code, 3);  // not there yet: started empty
  BasicString s;
  EXPECT_EQ(sys_get_file_line(b.c_str(), 0, s), 0);
  EXPECT_STREQ(s.c_str(), "abc");
  // Asking for another file wrote the first one back.
  EXPECT_EQ(slurp(a), "\r\n\r\n\r\nx\r\n");
  // Trailing control bytes go; leading ones stay.
  EXPECT_EQ(sys_get_file_line(b.c_str(), 2, s), 0);
  EXPECT_STREQ(s.c_str(), "\x01\x02tail ");
  EXPECT_EQ(sys_get_file_line(b.c_str(), 200, s), 0);
  EXPECT_STREQ(s.c_str(), "");
  // The file is read once: a change by someone else is not seen.
  spit(b, "changed\r\n");
  EXPECT_EQ(sys_get_file_line(b.c_str(), 0, s), 0);
  EXPECT_STREQ(s.c_str(), "abc");

  EXPECT_EQ(sys_get_file_line(b.c_str(), 300, s), 7);
  EXPECT_STREQ(s.c_str(), "NO_DATA");
  EXPECT_EQ(sys_put_file_line(b.c_str(), -1, "y"), 7);
  EXPECT_EQ(sys_get_file_line(path("none.txt").c_str(), 0, s), 3);
  EXPECT_STREQ(s.c_str(), "NO_FILE");

  // Texts over 1023 bytes are cut; the program's end writes the file back.
  EXPECT_EQ(sys_put_file_line(a.c_str(), 0, std::string(5000, 'q').c_str()), 0);
  files_close_all();
  EXPECT_EQ(slurp(a), std::string(1023, 'q') + "\r\n\r\n\r\nx\r\n");
}

TEST_F(Files, AFailedWriteBackKeepsTheOldFile) {
  const std::string a = path("a.txt");
  spit(a, "old\r\n");
  const int code = with_file_size_limit(4096, [&] {
    for (int i = 0; i < 256; ++i) sys_put_file_line(a.c_str(), i, std::string(1000, 'w').c_str());
    clear_error();
    const int flushed = files_flush_line_file();
    sys_raise_error(flushed);
  });
  EXPECT_EQ(code, 3);
  EXPECT_EQ(slurp(a), "old\r\n");
  EXPECT_EQ(listing().find(".tmp-"), std::string::npos) << listing();
}

// A channel on a file packed onto the executable keeps its bytes while other
// packed files are looked up and opened: the lookup's next find (on another
// channel, or by a loader) must not take them away.
TEST_F(Files, PackedFilesStayReadableWhileOthersAreLookedUp) {
  std::string a, b;
  for (int i = 0; i < 300; ++i) a += "alpha line " + std::to_string(i) + "\r\n";
  b = std::string(a.size(), 'B');  // the same size: its block may land where a's was
  spit(path("game.exe"), build_archive("EXE", {{"a.txt", a, "", 0, -1}, {"b.txt", b, "", 0, -1}, {"c.txt", "c\r\n", "", 0, -1}}, false));
  runtime_set_archive_path(path("game.exe").c_str(), path("game.exe").c_str());

  ASSERT_EQ(sys_open_file(0, "Media/a.txt", 1), 1);
  EXPECT_EQ(g_error_state.code, 0);
  BasicString s;
  sys_read_line(0, s);
  EXPECT_STREQ(s.c_str(), "alpha line 0");
  // Another packed file on another channel, then a plain lookup as the
  // image and sound loaders make.
  ASSERT_EQ(sys_open_file(1, "b.txt", 1), 1);
  std::string other;
  ASSERT_EQ(runtime_resolve_general_file("c.txt", other), 1);
  sys_read_line(0, s);
  EXPECT_STREQ(s.c_str(), "alpha line 1");
  int32_t v = 0;
  sys_read_u8(0, v);
  EXPECT_EQ(v, 'a');
  sys_seek_file(0, -7, -1);
  sys_read_text(0, s, 7);
  EXPECT_STREQ(s.c_str(), "e 299\r\n");
  sys_copy_file(other.c_str(), path("c.txt").c_str());
  EXPECT_EQ(slurp(path("c.txt")), "c\r\n");
  sys_read_text(1, s, 3);
  EXPECT_STREQ(s.c_str(), "BBB");
  // A line file read from the archive while the channels stay open.
  EXPECT_EQ(sys_get_file_line("a.txt", 200, s), 0);
  EXPECT_STREQ(s.c_str(), "alpha line 200");
  sys_seek_file(0, 0, 0);
  for (int i = 0; i < 300; ++i) {
    sys_read_line(0, s);
    ASSERT_EQ(std::string(s.c_str()), "alpha line " + std::to_string(i));
  }
  files_close_all();
  runtime_release_resolvers();
}

// What a channel wrote is in the file for everything else that looks at it,
// while the channel stays open.
TEST_F(Files, WrittenBytesAreSeenAtOnce) {
  const std::string p = path("seen.txt"), copy = path("copy.txt");
  struct Case {
    const char* observer;
    std::function<std::string()> look;
  } cases[] = {
      {"sys_file_size", [&] { return std::to_string(sys_file_size(p.c_str())); }},
      {"sys_copy_file", [&] { sys_copy_file(p.c_str(), copy.c_str()); return std::to_string(slurp(copy).size()); }},
      {"a line file", [&] {
         BasicString s;
         sys_get_file_line(p.c_str(), 0, s);
         return std::to_string(s.length() + 2);
       }},
      {"another channel", [&] {
         EXPECT_EQ(sys_open_file(1, p.c_str(), 1), 1);
         BasicString s;
         sys_read_line(1, s);
         return std::to_string(s.length() + 2);
       }},
      {"a started program", [&] {
         double code = -1;
         EXPECT_EQ(sys_shell_command(("cp " + p + " " + copy).c_str(), 1, 0, code), 1);
         return std::to_string(slurp(copy).size());
       }},
  };
  for (const Case& c : cases) {
    std::remove(copy.c_str());
    ASSERT_EQ(sys_open_file(0, p.c_str(), 0), 1);
    sys_write_line(0, "hello");
    EXPECT_EQ(c.look(), "7") << c.observer;
    files_close_all();
  }
}

// Two channels on one file: each read sees what the other channel wrote
// just before, also after its own read-ahead held the file.
TEST_F(Files, TwoChannelsOnOneFileSeeEachOthersBytes) {
  const std::string p = path("shared.txt");
  spit(p, "first\r\n");
  ASSERT_EQ(sys_open_file(1, p.c_str(), 1), 1);
  BasicString s;
  sys_read_line(1, s);
  EXPECT_STREQ(s.c_str(), "first");
  ASSERT_EQ(sys_open_file(0, p.c_str(), -1), 1);
  for (int i = 0; i < 3; ++i) {
    sys_write_line(0, std::to_string(i).c_str());
    sys_read_line(1, s);
    EXPECT_EQ(std::string(s.c_str()), std::to_string(i));
  }
  // A channel opened for writing and one for reading, the reader's
  // read-ahead filled first.
  spit(p, std::string(100, 'a') + "\r\n");
  ASSERT_EQ(sys_open_file(1, p.c_str(), 1), 1);
  ASSERT_EQ(sys_open_file(0, p.c_str(), -1), 1);
  int32_t v = 0;
  sys_read_u8(1, v);
  sys_seek_file(0, 1, 0);
  sys_write_u8(0, 'b');
  sys_read_u8(1, v);
  EXPECT_EQ(v, 'b');
}

// A memory (packed) file gives what it holds up to its end: fixed-size
// records read at the end are cut, not fatal; the rest of a value is zero.
TEST_F(Files, MemoryReadsPastTheEndCopyWhatIsThere) {
  static const std::string block = "xyz";
  const std::string mem = runtime_register_memory_file(reinterpret_cast<const uint8_t*>(block.data()), 3);
  ASSERT_EQ(sys_open_file(0, mem.c_str(), 1), 1);
  clear_error();  // (the media lookup found no disk file of that name)
  int32_t v = -1;
  sys_read_i32(0, v);
  EXPECT_EQ(v, 0x7A7978);
  EXPECT_EQ(sys_file_position(0), 3);
  sys_read_u8(0, v);  // at the end: nothing copied, still no error
  EXPECT_EQ(v, 0);
  EXPECT_EQ(sys_file_position(0), 3);
  sys_seek_file(0, 1, 0);
  BasicString s;
  sys_read_text(0, s, 5);
  EXPECT_EQ(std::string(s.c_str(), s.length()), std::string("yz\0\0\0", 5));
  EXPECT_EQ(sys_file_position(0), 3);
  EXPECT_EQ(g_error_state.code, 0);
  // A carriage return ends the block: it is part of the line.
  static const std::string lines = "a\r\nb\r";
  const std::string mem2 = runtime_register_memory_file(reinterpret_cast<const uint8_t*>(lines.data()), 5);
  ASSERT_EQ(sys_open_file(1, mem2.c_str(), 1), 1);
  sys_read_line(1, s);
  EXPECT_STREQ(s.c_str(), "a");
  sys_read_line(1, s);
  EXPECT_STREQ(s.c_str(), "b\r");
  files_close_all();
  runtime_release_memory_file(reinterpret_cast<const uint8_t*>(block.data()));
  runtime_release_memory_file(reinterpret_cast<const uint8_t*>(lines.data()));
}

// Bytes that cannot all reach the file (here a file-size limit of 4 KiB; the
// captured error stream must stay below it too)
// end the program with error 3 when they are written: at a close, a seek, a
// whole-file command, an open, a read, a started program. At the program's
// end the channels are all closed and the failure recorded.
TEST_F(FilesDeathTest, AShortWriteEndsTheProgramWhenTheBytesReachTheFile) {
  const std::string p = path("limited.txt");
  struct Case {
    const char* command;
    std::function<void()> then;
  } cases[] = {
      {"sys_close_file", [] { sys_close_file(0); }},
      {"sys_seek_file", [] { sys_seek_file(0, 0, 0); }},
      {"sys_read_u8", [] { int32_t v; sys_read_u8(0, v); }},
      {"sys_file_size", [&] { sys_file_size(p.c_str()); }},
      {"sys_open_file", [&] { sys_open_file(1, p.c_str(), 1); }},
      {"sys_get_file_line", [&] { BasicString s; sys_get_file_line(p.c_str(), 0, s); }},
      {"sys_shell_command", [] { double code; sys_shell_command("true", 1, 0, code); }},
  };
  for (const Case& c : cases) {
    EXPECT_EXIT(
        {
          limit_file_size(4096);
          sys_open_file(0, p.c_str(), 0);
          sys_write_text(0, std::string(5000, 'w').c_str());
          c.then();
        },
        ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR),
        std::string("TXerror: 3.*fatal error 3: file channel 0: ") + c.command + ": the bytes could not all be written")
        << c.command;
  }
  EXPECT_EXIT(
      {
        limit_file_size(4096);
        sys_open_file(1, path("other.txt").c_str(), 0);
        sys_open_file(0, p.c_str(), 0);
        sys_write_text(0, std::string(5000, 'w').c_str());
        sys_write_text(1, "kept");
        files_close_all();
        std::exit(g_error_state.code);
      },
      ::testing::ExitedWithCode(3), "file channel 0: the program's end: the bytes could not all be written");
  EXPECT_EQ(slurp(path("other.txt")), "kept");
}

// A pipe whose reader has gone is a failed write: error 3 and the orderly
// end, which still writes what the other channels hold.
TEST_F(FilesDeathTest, APipeWithoutAReaderIsAFailedWrite) {
  const std::string other = path("other.txt");
  EXPECT_EXIT(
      {
        sys_open_file(1, other.c_str(), 0);
        sys_write_text(1, "kept");
        int fds[2];
        if (pipe(fds) != 0) std::abort();
        const std::string end = "/proc/self/fd/" + std::to_string(fds[1]);
        if (sys_open_file(0, end.c_str(), -1) != 1) std::abort();
        close(fds[0]);
        close(fds[1]);
        sys_write_line(0, "nobody reads this");
        sys_close_file(0);
      },
      ::testing::ExitedWithCode(TMX_EXIT_FATAL_ERROR), "TXerror: 3.*fatal error 3: file channel 0: sys_close_file: the bytes could not all be written");
  EXPECT_EQ(slurp(other), "kept");
}

// A file replaced by a copy or a line file's write-back keeps its permission
// bits.
TEST_F(Files, ReplacedFilesKeepTheirPermissions) {
  spit(path("source.txt"), "new\r\n");
  for (mode_t mode : {0600, 0640, 0755}) {
    for (const char* how : {"copy", "line file"}) {
      const std::string target = path("target.txt");
      spit(target, "old\r\n");
      ASSERT_EQ(chmod(target.c_str(), mode), 0);
      if (std::string(how) == "copy") {
        sys_copy_file(path("source.txt").c_str(), target.c_str());
      } else {
        sys_put_file_line(target.c_str(), 0, "new");
        files_flush_line_file();
      }
      EXPECT_EQ(slurp(target), "new\r\n") << how;
      struct stat st;
      ASSERT_EQ(stat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, mode) << how;
    }
  }
}
