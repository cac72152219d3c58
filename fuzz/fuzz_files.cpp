// File channels and line files on arbitrary bytes. The same bytes are read as
// a memory file and as a disk file (through the read-ahead buffer); both must
// give the same lines and the same typed reads. Line files read the disk file
// as the 256-line cache does.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/channel_io.h"
#include "files/files.h"
#include "runtime/virtual_file.h"
#include "tamblix.h"

using namespace tmx::files;

namespace {

// The longest line a channel's line read gives, as the line commands ask.
constexpr size_t kMaxLine = 1024;

const std::string& disk_path() {
  static const std::string path = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = std::string(base) + "/tamblix-fuzz-files-XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
    return dir + "/input.txt";
  }();
  return path;
}

void write_disk(const uint8_t* data, size_t size) {
  const int fd = open(disk_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

// What a channel gives: every line, then every line without the zero cut,
// then typed reads and seeks steered by the first bytes.
std::vector<std::string> trace(const char* name, const uint8_t* data, size_t size) {
  std::vector<std::string> out;
  Channel ch;
  if (!ch.open_read(name)) std::abort();
  std::string line;
  while (ch.read_line(line, kMaxLine)) out.push_back(line);
  out.push_back("--");

  if (!ch.open_read(name)) std::abort();
  const char* p = nullptr;
  size_t len = 0;
  std::string spill;
  while (ch.next_line(p, len, spill, kMaxLine, false)) out.emplace_back(p, len);
  out.push_back("--");

  if (!ch.open_read(name)) std::abort();
  out.push_back(std::to_string(ch.size()));
  for (size_t i = 0; i < size && i < 64; ++i) {
    const uint8_t op = data[i];
    if (op % 5 == 4) {
      const int64_t to = static_cast<int64_t>(op) * 131 % (static_cast<int64_t>(size) + 32);
      out.push_back("seek " + std::to_string(ch.seek(to)));
      continue;
    }
    const int64_t n = int64_t{1} << (op % 5 == 3 ? 15 : op % 4);  // 1, 2, 4 or 8 bytes, or a 32 KiB read
    std::string bytes(static_cast<size_t>(n), '\0');
    const int64_t got = ch.read(bytes.data(), n);
    if (got < 0 || got > n) std::abort();
    bytes.resize(static_cast<size_t>(got));
    out.push_back(std::to_string(ch.position()) + ":" + bytes);
  }
  ch.close();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  write_disk(data, size);
  const std::string memory_name = runtime_register_memory_file(data, static_cast<uint32_t>(size));
  const std::vector<std::string> from_memory = trace(memory_name.c_str(), data, size);
  const std::vector<std::string> from_disk = trace(disk_path().c_str(), data, size);
  runtime_release_memory_file(data);
  if (from_memory != from_disk) std::abort();  // the two kinds of file read alike

  // Line files: the cache of 256 lines, each cut to 1023 bytes.
  files_flush_line_file();
  BasicString text;
  for (int i = 0; i < 256; ++i) {
    if (sys_get_file_line(BasicString(disk_path().c_str()), i, text) != 0) std::abort();
    if (text.length() > 1023) std::abort();
  }
  files_flush_line_file();
  return 0;
}
