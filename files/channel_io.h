// Buffered reading and writing of one file channel, and replacing a whole
// file without ever losing the old one.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/virtual_file.h"

namespace tmx::files {

// A channel: a VirtualFile (disk or memory) with a read-ahead and a write
// buffer for disk files, so line and typed reads and writes cost no system
// call each. The logical position is file.position. (Aligned so that a table
// of channels is indexed with a shift on the line reads' path.)
class alignas(256) Channel {
 public:
  // Read-ahead and write buffer size.
  static constexpr size_t kBufferBytes = 16 * 1024;
  VirtualFile file;

  Channel() = default;
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;
  ~Channel() { drop_block(); }

  bool open_read(const char* name);
  bool open_write(const char* name);
  // Opens or creates the file for writing at its end; a seek moves where the
  // next write goes (the file is not opened in append mode).
  bool open_append(const char* name);
  bool is_open() const;
  bool is_disk() const { return file.handle != kNoPlatformFile; }
  bool readable() const { return readable_; }
  bool writable() const { return writable_; }
  // Bytes written but still in the write buffer.
  bool pending() const { return wlen_ != 0; }
  // Open for reading and nothing buffered for writing: a read needs nothing
  // done first.
  bool ready_to_read() const { return readable_ && wlen_ == 0; }
  int64_t position() const { return file.position; }
  // Another channel has the same disk file open: every write goes to the
  // file at once (and the caller drops the other channel's read-ahead), so
  // each channel sees what the other wrote.
  bool shared() const { return shared_; }
  void set_shared(bool shared) { shared_ = shared; }
  // True when both are open on the same disk file.
  bool same_file(const Channel& other) const;
  // Drops the read-ahead: the next read asks the file again.
  void forget_read_ahead() { rbuf_len_ = 0; }
  // The size now (a disk file's own size, with what is still buffered).
  int64_t size();
  bool seek(int64_t position);
  // Up to n bytes at the position; the count read (less at the end).
  int64_t read(void* out, int64_t n);
  // A fixed-size read as the typed reads and sys_read_text make it: a disk
  // file must give all n bytes; a memory file copies what it holds from the
  // position up to its end and leaves the rest of `out` as it was, failing
  // only for a position beyond its end. The position advances by the bytes
  // read.
  bool read_record(void* out, int64_t n) {
    // The common case, inlined: the bytes lie in the read-ahead.
    const size_t off = static_cast<size_t>(file.position - rbuf_start_);
    if (off < rbuf_len_ && n > 0 && static_cast<size_t>(n) <= rbuf_len_ - off) {
      std::memcpy(out, rbuf_.data() + off, static_cast<size_t>(n));
      file.position += n;
      return true;
    }
    return read_record_slow(out, n);
  }
  // The next line without its line feed and a carriage return before it,
  // cut at its first zero byte; at most `max` bytes are taken when no line
  // feed comes. False when nothing is left at all.
  bool read_line(std::string& out, size_t max);
  // The common case of next_line, small enough to be inlined into the line
  // reads: a disk line that lies whole in the read-ahead, shorter than `max`
  // and free of zero bytes, found in one search. (data, len) point into the
  // read-ahead until the next call. False: next_line takes it.
  bool quick_line(const char*& data, size_t& len, size_t max) {
    // A position before the read-ahead gives a huge offset: refused too. (While
    // bytes wait in the write buffer the read-ahead is empty.)
    const size_t off = static_cast<size_t>(file.position - rbuf_start_);
    if (off >= rbuf_len_) return false;
    const char* avail = reinterpret_cast<const char*>(rbuf_.data()) + off;
    // The read-ahead ends with a zero byte: the search stops at a line feed,
    // a zero byte in the line or that end.
    const char* end = strchrnul(avail, '\n');
    const size_t n = static_cast<size_t>(end - avail);
    if (*end != '\n' || n >= max) return false;
    file.position += static_cast<int64_t>(n + 1);
    data = avail;
    len = n > 0 && avail[n - 1] == '\r' ? n - 1 : n;
    return true;
  }
  // quick_line that copies the line to `dst` while it looks for its end, so
  // the bytes are read once. dst needs room for max + kLineSlack bytes: what
  // follows the line in its 32-byte piece is copied too. len: the line's
  // length in dst, without the line feed and a carriage return before it.
  static constexpr size_t kLineSlack = 32;
  bool quick_line_to(char* dst, size_t& len, size_t max) {
    const size_t off = static_cast<size_t>(file.position - rbuf_start_);
    if (off >= rbuf_len_) return false;
    const char* src = reinterpret_cast<const char*>(rbuf_.data()) + off;
#if defined(__SSE2__)
    // 32 bytes at a time; the zero after the read-ahead stops the search
    // before it leaves the buffer's slack.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    for (size_t i = 0; i < max; i += 32) {
      const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v0);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i + 16), v1);
      const unsigned h0 =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v0, lf), _mm_cmpeq_epi8(v0, zero))));
      const unsigned h1 =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v1, lf), _mm_cmpeq_epi8(v1, zero))));
      const unsigned hits = h0 | h1 << 16;
      if (hits == 0) continue;
      const size_t n = i + static_cast<size_t>(__builtin_ctz(hits));
      if (src[n] != '\n' || n >= max) return false;
      file.position += static_cast<int64_t>(n + 1);
      len = n > 0 && src[n - 1] == '\r' ? n - 1 : n;
      return true;
    }
    return false;
#else
    const char* data = nullptr;
    if (!quick_line(data, len, max)) return false;
    std::memcpy(dst, data, len);
    return true;
#endif
  }
  // read_line without a copy where it can: (data, len) points into the
  // read-ahead (valid until the next call) or into `spill`. Without
  // `cut_at_zero` the caller cuts the line at its first zero byte itself.
  bool next_line(const char*& data, size_t& len, std::string& spill, size_t max, bool cut_at_zero = true);
  // Buffered write at the position; false for a channel without a writable
  // disk file or when the bytes could not be written.
  bool write(const void* bytes, int64_t n) {
    // The common case, inlined: bytes that continue the buffered run and
    // leave room in the buffer.
    if (wlen_ != 0 && n >= 0 && static_cast<size_t>(n) < kBufferBytes - wlen_ &&
        file.position == wbuf_start_ + static_cast<int64_t>(wlen_)) {
      std::memcpy(wbuf_.data() + wlen_, bytes, static_cast<size_t>(n));
      wlen_ += static_cast<size_t>(n);
      file.position += n;
      if (file.position > file.size) file.size = file.position;
      return true;
    }
    return write_slow(bytes, n);
  }
  // Writes what is buffered; false when it could not all be written (the
  // buffer is emptied either way).
  bool flush();
  // Flushes and closes; false when the buffered bytes could not all be
  // written (the channel is closed either way).
  bool close();

 private:
  bool fill();
  bool read_record_slow(void* out, int64_t n);
  bool write_slow(const void* bytes, int64_t n);
  // A memory file's bytes become the channel's own (see open_read).
  bool own_memory_block();
  // Notes which disk file is open (for same_file).
  void note_identity();
  void drop_block();
  std::vector<uint8_t> rbuf_;
  int64_t rbuf_start_ = 0;
  size_t rbuf_len_ = 0;
  std::vector<uint8_t> wbuf_;  // kBufferBytes once the channel first writes
  size_t wlen_ = 0;            // bytes waiting in wbuf_
  int64_t wbuf_start_ = 0;     // the file position of wbuf_[0]
  bool readable_ = false;
  bool writable_ = false;
  bool shared_ = false;
  uint64_t device_ = 0, inode_ = 0;  // of a disk file
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
bool files_write_file_whole(const std::string& target, const std::function<bool(const WriteBytes&)>& produce);

}  // namespace tmx::files
