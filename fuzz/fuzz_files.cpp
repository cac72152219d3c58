// File channels and line files on arbitrary bytes. The same bytes are read as
// a memory file and as a disk file (through the read-ahead buffer); both must
// give the same lines (but for a carriage return that ends a memory block)
// and the same fixed-size reads as far as the disk file reaches. Line files
// read the disk file as the 256-line cache does.
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

// The lines a channel gives, each with the position after it; `raw` reads
// them without the zero cut.
std::vector<std::string> lines(const char* name, bool raw) {
  std::vector<std::string> out;
  Channel ch;
  if (!ch.open_read(name)) std::abort();
  const char* p = nullptr;
  size_t len = 0;
  std::string spill;
  while (ch.next_line(p, len, spill, kMaxLine, !raw))
    out.push_back(std::string(p, len) + "@" + std::to_string(ch.position()));
  out.push_back("size " + std::to_string(ch.size()));
  return out;
}

// A memory file keeps a carriage return that ends its block; the disk read
// drops it (its short last piece gets a line feed). Apart from that the two
// read the same lines: the memory lines turned into what the disk gives.
void as_the_disk_reads(std::vector<std::string>& memory_lines, const uint8_t* data) {
  int64_t from = 0;
  for (std::string& entry : memory_lines) {
    const size_t at = entry.rfind('@');
    if (at == std::string::npos) break;
    const int64_t to = std::stoll(entry.substr(at + 1));
    const size_t raw = static_cast<size_t>(to - from);
    const bool by_line_feed = to > from && data[to - 1] == '\n';
    // Uncut (its text as long as its bytes) and ended by the block's end
    // before the longest line.
    if (!by_line_feed && raw < kMaxLine && at == raw && raw > 0 && entry[at - 1] == '\r') entry.erase(at - 1, 1);
    from = to;
  }
}

// Typed reads and seeks steered by the first bytes, on a memory and a disk
// channel in step. Where the disk read gives every byte, so does the memory
// read; where it runs past the end (and the program would end), the memory
// read copies what is there and leaves zeros, failing only for a position
// beyond the end.
void records_in_step(const char* memory_name, const uint8_t* data, size_t size) {
  Channel mem, disk;
  if (!mem.open_read(memory_name) || !disk.open_read(disk_path().c_str())) std::abort();
  for (size_t i = 0; i < size && i < 64; ++i) {
    const uint8_t op = data[i];
    if (op % 5 == 4) {
      const int64_t to = static_cast<int64_t>(op) * 131 % (static_cast<int64_t>(size) + 32);
      if (mem.seek(to) != disk.seek(to)) std::abort();
      continue;
    }
    const int64_t n = int64_t{1} << (op % 5 == 3 ? 15 : op % 4);  // 1, 2, 4 or 8 bytes, or a 32 KiB read
    const int64_t at = mem.position();
    if (disk.position() != at) std::abort();
    std::string a(static_cast<size_t>(n), '\0'), b(static_cast<size_t>(n), '\0');
    const bool from_memory = mem.read_record(a.data(), n);
    const bool from_disk = disk.read_record(b.data(), n);
    if (from_disk) {
      if (!from_memory || a != b || mem.position() != disk.position()) std::abort();
      continue;
    }
    if (from_memory != (at <= static_cast<int64_t>(size))) std::abort();
    if (!from_memory) return;
    const size_t there = static_cast<size_t>(static_cast<int64_t>(size) - at);
    if (a.compare(0, there, reinterpret_cast<const char*>(data) + at, there) != 0 ||
        a.find_first_not_of('\0', there) != std::string::npos || mem.position() != static_cast<int64_t>(size))
      std::abort();
    return;  // the disk read past the end: the program would end here
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) return 0;
  write_disk(data, size);
  const std::string memory_name = runtime_register_memory_file(data, static_cast<uint32_t>(size));
  for (const bool raw : {false, true}) {
    std::vector<std::string> from_memory = lines(memory_name.c_str(), raw);
    as_the_disk_reads(from_memory, data);
    if (from_memory != lines(disk_path().c_str(), raw)) std::abort();  // the two kinds of file read alike
  }
  records_in_step(memory_name.c_str(), data, size);
  runtime_release_memory_file(data);

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
