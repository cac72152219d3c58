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

Channel g_channels[kChannels];

bool bad_channel(int channel) { return static_cast<unsigned>(channel) >= kChannels; }

[[noreturn]] void fail(int code, const char* what, int channel) {
  char line[96];
  std::snprintf(line, sizeof line, "file channel %d: %s\n", channel, what);
  log_append(line);
  sys_raise_error(code);
  sys_end_fatal();
}

// The channel, ending the program for a bad number.
Channel& channel_or_end(int channel) {
  if (bad_channel(channel)) fail(TMX_ERR_OUT_OF_MEMORY, "no such channel", channel);
  return g_channels[channel];
}

// Exactly n bytes, or the program ends with error 3.
void read_exact(int channel, void* out, int64_t n) {
  Channel& ch = channel_or_end(channel);
  if (ch.read(out, n) != n) fail(TMX_ERR_NO_SUCH_FILE, "read past the end", channel);
}

void write_exact(int channel, const void* bytes, int64_t n) {
  Channel& ch = channel_or_end(channel);
  if (!ch.write(bytes, n)) fail(TMX_ERR_NO_SUCH_FILE, "write failed", channel);
}

uint64_t read_le(int channel, int bytes) {
  uint8_t b[8] = {};
  read_exact(channel, b, bytes);
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[i];
  return v;
}

void write_le(int channel, uint64_t v, int bytes) {
  uint8_t b[8];
  for (int i = 0; i < bytes; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  write_exact(channel, b, bytes);
}

void read_line_or_end(int channel, std::string& line) {
  Channel& ch = channel_or_end(channel);
  if (!ch.read_line(line, kMaxLine)) fail(TMX_ERR_NO_SUCH_FILE, "line read at the end of the file", channel);
}

}  // namespace

void files_close_all() {
  for (Channel& ch : g_channels) ch.close();
  files_flush_line_file();
}

int sys_open_file(int channel, const BasicString& name, int mode) {
  clear_error();
  if (bad_channel(channel)) {
    sys_raise_error(TMX_ERR_OUT_OF_MEMORY);
    return 0;
  }
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
  if (!ok) {
    ch.close();
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return 0;
  }
  return 1;
}

void sys_close_file(int channel) { channel_or_end(channel).close(); }

void sys_seek_file(int channel, int64_t offset, int origin) {
  Channel& ch = channel_or_end(channel);
  if (!ch.is_open()) return;
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

int64_t sys_file_position(int channel) { return channel_or_end(channel).position(); }

namespace {
// One line buffer for the line reads: its room is kept from line to line.
std::string g_line;
std::string& line_buffer() { return g_line; }
}  // namespace

void sys_read_line(int channel, BasicString& out) {
  Channel& ch = channel_or_end(channel);
  // The text gets room for the longest line once, and lines are copied
  // straight into it: no allocation from line to line.
  constexpr size_t kRoom = kMaxLine + Channel::kLineSlack;
  if (out.capacity() < kRoom + 1) {
    string_reserve(out, kRoom, false);
    string_set_length(out, 0);
  }
  size_t len = 0;
  if (ch.quick_line_to(out.data(), len, kMaxLine)) {
    string_set_length(out, static_cast<uint32_t>(len));
    return;
  }
  const char* data = nullptr;
  if (!ch.next_line(data, len, line_buffer(), kMaxLine))
    fail(TMX_ERR_NO_SUCH_FILE, "line read at the end of the file", channel);
  rt_truncate(out, 0);
  out.append(data, static_cast<uint32_t>(len));
}

void sys_read_int_line(int channel, int32_t& out) {
  std::string& line = line_buffer();
  read_line_or_end(channel, line);
  out = text_to_int(line.c_str());
}

void sys_read_real_line(int channel, double& out) {
  std::string& line = line_buffer();
  read_line_or_end(channel, line);
  out = text_to_real(line.c_str());
}

void sys_read_text(int channel, BasicString& out, int64_t count) {
  Channel& ch = channel_or_end(channel);
  if (count <= 0) {
    out = BasicString();
    return;
  }
  // The count is checked against what the file holds before anything is
  // allocated for it.
  if (!ch.is_open() || count > ch.size() - ch.position() || count > 0x7FFFFFF0)
    fail(TMX_ERR_NO_SUCH_FILE, "text read past the end", channel);
  std::vector<char> bytes(static_cast<size_t>(count));
  read_exact(channel, bytes.data(), count);
  // The text keeps every byte, zeros included.
  out = BasicString(bytes.data(), static_cast<uint32_t>(count));
}

void sys_read_u8(int channel, int32_t& out) { out = static_cast<int32_t>(read_le(channel, 1)); }
void sys_read_u16(int channel, int32_t& out) { out = static_cast<int32_t>(read_le(channel, 2)); }
void sys_read_u32(int channel, int32_t& out) { out = static_cast<int32_t>(static_cast<uint32_t>(read_le(channel, 4))); }
void sys_read_u32(int channel, int64_t& out) { out = static_cast<int64_t>(read_le(channel, 4)); }
void sys_read_u32(int channel, double& out) { out = static_cast<double>(read_le(channel, 4)); }
void sys_read_i8(int channel, int32_t& out) { out = static_cast<int8_t>(read_le(channel, 1)); }
void sys_read_i16(int channel, int32_t& out) { out = static_cast<int16_t>(read_le(channel, 2)); }
void sys_read_i32(int channel, int32_t& out) { out = static_cast<int32_t>(static_cast<uint32_t>(read_le(channel, 4))); }

void sys_read_f32(int channel, double& out) {
  const uint32_t bits = static_cast<uint32_t>(read_le(channel, 4));
  float f;
  std::memcpy(&f, &bits, 4);
  out = f;
}

void sys_read_f64(int channel, double& out) {
  const uint64_t bits = read_le(channel, 8);
  std::memcpy(&out, &bits, 8);
}

void sys_write_line(int channel, const BasicString& text) {
  if (text.length() > 0) write_exact(channel, text.c_str(), text.length());
  write_exact(channel, "\r\n", 2);
}

void sys_write_text(int channel, const BasicString& text) {
  channel_or_end(channel);
  if (text.length() > 0) write_exact(channel, text.c_str(), text.length());
}

void sys_write_u8(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 1); }
void sys_write_u16(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 2); }
void sys_write_u32(int channel, int64_t value) { write_le(channel, static_cast<uint64_t>(value), 4); }
void sys_write_i8(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 1); }
void sys_write_i16(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 2); }
void sys_write_i32(int channel, int32_t value) { write_le(channel, static_cast<uint32_t>(value), 4); }

void sys_write_f32(int channel, double value) {
  const float f = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  write_le(channel, bits, 4);
}

void sys_write_f64(int channel, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  write_le(channel, bits, 8);
}

int64_t sys_file_size(const BasicString& name) {
  VirtualFile f;
  if (!f.open_read(runtime_native_path(name.c_str()).c_str())) return 0;
  if (f.handle != kNoPlatformFile) {
    const int64_t s = platform_file_size(f.handle);
    return s > 0 ? s : 0;
  }
  return f.size;
}

BasicString sys_file_time(const BasicString& name) {
  const std::string path = runtime_native_path(name.c_str());
  PlatformFileInfo info;
  int t[6];
  // Seconds are kept in 64 bits: dates after 2038 come out right.
  if (runtime_is_memory_file_name(path.c_str()) || !platform_file_info(path.c_str(), info) ||
      !platform_local_time(info.modified, t)) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return BasicString();
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2d %.2d:%.2d:%.2d", t[0], t[1], t[2], t[3], t[4], t[5]);
  return BasicString(text);
}

void sys_copy_file(const BasicString& from, const BasicString& to) {
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
