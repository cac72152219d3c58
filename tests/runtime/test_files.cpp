// VirtualFile over disk files and memory blocks, memory-file names, the media
// lookup with the archive appended to an executable, and the path commands.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/runtime_state.h"
#include "runtime/virtual_file.h"
#include "tamblix.h"
#include "tests/runtime/archive_writer.h"
#include "tests/runtime/rt_test_util.h"

namespace {

std::string read_all(const std::string& name) {
  VirtualFile f;
  if (!f.open_read(name.c_str())) return "<unopenable>";
  std::string s(static_cast<size_t>(f.size), '\0');
  if (f.size > 0 && !f.read(s.data(), f.size)) return "<unreadable>";
  return s;
}

class FilesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(0, chdir(dir_.c_str()));
    runtime_release_resolvers();
    runtime_create_resolvers();
  }
  void TearDown() override {
    runtime_release_resolvers();
    TempDirTest::TearDown();
  }
  // An "executable" with an archive appended, made the archive of both resolvers.
  void use_archive(const std::vector<ArcEntry>& entries, bool negative = false) {
    rt_write_file(path("game.exe"), build_archive(std::string(300, 'E'), entries, negative));
    runtime_set_archive_path(path("game.exe").c_str(), path("game.exe").c_str());
  }
  int lookup(const char* name, std::string& out, bool memory = true) {
    return runtime_resolve_media_file(*g_runtime.generalResolver, name, out, memory);
  }
};

}  // namespace

TEST(MemoryFiles, NameLayoutAndRoundTrip) {
  std::vector<uint8_t> block(4096, 7);
  std::string name = runtime_register_memory_file(block.data(), 4096);
  ASSERT_EQ(23u, name.size());
  EXPECT_EQ("mem://    1000.", name.substr(0, 15));
  const uint8_t* b = nullptr;
  int64_t size = 0;
  ASSERT_TRUE(runtime_lookup_memory_file(name.c_str(), &b, &size));
  EXPECT_EQ(block.data(), b);
  EXPECT_EQ(4096, size);

  // Names that do not stand for a registered block never open: another
  // identifier, more bytes than the block has, garbage.
  std::string bigger = name;
  bigger.replace(6, 8, "    2000");
  EXPECT_FALSE(runtime_lookup_memory_file(bigger.c_str(), &b, &size));
  EXPECT_FALSE(runtime_lookup_memory_file("mem://    1000.ffffffff", &b, &size));
  EXPECT_FALSE(runtime_lookup_memory_file("mem://zz", &b, &size));
  EXPECT_FALSE(runtime_lookup_memory_file("mem://", &b, &size));
  runtime_release_memory_file(block.data());
  EXPECT_FALSE(runtime_lookup_memory_file(name.c_str(), &b, &size));
}

TEST(MemoryFiles, ReadsAreCutAtTheEnd) {
  std::vector<uint8_t> block(100);
  for (int i = 0; i < 100; ++i) block[i] = static_cast<uint8_t>(i);
  std::string name = runtime_register_memory_file(block.data(), 100);
  VirtualFile f;
  ASSERT_EQ(1, f.open_read(name.c_str()));
  EXPECT_EQ(100, f.size);
  uint8_t buf[10] = {0};
  ASSERT_EQ(1, f.seek(95));
  EXPECT_EQ(1, f.read(buf, 10));  // 5 bytes copied, still a success
  EXPECT_EQ(95, buf[0]);
  EXPECT_EQ(99, buf[4]);
  EXPECT_EQ(0, buf[5]);
  EXPECT_EQ(100, f.position);
  ASSERT_EQ(1, f.seek(101));
  EXPECT_EQ(0, f.read(buf, 1));
  EXPECT_EQ(0, f.seek(-1));  // never in front of the block
  EXPECT_EQ(0, f.read(buf, -1));
  EXPECT_EQ(0, f.write(buf, 1));  // read-only
  EXPECT_EQ(0, f.open_write(name.c_str()));
  EXPECT_EQ(0, f.open_append(name.c_str()));
  runtime_release_memory_file(block.data());
}

// Counts and positions far past the block stay inside it: a read is cut to
// what is left, or fails, and never touches memory behind the block.
TEST(MemoryFiles, AbsurdCountsAndPositions) {
  std::vector<uint8_t> block(100, 9);
  std::string name = runtime_register_memory_file(block.data(), 100);
  VirtualFile f;
  ASSERT_EQ(1, f.open_read(name.c_str()));
  std::vector<uint8_t> buf(100, 0);
  ASSERT_EQ(1, f.seek(90));
  EXPECT_EQ(1, f.read(buf.data(), INT64_MAX));  // cut to the 10 bytes left
  EXPECT_EQ(100, f.position);
  EXPECT_EQ(9, buf[9]);
  EXPECT_EQ(0, buf[10]);
  for (int64_t at : {int64_t{101}, INT64_MAX - 1, INT64_MAX}) {
    SCOPED_TRACE(at);
    ASSERT_EQ(1, f.seek(at));
    EXPECT_EQ(0, f.read(buf.data(), 1));
    EXPECT_EQ(0, f.read(buf.data(), INT64_MAX));
    EXPECT_EQ(at, f.position);
  }
  EXPECT_EQ(0, buf[10]);
  runtime_release_memory_file(block.data());
}

TEST_F(FilesTest, DiskFiles) {
  VirtualFile f;
  EXPECT_EQ(0, f.open_read(""));
  EXPECT_EQ(0, f.open_read(path("missing").c_str()));
  EXPECT_EQ(0, f.open_read(dir_.c_str()));  // a directory is not a file
  ASSERT_EQ(1, f.open_write(path("a.bin").c_str()));
  EXPECT_EQ(1, f.write("hello", 5));
  f.close();
  ASSERT_EQ(1, f.open_append(path("a.bin").c_str()));
  EXPECT_EQ(5, f.position);
  EXPECT_EQ(1, f.write(" world", 6));
  // Not in append mode: a seek moves where the next write goes.
  EXPECT_EQ(1, f.seek(0));
  EXPECT_EQ(1, f.write("J", 1));
  f.close();
  ASSERT_EQ(1, f.open_read(path("a.bin").c_str()));
  EXPECT_EQ(11, f.size);
  char buf[16] = {0};
  EXPECT_EQ(1, f.read(buf, 5));
  EXPECT_STREQ("Jello", buf);
  int32_t v = 0;
  EXPECT_EQ(1, f.read_i32(&v));
  EXPECT_EQ(0x726f7720, v);  // " wor", little-endian
  EXPECT_EQ(0, f.read(buf, 5));  // only 2 bytes left: fails
  // Backslashes separate directories too.
  mkdir(path("sub").c_str(), 0755);
  rt_write_file(path("sub/x.txt"), "x");
  EXPECT_EQ(1, f.open_read((dir_ + "\\sub\\x.txt").c_str()));
}

// A named pipe where a file is expected never blocks the program: the open
// returns at once (with nothing to read), or fails when nobody reads.
TEST_F(FilesTest, NamedPipesNeverBlock) {
  ASSERT_EQ(0, mkfifo(path("pipe").c_str(), 0644));
  alarm(30);  // a blocked open ends this test program instead of hanging it
  VirtualFile f;
  if (f.open_read(path("pipe").c_str())) {
    char b[4];
    EXPECT_EQ(0, f.read(b, 4));
  }
  f.close();
  EXPECT_EQ(0, f.open_append(path("pipe").c_str()));
  alarm(0);
}

TEST_F(FilesTest, FileExistsAndCurrentDir) {
  rt_write_file(path("f.txt"), "1");
  EXPECT_EQ(1, sys_file_exists(BasicString(path("f.txt").c_str())));
  EXPECT_EQ(0, sys_file_exists(BasicString(dir_.c_str())));
  EXPECT_EQ(0, sys_file_exists(BasicString(path("nope").c_str())));
  mkdir(path("d").c_str(), 0755);
  sys_raise_error(7);
  EXPECT_EQ(1.0, sys_set_current_dir(BasicString(path("d").c_str())));
  EXPECT_EQ(0, g_error_state.code);
  EXPECT_EQ(1, sys_file_exists(BasicString("../f.txt")));
  EXPECT_EQ(0.0, sys_set_current_dir(BasicString(path("none").c_str())));
  EXPECT_EQ(3, g_error_state.code);
}

TEST_F(FilesTest, ArchiveLookup) {
  const std::string player(5000, 'p');
  use_archive({{"splayer.png", "wrong", "", 0, -1}, {"player.png", player, "", 0, -1}, {"song.mp3", "la la", "", 0, -1}});
  std::string out;
  // Last component only, case-insensitive; splayer.png is not player.png.
  ASSERT_EQ(1, lookup("Media/Player.PNG", out));
  EXPECT_EQ(0, out.compare(0, 6, "mem://"));
  EXPECT_EQ(player, read_all(out));
  const std::string first = out;

  // The next lookup frees the block handed out before.
  ASSERT_EQ(1, lookup("song.mp3", out));
  EXPECT_EQ("la la", read_all(out));
  EXPECT_EQ("<unopenable>", read_all(first));

  // Not in the archive: "not found" with an empty name.
  EXPECT_EQ(0, lookup("Media/none.png", out));
  EXPECT_EQ("", out);
  EXPECT_EQ(0, lookup("", out));

  // A file on disk wins over the archive.
  mkdir(path("Media").c_str(), 0755);
  rt_write_file(path("Media/player.png"), "disk");
  ASSERT_EQ(1, lookup("Media/player.png", out));
  EXPECT_EQ("Media/player.png", out);
}

TEST_F(FilesTest, NegativePositionsCountFromTheEnd) {
  use_archive({{"a.txt", "alpha alpha alpha", "", 0, -1}, {"b.txt", "beta", "", 0, -1}}, true);
  std::string out;
  ASSERT_EQ(1, lookup("b.txt", out));
  EXPECT_EQ("beta", read_all(out));
  ASSERT_EQ(1, lookup("A.TXT", out));
  EXPECT_EQ("alpha alpha alpha", read_all(out));
}

TEST_F(FilesTest, ExtractionToTemporaryFile) {
  use_archive({{"song.mp3", std::string(3000, 's'), "", 0, -1}});
  std::string out;
  ASSERT_EQ(1, runtime_resolve_media_file(*g_runtime.mediaResolver, "Music/song.mp3", out, false));
  // Name: the process's own directory in the temp dir + "kpx" + letters from
  // the low bytes of P and S + name.
  EXPECT_EQ(0, out.rfind(dir_ + "/tamblix-", 0));
  EXPECT_NE(std::string::npos, out.find("/kpx"));
  EXPECT_EQ("song.mp3", out.substr(out.size() - 8));
  EXPECT_EQ(std::string(3000, 's'), rt_read_file(out));
  EXPECT_STREQ(out.c_str(), g_runtime.mediaResolver->tempPath);
  // The next lookup deletes it; so does the release at the end.
  std::string again;
  EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, "none.mp3", again, false));
  EXPECT_FALSE(platform_is_file(out.c_str()));
  ASSERT_EQ(1, runtime_resolve_media_file(*g_runtime.mediaResolver, "song.mp3", out, false));
  runtime_release_resolvers();
  EXPECT_FALSE(platform_is_file(out.c_str()));
}

// Before start-up made the resolvers, both lookups look on disk only.
TEST_F(FilesTest, LookupsWithoutResolversUseTheDiskOnly) {
  use_archive({{"a.txt", "archived", "", 0, -1}});
  runtime_release_resolvers();
  rt_write_file(path("d.txt"), "disk");
  std::string out;
  for (auto* resolve : {&runtime_resolve_general_file, &runtime_resolve_media_to_disk}) {
    EXPECT_EQ(1, resolve("d.txt", out));
    EXPECT_EQ("d.txt", out);
    EXPECT_EQ(0, resolve("a.txt", out));
    EXPECT_EQ("a.txt", out);
    EXPECT_EQ(0, resolve(nullptr, out));
    EXPECT_EQ("", out);
  }
  // With the resolvers, the general one hands out a memory file, the other
  // one a file on disk.
  runtime_create_resolvers();
  runtime_set_archive_path(path("game.exe").c_str(), path("game.exe").c_str());
  ASSERT_EQ(1, runtime_resolve_general_file("a.txt", out));
  EXPECT_EQ("archived", read_all(out));
  EXPECT_EQ(0, out.rfind("mem://", 0));
  ASSERT_EQ(1, runtime_resolve_media_to_disk("a.txt", out));
  EXPECT_EQ("archived", rt_read_file(out));
  EXPECT_EQ(0, out.rfind(dir_ + "/tamblix-", 0));
}

TEST(ArchiveNames, TemporaryName) {
  EXPECT_EQ("/t/kpxSYsong.mp3", runtime_archive_temp_name("/t", 300, 1000, "song.mp3"));
  EXPECT_EQ("/t/kpxAAx", runtime_archive_temp_name("\\t\\", 0, 256, "x"));
}

TEST_F(FilesTest, MissingArchiveSwitchesTheResolverOff) {
  std::string out;
  runtime_set_archive_path(path("no.exe").c_str(), "");
  EXPECT_EQ(0, lookup("x.png", out));
  EXPECT_EQ("x.png", out);
  EXPECT_EQ(0, g_runtime.generalResolver->enabled);
  EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, "x.png", out, false));
  EXPECT_EQ(0, g_runtime.mediaResolver->enabled);
  // A file without the trailer: not found each time, the resolver stays on.
  rt_write_file(path("plain.exe"), std::string(64, 'x'));
  runtime_set_archive_path(path("plain.exe").c_str(), path("plain.exe").c_str());
  EXPECT_EQ(0, lookup("x.png", out));
  EXPECT_EQ("", out);
  EXPECT_EQ(1, g_runtime.generalResolver->enabled);
}

// Damaged or hostile archives: never a crash, a read outside the file, a
// huge allocation or a file outside the temporary directory.
TEST_F(FilesTest, DamagedArchives) {
  const std::string good = build_archive("EXE", {{"a.txt", "content", "", 0, -1}}, false);
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string bad_magic = good;
  bad_magic[bad_magic.size() - 6] = 'Q';
  std::string dir_outside = good.substr(0, good.size() - 4);
  put_i32(dir_outside, 1 << 30);
  std::string dir_negative = good.substr(0, good.size() - 4);
  put_i32(dir_negative, -(1 << 30));
  std::string no_end = good.substr(0, good.size() - 8);  // directory never ends
  no_end += "kpX";
  put_i32(no_end, 3);
  const std::vector<Case> cases = {
      {"empty", ""},
      {"shorter than the trailer", "kpX"},
      {"wrong magic", bad_magic},
      {"directory beyond the end", dir_outside},
      {"directory before the start", dir_negative},
      {"directory without end", no_end},
      {"data beyond the end", build_archive("EXE", {{"a.txt", "content", "", 1 << 20, -1}}, false)},
      {"data before the start", build_archive("EXE", {{"a.txt", "content", "", -(1 << 20), -1}}, false)},
      {"stored size below 4", build_archive("EXE", {{"a.txt", "content", "", 0, 3}}, false)},
      {"stored size beyond the end", build_archive("EXE", {{"a.txt", "content", "", 0, 1 << 30}}, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    rt_write_file(path("bad.exe"), c.bytes);
    runtime_set_archive_path(path("bad.exe").c_str(), path("bad.exe").c_str());
    std::string out = "x";
    EXPECT_EQ(0, lookup("a.txt", out));
    EXPECT_EQ("", out);
    EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, "a.txt", out, false));
  }
}

TEST_F(FilesTest, DamagedEntryDataGivesAnEmptyFile) {
  auto stored = [](int32_t u, const std::string& stream) {
    std::string s;
    put_i32(s, u);
    return s + stream;
  };
  const std::string stream = lzo_pack("0123456789abcdef0123456789abcdef");
  struct Case {
    const char* what;
    std::string stored;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"absurd unpacked size", stored(0x7fffffff, stream), ""},
      {"negative unpacked size", stored(-5, stream), ""},
      {"unpacked size above what the stream can give", stored(4 * 1024 * 1024, stream), ""},
      {"unpacked size too small", stored(8, stream), ""},
      {"corrupt stream", stored(32, std::string(40, '\xff')), ""},
      {"truncated stream", stored(32, stream.substr(0, stream.size() / 2)), ""},
      {"only the size", stored(32, ""), ""},
      {"unpacked size larger than produced", stored(100, stream), "0123456789abcdef0123456789abcdef"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    use_archive({{"a.txt", "", c.stored, 0, -1}});
    std::string out;
    ASSERT_EQ(1, lookup("a.txt", out));
    EXPECT_EQ(c.expected, read_all(out));
    ASSERT_EQ(1, runtime_resolve_media_file(*g_runtime.mediaResolver, "a.txt", out, false));
    EXPECT_EQ(c.expected, rt_read_file(out));
  }
}

TEST_F(FilesTest, EntryNamesNeverLeaveTheTemporaryDirectory) {
  mkdir(path("tmp").c_str(), 0755);
  setenv("TMPDIR", path("tmp").c_str(), 1);
  use_archive({{"..", "up", "", 0, -1}, {"../evil.txt", "evil", "", 0, -1}, {"a\\b.txt", "bs", "", 0, -1},
               {"/etc.txt", "abs", "", 0, -1}});
  std::string out;
  for (const char* name : {"Media/..", "../evil.txt", "a\\b.txt", "/etc.txt", "x/../evil.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, name, out, false));
  }
  // Nothing was written anywhere: the temp dir is empty, no file beside it.
  EXPECT_EQ(0, std::system(("test -z \"$(ls -A '" + path("tmp") + "')\"").c_str()));
  EXPECT_FALSE(platform_is_file(path("evil.txt").c_str()));
  EXPECT_FALSE(platform_is_file(path("kpxAAevil.txt").c_str()));
}

// Paths longer than the resolver record holds are never kept shortened: a
// shortened archive path would read another file as the archive, a shortened
// temporary name would later delete another file.
TEST_F(FilesTest, PathsLongerThanTheRecordAreNotShortened) {
  std::string deep = dir_;
  while (deep.size() < 1000) {
    deep += "/" + std::string(std::min<size_t>(200, 1000 - deep.size()), 'd');
    ASSERT_EQ(0, mkdir(deep.c_str(), 0755));
  }
  const std::string data = "song data";
  const std::string entry = "a_rather_long_song_name.mp3";

  // The temporary file: its full name does not fit, the shortened name is
  // another file, which must survive the lookups and the release.
  setenv("TMPDIR", deep.c_str(), 1);
  use_archive({{entry, data, "", 0, -1}});
  const int32_t stored_size = static_cast<int32_t>(4 + lzo_pack(data).size());
  const std::string full = runtime_archive_temp_name(deep, 300, stored_size, entry);  // first entry: P = 300
  ASSERT_GE(full.size(), sizeof g_runtime.mediaResolver->tempPath);
  const std::string cut = full.substr(0, sizeof g_runtime.mediaResolver->tempPath - 1);
  rt_write_file(cut, "keep");
  std::string out;
  EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, ("Music/" + entry).c_str(), out, false));
  EXPECT_FALSE(platform_is_file(full.c_str()));
  EXPECT_EQ(0, runtime_resolve_media_file(*g_runtime.mediaResolver, "none.mp3", out, false));
  runtime_release_resolvers();
  EXPECT_EQ("keep", rt_read_file(cut));
  runtime_create_resolvers();

  // The archive: another archive sits at the shortened path.
  const std::string archive = deep + "/a_program_with_a_long_name_and_its_archive.exe";
  ASSERT_GE(archive.size(), sizeof g_runtime.generalResolver->archivePath);
  rt_write_file(archive, build_archive("EXE", {{"a.txt", "right", "", 0, -1}}, false));
  rt_write_file(archive.substr(0, sizeof g_runtime.generalResolver->archivePath - 1),
                build_archive("EXE", {{"a.txt", "wrong", "", 0, -1}}, false));
  runtime_set_archive_path(archive.c_str(), archive.c_str());
  EXPECT_EQ(0, lookup("a.txt", out));
  EXPECT_EQ(0, g_runtime.generalResolver->enabled);
}

TEST_F(FilesTest, SetArchivePathReleasesHoldings) {
  use_archive({{"a.txt", "content", "", 0, -1}});
  std::string mem, tmp;
  ASSERT_EQ(1, lookup("a.txt", mem));
  ASSERT_EQ(1, runtime_resolve_media_file(*g_runtime.mediaResolver, "a.txt", tmp, false));
  g_runtime.generalResolver->enabled = 0;
  runtime_set_archive_path(path("other.exe").c_str(), path("other.exe").c_str());
  EXPECT_EQ("<unopenable>", read_all(mem));
  EXPECT_FALSE(platform_is_file(tmp.c_str()));
  EXPECT_EQ(1, g_runtime.generalResolver->enabled);
  EXPECT_STREQ(path("other.exe").c_str(), g_runtime.generalResolver->archivePath);
  EXPECT_STREQ("", g_runtime.mediaResolver->tempPath);
}
