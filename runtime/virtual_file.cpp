#include "runtime/virtual_file.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "platform/process_info.h"
#include "platform/private_temp.h"
#include "runtime/runtime_state.h"
#include "tamblix/errors.h"
#include "tamblix/runtime.h"
#include "tamblix/string.h"


namespace {

struct MemoryBlock {
  const uint8_t* block;
  uint32_t size;
};
std::unordered_map<uint32_t, MemoryBlock>& memory_files() {
  static auto* files = new std::unordered_map<uint32_t, MemoryBlock>();
  return *files;
}
uint32_t g_next_memory_id = 1;

// Reads a hexadecimal field at `offset` of a memory-file name, leading blanks
// skipped, at most 8 digits, ending at '.', the end or anything not hex.
bool parse_hex_field(const char* name, size_t offset, uint32_t* value) {
  const size_t len = std::strlen(name);
  if (offset >= len) return false;
  const char* p = name + offset;
  while (*p == ' ') ++p;
  uint64_t v = 0;
  int digits = 0;
  while (std::isxdigit(static_cast<unsigned char>(*p))) {
    if (++digits > 8) return false;
    int c = std::tolower(static_cast<unsigned char>(*p));
    v = v * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    ++p;
  }
  if (digits == 0) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool same_name_ci(const char* a, size_t an, const char* b, size_t bn) {
  if (an != bn) return false;
  for (size_t i = 0; i < an; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

void copy_path(char (&dst)[1024], const char* src) {
  std::snprintf(dst, sizeof dst, "%s", src ? src : "");
}

// Deletes a file, or removes a directory of that name.
void delete_path(const std::string& path) {
  if (platform_is_directory(path.c_str())) {
    platform_remove_directory(path.c_str());
  } else {
    platform_delete_file(path.c_str());
  }
}

void free_held_block(FileResolver& r) {
  if (!r.heldBlock) return;
  runtime_release_memory_file(r.heldBlock);
  std::free(r.heldBlock);
  r.heldBlock = nullptr;
}

// An entry name that stays inside the temporary directory as a file name.
bool safe_entry_name(const std::string& name) {
  if (name.empty()) return false;
  if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return false;
  return name.find("..") == std::string::npos;
}

// Reads the archive directory through a buffer: one platform read per 64 KiB
// instead of four per entry.
class DirectoryReader {
 public:
  DirectoryReader(VirtualFile& f, int64_t end) : f_(f), end_(end) {}
  bool read(void* out, size_t n) {
    auto* dst = static_cast<uint8_t*>(out);
    while (n > 0) {
      if (at_ == filled_ && !refill()) return false;
      size_t take = std::min(n, filled_ - at_);
      std::memcpy(dst, buf_.data() + at_, take);
      at_ += take;
      dst += take;
      n -= take;
    }
    return true;
  }
  bool read_i32(int32_t* v) {
    uint8_t b[4];
    if (!read(b, 4)) return false;
    *v = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
  }

 private:
  bool refill() {
    const int64_t left = end_ - f_.position;
    if (left <= 0) return false;
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(buf_.size())));
    if (!f_.read(buf_.data(), static_cast<int64_t>(n))) return false;
    filled_ = n;
    at_ = 0;
    return true;
  }
  VirtualFile& f_;
  int64_t end_;
  std::array<uint8_t, 65536> buf_;  // only the filled part is read: not cleared
  size_t filled_ = 0, at_ = 0;
};

// The directory of this process's own for extracted entries, made under the
// temporary directory on the first extraction and removed by
// runtime_release_resolvers; "" while there is none.
std::string g_private_temp_dir;

const std::string& private_temp_dir() {
  if (g_private_temp_dir.empty()) {
    g_private_temp_dir = platform_make_private_dir(platform_temp_dir(), "tamblix-");
    if (g_private_temp_dir.empty()) log_append("no private temporary directory\n");
  }
  return g_private_temp_dir;
}

// Writes an extracted entry as a new file; nothing already at the name is
// opened or followed.
bool write_new_file(const std::string& path, const uint8_t* data, lzo_uint length) {
  const PlatformFile f = platform_create_new_file(path.c_str());
  if (f == kNoPlatformFile) return false;
  const bool ok = length == 0 || platform_file_write(f, data, static_cast<int64_t>(length));
  platform_file_close(f);
  if (!ok) platform_delete_file(path.c_str());
  return ok;
}

bool lzo_ready() {
  static const bool ok = lzo_init() == LZO_E_OK;
  return ok;
}

}  // namespace

// ------------------------------------------------------------- memory files --

bool runtime_is_memory_file_name(const char* name) { return name && std::strncmp(name, "mem://", 6) == 0; }

std::string runtime_register_memory_file(const uint8_t* block, uint32_t size) {
  auto& files = memory_files();
  uint32_t id = g_next_memory_id;
  while (id == 0 || files.count(id)) ++id;
  g_next_memory_id = id + 1;
  files[id] = MemoryBlock{block, size};
  char name[32];
  std::snprintf(name, sizeof name, "mem://%8x.%8x", size, id);
  return name;
}

void runtime_release_memory_file(const uint8_t* block) {
  auto& files = memory_files();
  for (auto it = files.begin(); it != files.end();) {
    if (it->second.block == block) {
      it = files.erase(it);
    } else {
      ++it;
    }
  }
}

bool runtime_lookup_memory_file(const char* name, const uint8_t** block, int64_t* size) {
  if (!runtime_is_memory_file_name(name)) return false;
  uint32_t named_size = 0, id = 0;
  if (!parse_hex_field(name, 6, &named_size) || !parse_hex_field(name, 15, &id)) return false;
  auto& files = memory_files();
  auto it = files.find(id);
  if (it == files.end() || named_size > it->second.size) return false;
  *block = it->second.block;
  *size = named_size;
  return true;
}

std::string runtime_native_path(const char* name) {
  std::string p = name ? name : "";
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

// -------------------------------------------------------------- VirtualFile --

int VirtualFile::open_read(const char* name) {
  close();
  if (!name || !*name) return 0;
  if (runtime_is_memory_file_name(name)) {
    const uint8_t* block = nullptr;
    int64_t n = 0;
    if (!runtime_lookup_memory_file(name, &block, &n)) return 0;
    memory = block;
    size = n;
    position = 0;
    return 1;
  }
  return open_disk(name, PlatformOpenMode::read);
}

int VirtualFile::open_write(const char* name) {
  close();
  if (!name || !*name || runtime_is_memory_file_name(name)) return 0;
  return open_disk(name, PlatformOpenMode::write);
}

int VirtualFile::open_append(const char* name) {
  close();
  if (!name || !*name || runtime_is_memory_file_name(name)) return 0;
  return open_disk(name, PlatformOpenMode::append);
}

int VirtualFile::open_disk(const char* name, PlatformOpenMode mode) {
  handle = platform_file_open(runtime_native_path(name).c_str(), mode);
  if (handle == kNoPlatformFile) return 0;
  // A file opened for writing was truncated: its size is 0.
  const int64_t s = platform_file_size(handle);
  size = s > 0 ? s : 0;
  position = 0;
  // Appending starts at the end; a seek moves where the next write goes.
  if (mode == PlatformOpenMode::append && size > 0) {
    if (!platform_file_seek(handle, size)) {
      close();
      return 0;
    }
    position = size;
  }
  return 1;
}

int VirtualFile::read(void* buffer, int64_t n) {
  if (handle != kNoPlatformFile) {
    if (n < 0 || (!buffer && n > 0)) return 0;
    int64_t got = platform_file_read(handle, buffer, n);
    position += n;
    return got == n ? 1 : 0;
  }
  if (!memory) return 0;
  // Compared as size - position: position + n could pass the int64 range for
  // an absurd n or a position far past the end.
  if (n > size - position) n = size - position;
  if (n < 0) return 0;
  if (n > 0) {
    if (!buffer) return 0;
    std::memcpy(buffer, memory + position, static_cast<size_t>(n));
  }
  position += n;
  return 1;
}

int VirtualFile::read_i32(int32_t* out) {
  uint8_t b[4] = {0, 0, 0, 0};
  if (!read(b, 4)) return 0;
  *out = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
  return 1;
}

int VirtualFile::seek(int64_t pos) {
  // A position before the start would let a memory read reach in front of
  // the block: refused.
  if (pos < 0) return 0;
  if (handle != kNoPlatformFile && !platform_file_seek(handle, pos)) return 0;
  position = pos;
  return 1;
}

int VirtualFile::write(const void* buffer, int64_t n) {
  if (handle == kNoPlatformFile || n < 0) return 0;
  if (n > 0 && !platform_file_write(handle, buffer, n)) return 0;
  position += n;
  if (position > size) size = position;
  return 1;
}

void VirtualFile::close() {
  if (handle != kNoPlatformFile) platform_file_close(handle);
  handle = kNoPlatformFile;
  memory = nullptr;
  size = 0;
  position = 0;
}

// ----------------------------------------------------------------- lookups --

void runtime_create_resolvers() {
  if (!g_runtime.generalResolver) g_runtime.generalResolver = new FileResolver();
  if (!g_runtime.mediaResolver) g_runtime.mediaResolver = new FileResolver();
}

void runtime_release_resolver_holdings(FileResolver& r) {
  if (r.heldBlock) {
    free_held_block(r);
  } else if (r.tempPath[0]) {
    delete_path(r.tempPath);
  }
  r.tempPath[0] = 0;
}

void runtime_release_resolvers() {
  for (FileResolver** r : {&g_runtime.generalResolver, &g_runtime.mediaResolver}) {
    if (!*r) continue;
    runtime_release_resolver_holdings(**r);
    delete *r;
    *r = nullptr;
  }
  if (!g_private_temp_dir.empty()) {
    platform_remove_directory(g_private_temp_dir.c_str());
    g_private_temp_dir.clear();
  }
}

void runtime_set_archive_path(const char* general_path, const char* media_path) {
  runtime_create_resolvers();
  const char* paths[2] = {general_path, media_path};
  FileResolver* records[2] = {g_runtime.generalResolver, g_runtime.mediaResolver};
  for (int i = 0; i < 2; ++i) {
    FileResolver& r = *records[i];
    r.enabled = 1;
    runtime_release_resolver_holdings(r);
    r.archivePath[0] = 0;
    r.tempPath[0] = 0;
    // A path the record cannot hold whole stays out: shortened, it would
    // name another file. The resolver then finds no archive.
    if (paths[i] && std::strlen(paths[i]) < sizeof r.archivePath) copy_path(r.archivePath, paths[i]);
  }
}

std::string runtime_archive_temp_name(const std::string& temp_dir, int32_t p, int32_t s, const std::string& entry) {
  std::string dir = runtime_native_path(temp_dir.c_str());
  if (dir.empty() || dir.back() != '/') dir += '/';
  std::string name = dir + "kpx";
  name += static_cast<char>('A' + static_cast<uint8_t>(p) % 26);
  name += static_cast<char>('A' + static_cast<uint8_t>(s) % 26);
  name += entry;
  return name;
}

int runtime_resolve_media_file(FileResolver& r, const char* name, std::string& out, bool memory_allowed) {
  free_held_block(r);
  if (r.tempPath[0]) {
    delete_path(r.tempPath);
    r.tempPath[0] = 0;
  }
  if (!name || !*name) {
    out.clear();
    return 0;
  }
  out = name;
  if (platform_is_file(runtime_native_path(name).c_str())) return 1;
  if (!r.enabled) return 0;
  if (!r.archivePath[0]) {
    r.enabled = 0;
    return 0;
  }
  VirtualFile f;
  if (!f.open_read(r.archivePath)) {
    r.enabled = 0;
    return 0;
  }
  const int64_t file_size = f.size;
  auto not_found = [&]() {
    f.close();
    out.clear();
    return 0;
  };
  char magic[3];
  if (file_size < 11 || !f.seek(file_size - 7) || !f.read(magic, 3) || std::memcmp(magic, "kpX", 3) != 0) {
    return not_found();
  }
  int32_t d = 0;
  if (!f.read_i32(&d)) return not_found();
  const bool from_end = d < 0;
  const int64_t dir_pos = from_end ? file_size + d : d;
  if (dir_pos < 0 || dir_pos >= file_size || !f.seek(dir_pos)) return not_found();

  // The last component of the requested name.
  const char* component = name;
  for (const char* p = name; *p; ++p) {
    if (*p == '/' || *p == '\\') component = p + 1;
  }
  const size_t k = std::strlen(component);

  std::string entry;
  int32_t p = 0, s = 0;
  auto dir = std::make_unique<DirectoryReader>(f, file_size);
  for (;;) {
    uint8_t n = 0;
    if (!dir->read(&n, 1) || n == 0) return not_found();
    char buf[256];
    if (!dir->read(buf, n) || !dir->read_i32(&p) || !dir->read_i32(&s)) return not_found();
    if (same_name_ci(buf, n, component, k)) {
      entry.assign(buf, n);
      break;
    }
  }

  // The entry's data must lie inside the file and hold at least the unpacked
  // size.
  const int64_t data_pos = from_end ? file_size + p : p;
  if (s < 4 || data_pos < 0 || data_pos > file_size || s > file_size - data_pos) return not_found();
  auto* stored = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(s)));
  if (!stored) return not_found();
  if (!f.seek(data_pos) || !f.read(stored, s)) {
    std::free(stored);
    return not_found();
  }
  f.close();

  const int32_t u = static_cast<int32_t>(static_cast<uint32_t>(stored[0]) | static_cast<uint32_t>(stored[1]) << 8 |
                                         static_cast<uint32_t>(stored[2]) << 16 |
                                         static_cast<uint32_t>(stored[3]) << 24);
  // LZO1X turns one input byte into at most a few hundred output bytes; an
  // unpacked size beyond that (or negative, or beyond the cap) is damage.
  const int64_t packed = static_cast<int64_t>(s) - 4;
  const int64_t plausible = packed * 256 + 1024;
  const bool size_ok = u >= 0 && u <= kMaxArchiveEntryUnpacked && u <= plausible;
  uint8_t* block = static_cast<uint8_t*>(std::malloc(size_ok && u > 0 ? static_cast<size_t>(u) : 1));
  if (!block) {
    std::free(stored);
    return not_found();
  }
  lzo_uint length = 0;
  if (size_ok && u > 0 && lzo_ready()) {
    length = static_cast<lzo_uint>(u);
    int rc = lzo1x_decompress_safe(stored + 4, static_cast<lzo_uint>(packed), block, &length, nullptr);
    if (rc != LZO_E_OK) length = 0;
  }
  std::free(stored);

  if (memory_allowed) {
    r.heldBlock = block;
    out = runtime_register_memory_file(block, static_cast<uint32_t>(length));
    return 1;
  }
  if (!safe_entry_name(entry)) {
    // A name that would leave the temporary directory is not extracted.
    std::free(block);
    out.clear();
    return 0;
  }
  // Extracted into a directory of this process's own: two programs never
  // delete each other's files, and nobody else can put a link at the name.
  const std::string& own_dir = private_temp_dir();
  const std::string temp = own_dir.empty() ? std::string() : runtime_archive_temp_name(own_dir, p, s, entry);
  if (temp.empty() || temp.size() >= sizeof r.tempPath) {
    // No directory, or the record could keep only a shortened name and the
    // next lookup would delete that other file: not extracted.
    std::free(block);
    return 0;
  }
  delete_path(temp);
  const bool ok = write_new_file(temp, block, length);
  std::free(block);
  if (!ok) return 0;
  copy_path(r.tempPath, temp.c_str());
  out = temp;
  return 1;
}

namespace {

// A lookup through `r`, or on disk only while the resolvers do not exist.
int resolve_through(FileResolver* r, const char* name, std::string& out, bool memory_allowed) {
  if (!r) {
    out = name ? name : "";
    return !out.empty() && platform_is_file(runtime_native_path(out.c_str()).c_str()) ? 1 : 0;
  }
  return runtime_resolve_media_file(*r, name, out, memory_allowed);
}

}  // namespace

int runtime_resolve_general_file(const char* name, std::string& out) {
  return resolve_through(g_runtime.generalResolver, name, out, true);
}

int runtime_resolve_media_to_disk(const char* name, std::string& out) {
  return resolve_through(g_runtime.mediaResolver, name, out, false);
}

// ---------------------------------------------------------------- commands --

int sys_file_exists(const BasicString& name) {
  return platform_is_file(runtime_native_path(name.c_str()).c_str()) ? 1 : 0;
}

double sys_set_current_dir(const BasicString& path) {
  clear_error();
  if (!platform_set_current_dir(runtime_native_path(path.c_str()).c_str())) {
    sys_raise_error(TMX_ERR_NO_SUCH_FILE);
    return 0;
  }
  return 1;
}
