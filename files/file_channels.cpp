// The eight file channels and the whole-file commands.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/channel_io.h"
#include "files/files.h"
#include "platform/file_replace.h"
#include "platform/file_system.h"
#include "runtime/virtual_file.h"
#include "tamblix/errors.h"
#include "tamblix/files.h"

using namespace tmx::files;

namespace {

constexpr int kChannels = 8;
// Longest line a line read gives, in bytes.
constexpr size_t kMaxLine = 1024;
// How far a sys_read_text of a memory file may reach past the block's end
// (the rest of the text is zeros); a count reaching further ends the program
// like a disk read past the end, before anything is allocated for it.
constexpr int64_t kMaxTextPastEnd = 64 * 1024;

constexpr const char* kNotWritten =
    "the bytes could not all be written (a full disk, a file-size limit or a pipe without a reader)";

Channel g_channels[kChannels];

bool bad_channel(int channel) { return static_cast<unsigned>(channel) >= kChannels; }

// Says what failed, in the error log and on the standard error stream: the
// channel, the command and why.
void report(int channel, const char* command, const char* what) {
  char line[256];
  std::snprintf(line, sizeof line, "file channel %d: %s: %s\n", channel, command, what);
  log_append(line);
  std::fputs(line, stderr);
  std::fflush(stderr);
}

// Records the code and ends the program; the end's own line ("fatal error N:
// ...") names the channel, the command and why, in the log and on stderr.
[[noreturn, gnu::cold, gnu::noinline]] void fail(int code, int channel, const char* command, const char* what) {
  char line[256];
  std::snprintf(line, sizeof line, "file channel %d: %s: %s", channel, command, what);
  sys_raise_error(code);
  sys_end_fatal(line);
}

// The channel, ending the program for a bad number.
inline Channel& channel_or_end(int channel, const char* command) {
  if (bad_channel(channel)) [[unlikely]]
    fail(TMX_ERR_OUT_OF_MEMORY, channel, command, "no such channel (they are 0 to 7)");
  return g_channels[channel];
}

// The channel's buffered bytes reach its file, or the program ends.
void flush_or_end(int channel, const char* command) {
  Channel& ch = g_channels[channel];
  if (ch.pending() && !ch.flush()) fail(TMX_ERR_NO_SUCH_FILE, channel, command, kNotWritten);
}

void flush_all_or_end(const char* command) {
  for (int i = 0; i < kChannels; ++i) flush_or_end(i, command);
}

// Marks the channels that share a disk file with another one. Their
// read-aheads go: the other channel may have changed the file (a write-mode
// open empties it).
void update_sharing() {
  for (Channel& ch : g_channels) ch.set_shared(false);
  for (int i = 0; i < kChannels; ++i)
    for (int j = i + 1; j < kChannels; ++j)
      if (g_channels[i].same_file(g_channels[j])) {
        for (Channel* ch : {&g_channels[i], &g_channels[j]}) {
          ch->set_shared(true);
          ch->forget_read_ahead();
        }
      }
}

// A shared channel's write reached the file at once; the other channels on
// that file read it afresh.
[[gnu::noinline]] void after_shared_write(int channel) {
  for (Channel& other : g_channels)
    if (other.same_file(g_channels[channel])) other.forget_read_ahead();
}

[[gnu::noinline]] void prepare_read(Channel& ch, int channel, const char* command) {
  if (!ch.is_open()) fail(TMX_ERR_NO_SUCH_FILE, channel, command, "read of a channel that is not open");
  if (!ch.readable()) fail(TMX_ERR_NO_SUCH_FILE, channel, command, "read of a channel opened for appending");
  if (ch.pending()) flush_or_end(channel, command);
}

// A channel to read from: open and readable, its own written bytes in its
// file. (A read-ahead is never stale: a write drops the channel's own, and a
// write on a channel that shares the file drops the others'.)
inline Channel& reader(int channel, const char* command) {
  Channel& ch = channel_or_end(channel, command);
  if (!ch.ready_to_read()) [[unlikely]]
    prepare_read(ch, channel, command);
  return ch;
}

// A channel to write to: open on a disk file for writing (only disk files
// open for writing are writable).
inline Channel& writer(int channel, const char* command) {
  Channel& ch = channel_or_end(channel, command);
  if (!ch.writable()) [[unlikely]] {
    if (!ch.is_open()) fail(TMX_ERR_NO_SUCH_FILE, channel, command, "write to a channel that is not open");
    if (!ch.is_disk()) fail(TMX_ERR_NO_SUCH_FILE, channel, command, "write to a memory file (they are read-only)");
    fail(TMX_ERR_NO_SUCH_FILE, channel, command, "write to a channel opened for reading");
  }
  return ch;
}

inline void write_or_end(Channel& ch, int channel, const char* command, const void* bytes, int64_t n) {
  if (!ch.write(bytes, n)) [[unlikely]]
    fail(TMX_ERR_NO_SUCH_FILE, channel, command, kNotWritten);
  if (ch.shared()) [[unlikely]]
    after_shared_write(channel);
}

// Exactly n bytes (a memory file: what it holds up to its end, see
// read_record), or the program ends with error 3.
inline void read_exact(Channel& ch, int channel, const char* command, void* out, int64_t n) {
  if (!ch.read_record(out, n)) [[unlikely]]
    fail(TMX_ERR_NO_SUCH_FILE, channel, command,
         ch.is_disk() ? "read past the end of the file" : "read at a position beyond the end of the memory file");
}

uint64_t read_le(int channel, int bytes, const char* command) {
  Channel& ch = reader(channel, command);
  uint8_t b[8] = {};
  read_exact(ch, channel, command, b, bytes);
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

void write_le(int channel, uint64_t v, int bytes, const char* command) {
  Channel& ch = writer(channel, command);
  uint8_t b[8];
  for (int i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  write_or_end(ch, channel, command, b, bytes);
}

constexpr const char* kNothingLeft = "line read at the end of the file";

void read_line_or_end(int channel, std::string& line, const char* command) {
  Channel& ch = reader(channel, command);
  if (!ch.read_line(line, kMaxLine)) fail(TMX_ERR_NO_SUCH_FILE, channel, command, kNothingLeft);
}

}  // namespace

void files_flush_all_channels(const char* command) { flush_all_or_end(command); }

void files_close_all() {
  // The program is ending already: a channel whose bytes cannot all be
  // written is reported and the others are still closed.
  for (int i = 0; i < kChannels; ++i)
    if (!g_channels[i].close()) {
      report(i, "the program's end", kNotWritten);
      sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    }
  files_flush_line_file();
}

int sys_open_file(int channel, const BasicString& name, int mode) {
  clear_error();
  if (bad_channel(channel)) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return 0;
  }
  // Every channel's bytes reach the files first: this one may open one of
  // them.
  flush_all_or_end("sys_open_file");
  Channel& ch = g_channels[channel];
  ch.close();
  const std::string path = runtime_native_path(name.c_str());
  bool ok = false;
  if (mode < 0) {
    ok = ch.open_append(path.c_str());
  } else if (mode == 0) {
    // A directory of that name is removed first; a file is emptied.
    if (!runtime_is_memory_file_name(path.c_str()) && platform_is_directory(path.c_str()))
      platform_remove_directory(path.c_str());
    ok = ch.open_write(path.c_str());
  } else {
    std::string found;
    if (!runtime_resolve_general_file(path.c_str(), found)) {
      sys_raise_error(TMX_ERR_NO_SUCH_FILE);
      found = path;
    }
    ok = ch.open_read(found.c_str());
  }
  if (!ok) ch.close();
  update_sharing();
  if (!ok) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return 0;
  }
  return 1;
}

void sys_close_file(int channel) {
  Channel& ch = channel_or_end(channel, "sys_close_file");
  const bool written = ch.close();
  update_sharing();
  if (!written) fail(TMX_ERR_NO_SUCH_FILE, channel, "sys_close_file", kNotWritten);
}

void sys_seek_file(int channel, int64_t offset, int origin) {
  Channel& ch = channel_or_end(channel, "sys_seek_file");
  if (!ch.is_open()) return;
  flush_or_end(channel, "sys_seek_file");
  int64_t base = 0;
  if (origin > 0) base = ch.position();
  if (origin < 0) base = ch.size();
  // Overflowing or negative targets leave the position where it was.
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0 || !ch.seek(target)) {
    log_append("file channel: seek before the start refused\n");
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
  }
}

int64_t sys_file_position(int channel) { return channel_or_end(channel, "sys_file_position").position(); }

namespace {
// One line buffer for the line reads: its room is kept from line to line.
std::string g_line;
std::string& line_buffer() { return g_line; }
}  // namespace

void sys_read_line(int channel, BasicString& out) {
  Channel& ch = channel_or_end(channel, "sys_read_line");
  // The text gets room for the longest line once, and lines are copied
  // straight into it: no allocation from line to line.
  constexpr size_t kRoom = kMaxLine + Channel::kLineSlack;
  if (out.capacity() < kRoom + 1) {
    string_reserve(out, kRoom, false);
    string_set_length(out, 0);
  }
  // A line from the read-ahead needs no checks: there is one only on a
  // readable channel with nothing waiting to be written.
  size_t len = 0;
  if (ch.quick_line_to(out.data(), len, kMaxLine)) {
    string_set_length(out, static_cast<uint32_t>(len));
    return;
  }
  if (!ch.ready_to_read()) prepare_read(ch, channel, "sys_read_line");
  const char* data = nullptr;
  if (!ch.next_line(data, len, line_buffer(), kMaxLine))
    fail(TMX_ERR_NO_SUCH_FILE, channel, "sys_read_line", kNothingLeft);
  rt_truncate(out, 0);
  out.append(data, static_cast<uint32_t>(len));
}

void sys_read_int_line(int channel, int32_t& out) {
  std::string& line = line_buffer();
  read_line_or_end(channel, line, "sys_read_int_line");
  out = text_to_int(line.c_str());
}

void sys_read_real_line(int channel, double& out) {
  std::string& line = line_buffer();
  read_line_or_end(channel, line, "sys_read_real_line");
  out = text_to_real(line.c_str());
}

void sys_read_text(int channel, BasicString& out, int64_t count) {
  channel_or_end(channel, "sys_read_text");
  if (count <= 0) {
    out = BasicString();
    return;
  }
  Channel& ch = reader(channel, "sys_read_text");
  // The count is checked against what the file holds before anything is
  // allocated for it.
  const int64_t left = ch.size() - ch.position();
  const bool fits = ch.is_disk() ? count <= left : left >= 0 && count - left <= kMaxTextPastEnd;
  if (!fits || count > 0x7FFFFFF0)
    fail(TMX_ERR_NO_SUCH_FILE, channel, "sys_read_text",
         ch.is_disk() || left >= 0 ? "text read past the end of the file"
                                   : "read at a position beyond the end of the memory file");
  std::vector<char> bytes(static_cast<size_t>(count));
  read_exact(ch, channel, "sys_read_text", bytes.data(), count);
  // The text keeps every byte, zeros included.
  out = BasicString(bytes.data(), static_cast<uint32_t>(count));
}

void sys_read_u8(int channel, int32_t& out) { out = static_cast<int32_t>(read_le(channel, 1, "sys_read_u8")); }
void sys_read_u16(int channel, int32_t& out) { out = static_cast<int32_t>(read_le(channel, 2, "sys_read_u16")); }
void sys_read_u32(int channel, int32_t& out) {
  out = static_cast<int32_t>(static_cast<uint32_t>(read_le(channel, 4, "sys_read_u32")));
}
void sys_read_u32(int channel, int64_t& out) { out = static_cast<int64_t>(read_le(channel, 4, "sys_read_u32")); }
void sys_read_u32(int channel, double& out) { out = static_cast<double>(read_le(channel, 4, "sys_read_u32")); }
void sys_read_i8(int channel, int32_t& out) { out = static_cast<int8_t>(read_le(channel, 1, "sys_read_i8")); }
void sys_read_i16(int channel, int32_t& out) { out = static_cast<int16_t>(read_le(channel, 2, "sys_read_i16")); }
void sys_read_i32(int channel, int32_t& out) {
  out = static_cast<int32_t>(static_cast<uint32_t>(read_le(channel, 4, "sys_read_i32")));
}

void sys_read_f32(int channel, double& out) {
  const uint32_t bits = static_cast<uint32_t>(read_le(channel, 4, "sys_read_f32"));
  float f;
  std::memcpy(&f, &bits, 4);
  out = f;
}

void sys_read_f64(int channel, double& out) {
  const uint64_t bits = read_le(channel, 8, "sys_read_f64");
  std::memcpy(&out, &bits, 8);
}

void sys_write_line(int channel, const BasicString& text) {
  Channel& ch = writer(channel, "sys_write_line");
  if (text.length() > 0) write_or_end(ch, channel, "sys_write_line", text.c_str(), text.length());
  write_or_end(ch, channel, "sys_write_line", "\r\n", 2);
}

void sys_write_text(int channel, const BasicString& text) {
  // Also an empty text needs a channel that can be written.
  Channel& ch = writer(channel, "sys_write_text");
  if (text.length() > 0) write_or_end(ch, channel, "sys_write_text", text.c_str(), text.length());
}

void sys_write_u8(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 1, "sys_write_u8"); }
void sys_write_u16(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 2, "sys_write_u16"); }
void sys_write_u32(int channel, int64_t value) { write_le(channel, static_cast<uint64_t>(value), 4, "sys_write_u32"); }
void sys_write_i8(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 1, "sys_write_i8"); }
void sys_write_i16(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 2, "sys_write_i16"); }
void sys_write_i32(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 4, "sys_write_i32"); }

void sys_write_f32(int channel, double value) {
  const float f = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  write_le(channel, bits, 4, "sys_write_f32");
}

void sys_write_f64(int channel, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  write_le(channel, bits, 8, "sys_write_f64");
}

int64_t sys_file_size(const BasicString& name) {
  flush_all_or_end("sys_file_size");
  VirtualFile f;
  if (!f.open_read(runtime_native_path(name.c_str()).c_str())) return 0;
  if (f.handle != kNoPlatformFile) {
    const int64_t s = platform_file_size(f.handle);
    return s > 0 ? s : 0;
  }
  return f.size;
}

BasicString sys_file_time(const BasicString& name) {
  flush_all_or_end("sys_file_time");
  const std::string path = runtime_native_path(name.c_str());
  PlatformFileInfo info;
  int t[6];
  // Only files have a time here: a directory gives "" like a missing file.
  // Seconds are kept in 64 bits: dates after 2038 come out right.
  if (runtime_is_memory_file_name(path.c_str()) || !platform_file_info(path.c_str(), info) || info.is_directory ||
      !platform_local_time(info.modified, t)) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return BasicString();
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t[0], t[1], t[2], t[3], t[4], t[5]);
  return BasicString(text);
}

void sys_copy_file(const BasicString& from, const BasicString& to) {
  flush_all_or_end("sys_copy_file");
  const std::string source = runtime_native_path(from.c_str());
  const std::string target = runtime_native_path(to.c_str());
  // The same file under another spelling of its name: copying it would
  // empty it first. It already holds what the copy would give.
  PlatformFileInfo a, b;
  if (!runtime_is_memory_file_name(source.c_str()) && platform_file_info(source.c_str(), a) &&
      platform_file_info(target.c_str(), b) && a.device == b.device && a.inode == b.inode)
    return;
  VirtualFile in;
  if (!in.open_read(source.c_str())) {
    log_append(("copy: cannot open " + source + "\n").c_str());
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return;
  }
  if (runtime_is_memory_file_name(target.c_str()) || !files_write_file_whole(target, [&](const WriteBytes& put) {
        std::vector<uint8_t> piece(64 * 1024);
        for (;;) {
          int64_t n = in.handle != kNoPlatformFile
                          ? platform_file_read(in.handle, piece.data(), static_cast<int64_t>(piece.size()))
                          : (in.size - in.position < static_cast<int64_t>(piece.size()) ? in.size - in.position
                                                                                          : static_cast<int64_t>(piece.size()));
          if (n < 0) return false;
          if (n == 0) return true;
          if (in.handle == kNoPlatformFile) {
            std::memcpy(piece.data(), in.memory + in.position, static_cast<size_t>(n));
            in.position += n;
          }
          if (!put(piece.data(), n)) return false;
        }
      })) {
    log_append(("copy: cannot write " + target + "\n").c_str());
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
  }
}
