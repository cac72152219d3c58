// Buffered reading and writing of one file channel, and replacing a whole
// file without ever losing the old one.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/virtual_file.h"

// A channel: a VirtualFile (disk or memory) with a read-ahead and a write
// buffer for disk files, so line and typed reads and writes cost no system
// call each. The logical position is file.position.
class Channel {
 public:
  VirtualFile file;

  Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
  ~Channel() { drop_block(); }

  bool open_read(const char* name);
  bool open_write(const char* name);
  bool open_append(const char* name);
  bool is_open() const;
  int64_t position() const { return file.position; }
  // The size now (a disk file's own size, with what is still buffered).
  int64_t size();
  bool seek(int64_t position);
  // Up to n bytes at the position; the count read (less at the end).
  int64_t read(void* out, int64_t n);
  // The next line without its line feed and a carriage return before it,
  // cut at its first zero byte; at most `max` bytes are taken when no line
  // feed comes. False when nothing is left at all.
  bool read_line(std::string& out, size_t max);
  // The same without a copy where it can: (data, len) points into the
  // read-ahead (valid until the next call) or into `spill`. Without
  // `cut_at_zero` the caller cuts the line at its first zero byte itself.
  bool next_line(const char*& data, size_t& len, std::string& spill, size_t max, bool cut_at_zero = true);
  // Buffered write at the position; false for a channel without a writable
  // disk file or when the bytes could not be written.
  bool write(const void* bytes, int64_t n);
  // Writes what is buffered; false when it could not be written.
  bool flush();
  // Flushes (a failure is logged) and closes.
  void close();

 private:
  bool fill();
  // A memory file's bytes become the channel's own (see open_read).
  bool own_memory_block();
  void drop_block();
  std::vector<uint8_t> rbuf_;
  int64_t rbuf_start_ = 0;
  size_t rbuf_len_ = 0;
  bool rbuf_has_zero_ = true;  // whether the read-ahead holds a zero byte
  std::vector<uint8_t> wbuf_;
  int64_t wbuf_start_ = 0;
  bool writable_ = false;
  bool append_ = false;
  // The bytes of a memory file open on the channel, freed at close: the
  // block the media lookup unpacked (named as a memory file until then), or
  // a copy of another memory file.
  uint8_t* block_ = nullptr;
  bool block_named_ = false;
};

using WriteBytes = std::function<bool(const void* bytes, int64_t n)>;
// Writes a new file beside `target` through `produce`, forces it to the disk
// and only then puts it in the target's place. On any failure the target is
// untouched, the new file removed, and false returned.
bool write_file_whole(const std::string& target, const std::function<bool(const WriteBytes&)>& produce);
