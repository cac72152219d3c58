#include "audio/media_source.h"

#include "runtime/virtual_file.h"

namespace tmx::audio {

namespace {
// Larger sound files are refused rather than read into memory.
constexpr int64_t kMaxSoundFile = 512ll * 1024 * 1024;
}  // namespace

bool resolve_media_name(const char* name, std::string& out, bool memory_allowed) {
  return (memory_allowed ? runtime_resolve_general_file(name, out) : runtime_resolve_media_to_disk(name, out)) != 0;
}

bool read_media_bytes(const std::string& name, std::vector<uint8_t>& bytes, bool& memory_block, std::string* why) {
  bytes.clear();
  memory_block = runtime_is_memory_file_name(name.c_str());
  auto fail = [why](const char* reason) {
    if (why) *why = reason;
    return false;
  };
  VirtualFile f;
  if (!f.open_read(name.c_str())) return fail("cannot be opened (missing, a folder, or no permission)");
  if (f.size < 0) return fail("cannot be read");
  if (f.size > kMaxSoundFile) return fail("too large: more than 512 MiB");
  bytes.resize(static_cast<size_t>(f.size));
  if (f.size > 0 && !f.read(bytes.data(), f.size)) {
    bytes.clear();
    return fail("cannot be read");
  }
  return true;
}

}  // namespace tmx::audio
