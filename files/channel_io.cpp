#include "files/channel_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/file_replace.h"
#include "platform/file_system.h"
#include "platform/path_kind.h"
#include "runtime/runtime_state.h"
#include "tamblix/errors.h"

namespace tmx::files {

namespace {
constexpr size_t kBufferBytes = Channel::kBufferBytes;
}

bool Channel::open_read(const char* name) {
  close();
  if (!file.open_read(name)) return false;
  if (file.memory && !own_memory_block()) {
    file.close();
    return false;
  }
  readable_ = true;
  note_identity();
  return true;
}

void Channel::note_identity() {
  device_ = inode_ = 0;
  if (file.handle != kNoPlatformFile && !platform_file_identity(file.handle, device_, inode_)) device_ = inode_ = 0;
}

bool Channel::same_file(const Channel& other) const {
  return this != &other && is_disk() && other.is_disk() && inode_ != 0 && device_ == other.device_ &&
         inode_ == other.inode_;
}

// The media lookup frees its unpacked block at its next find (for any
// loader), and a memory file's name may outlive its block: a channel reading
// one keeps the bytes itself. The lookup's block is taken over as it is; any
// other memory block is copied.
bool Channel::own_memory_block() {
  FileResolver* lookup = g_runtime.generalResolver;
  if (lookup && lookup->heldBlock && file.memory == lookup->heldBlock) {
    block_ = lookup->heldBlock;
    block_named_ = true;
    lookup->heldBlock = nullptr;
    return true;
  }
  block_ = static_cast<uint8_t*>(std::malloc(file.size > 0 ? static_cast<size_t>(file.size) : 1));
  if (!block_) {
    log_append("file channel: no memory for a copy of a memory file\n");
    return false;
  }
  if (file.size > 0) std::memcpy(block_, file.memory, static_cast<size_t>(file.size));
  file.memory = block_;
  return true;
}

void Channel::drop_block() {
  if (!block_) return;
  if (block_named_) runtime_release_memory_file(block_);
  std::free(block_);
  block_ = nullptr;
  block_named_ = false;
}

bool Channel::open_write(const char* name) {
  close();
  readable_ = writable_ = file.open_write(name) != 0;
  note_identity();
  return writable_;
}

bool Channel::open_append(const char* name) {
  close();
  writable_ = file.open_append(name) != 0;
  note_identity();
  return writable_;
}

bool Channel::is_open() const { return file.handle != kNoPlatformFile || file.memory != nullptr; }

int64_t Channel::size() {
  if (file.handle == kNoPlatformFile) return file.memory ? file.size : 0;
  int64_t s = platform_file_size(file.handle);
  if (s < 0) s = file.size;
  if (wlen_ != 0) s = std::max<int64_t>(s, wbuf_start_ + static_cast<int64_t>(wlen_));
  return s;
}

bool Channel::seek(int64_t position) {
  if (position < 0) return false;
  if (!flush()) return false;
  file.position = position;
  return true;
}

bool Channel::fill() {
  // Room for the zero that ends the read-ahead (see quick_line) and the
  // pieces quick_line_to reads up to it.
  if (rbuf_.size() < kBufferBytes + kLineSlack) rbuf_.resize(kBufferBytes + kLineSlack);
  rbuf_len_ = 0;
  rbuf_start_ = file.position;
  if (!platform_file_seek(file.handle, file.position)) return false;
  const int64_t got = platform_file_read(file.handle, rbuf_.data(), static_cast<int64_t>(kBufferBytes));
  if (got <= 0) return false;
  rbuf_len_ = static_cast<size_t>(got);
  rbuf_[rbuf_len_] = 0;
  return true;
}

bool Channel::read_record_slow(void* out, int64_t n) {
  if (n <= 0) return true;
  if (file.handle == kNoPlatformFile) {
    if (!file.memory || file.position > file.size) return false;
    read(out, n);
    return true;
  }
  return read(out, n) == n;
}

int64_t Channel::read(void* out, int64_t n) {
  if (n <= 0) return 0;
  uint8_t* dst = static_cast<uint8_t*>(out);
  if (file.handle == kNoPlatformFile) {
    if (!file.memory || file.position >= file.size) return 0;
    const int64_t k = std::min(n, file.size - file.position);
    std::memcpy(dst, file.memory + file.position, static_cast<size_t>(k));
    file.position += k;
    return k;
  }
  if (!flush()) return 0;
  int64_t done = 0;
  while (done < n) {
    const int64_t off = file.position - rbuf_start_;
    if (off < 0 || off >= static_cast<int64_t>(rbuf_len_)) {
      if (!fill()) break;
      continue;
    }
    const int64_t k = std::min<int64_t>(n - done, static_cast<int64_t>(rbuf_len_) - off);
    std::memcpy(dst + done, rbuf_.data() + off, static_cast<size_t>(k));
    done += k;
    file.position += k;
  }
  return done;
}

bool Channel::next_line(const char*& data, size_t& len, std::string& spill, size_t max, bool cut_at_zero) {
  // A quick line never holds a zero byte: nothing to cut.
  if (quick_line(data, len, max)) return true;
  spill.clear();
  bool any = false;
  bool ended = false;  // by a line feed
  bool spilled = false;
  data = nullptr;
  len = 0;
  for (;;) {
    const size_t have = spilled ? spill.size() : 0;
    if (have >= max) break;
    const uint8_t* avail = nullptr;
    size_t n = 0;
    if (file.handle == kNoPlatformFile) {
      if (!file.memory || file.position >= file.size) break;
      avail = file.memory + file.position;
      n = static_cast<size_t>(file.size - file.position);
    } else {
      if (wlen_ != 0 && !flush()) break;
      int64_t off = file.position - rbuf_start_;
      if (off < 0 || off >= static_cast<int64_t>(rbuf_len_)) {
        if (!fill()) break;
        off = 0;
      }
      avail = rbuf_.data() + off;
      n = rbuf_len_ - static_cast<size_t>(off);
    }
    n = std::min(n, max - have);
    const void* lf = std::memchr(avail, '\n', n);
    const size_t take = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - avail) : n;
    if (!any && lf) {
      // The whole line lies in the buffer (or the memory block): no copy.
      data = reinterpret_cast<const char*>(avail);
      len = take;
      file.position += static_cast<int64_t>(take + 1);
      any = ended = true;
      break;
    }
    any = true;
    spill.append(reinterpret_cast<const char*>(avail), take);
    spilled = true;
    file.position += static_cast<int64_t>(lf ? take + 1 : take);
    if (lf) {
      ended = true;
      break;
    }
  }
  if (!any) return false;
  if (spilled) {
    data = spill.data();
    len = spill.size();
  }
  // A disk line ended by the file's end counts as ended too (the short last
  // piece gets a line feed): its carriage return goes as well. A memory file
  // drops a carriage return only before a line feed. A line cut at `max`
  // keeps its bytes.
  const bool memory = file.handle == kNoPlatformFile;
  if ((ended || (!memory && len < max)) && len > 0 && data[len - 1] == '\r') --len;
  if (cut_at_zero) {
    const void* zero = std::memchr(data, 0, len);
    if (zero) len = static_cast<size_t>(static_cast<const char*>(zero) - data);
  }
  return true;
}

bool Channel::read_line(std::string& out, size_t max) {
  const char* data = nullptr;
  size_t len = 0;
  std::string spill;
  if (!next_line(data, len, spill, max)) return false;
  out.assign(data, len);
  return true;
}

bool Channel::write_slow(const void* bytes, int64_t n) {
  if (!writable_ || file.handle == kNoPlatformFile || n < 0) return false;
  if (n == 0) return true;
  // Bytes that do not continue the buffer's run, or do not fit behind it, go
  // after it is written.
  if (wlen_ != 0 && (file.position != wbuf_start_ + static_cast<int64_t>(wlen_) ||
                     static_cast<size_t>(n) > kBufferBytes - wlen_))
    if (!flush()) return false;
  if (wlen_ == 0) wbuf_start_ = file.position;
  rbuf_len_ = 0;  // the read-ahead may hold the old bytes
  const uint8_t* src = static_cast<const uint8_t*>(bytes);
  if (static_cast<size_t>(n) >= kBufferBytes) {
    if (!platform_file_seek(file.handle, file.position)) return false;
    if (!platform_file_write(file.handle, src, n)) return false;
  } else {
    if (wbuf_.size() < kBufferBytes) wbuf_.resize(kBufferBytes);
    std::memcpy(wbuf_.data() + wlen_, src, static_cast<size_t>(n));
    wlen_ += static_cast<size_t>(n);
    if ((wlen_ >= kBufferBytes || shared_) && !flush()) return false;
  }
  file.position += n;
  if (file.position > file.size) file.size = file.position;
  return true;
}

bool Channel::flush() {
  if (wlen_ == 0) return true;
  const bool ok = platform_file_seek(file.handle, wbuf_start_) &&
                  platform_file_write(file.handle, wbuf_.data(), static_cast<int64_t>(wlen_));
  wlen_ = 0;
  rbuf_len_ = 0;
  return ok;
}

bool Channel::close() {
  const bool written = flush();
  file.close();
  drop_block();
  rbuf_len_ = 0;
  rbuf_start_ = 0;
  readable_ = writable_ = shared_ = false;
  device_ = inode_ = 0;
  return written;
}

bool files_write_file_whole(const std::string& target, const std::function<bool(const WriteBytes&)>& produce) {
  std::string temp;
  PlatformFile f = platform_create_beside(target.c_str(), temp);
  if (f == kNoPlatformFile) return false;
  // The new file takes the old one's permission bits: a private file stays
  // private.
  if (platform_path_kind(target.c_str()) == PlatformPathKind::regular) platform_copy_permissions(target.c_str(), f);
  std::vector<uint8_t> buffer;
  buffer.reserve(kBufferBytes);
  bool ok = true;
  auto drain = [&] {
    if (!buffer.empty() && ok) ok = platform_file_write(f, buffer.data(), static_cast<int64_t>(buffer.size()));
    buffer.clear();
    return ok;
  };
  const WriteBytes put = [&](const void* bytes, int64_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    buffer.insert(buffer.end(), p, p + n);
    return buffer.size() < kBufferBytes || drain();
  };
  ok = produce(put) && drain() && platform_file_flush(f);
  platform_file_close(f);
  // A directory in the target's place is removed first, as a file would be
  // replaced (only an empty one can go).
  if (ok && platform_is_directory(target.c_str())) platform_remove_directory(target.c_str());
  if (ok) ok = platform_replace_file(temp.c_str(), target.c_str());
  if (!ok) platform_delete_file(temp.c_str());
  return ok;
}

}  // namespace tmx::files
