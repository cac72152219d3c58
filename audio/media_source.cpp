#include "audio/media_source.h"

#include <sys/stat.h>

#include <cstdio>

namespace tmx::audio {

namespace {
// Larger sound files are refused rather than read into memory.
constexpr long long kMaxSoundFile = 512ll * 1024 * 1024;

bool is_regular_file(const char* path) {
  struct stat st {};
  return ::stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}
}  // namespace

bool resolve_media_name(const char* name, std::string& out, bool) {
  out = name ? name : "";
  if (out.empty()) return false;
  return is_regular_file(out.c_str());
}

bool read_media_bytes(const std::string& name, std::vector<uint8_t>& bytes, bool& memory_block) {
  memory_block = false;
  bytes.clear();
  if (name.empty()) return false;
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (f == nullptr) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long long size = ok ? std::ftell(f) : -1;
  ok = ok && size >= 0 && size <= kMaxSoundFile && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size));
    ok = size == 0 || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  }
  std::fclose(f);
  if (!ok) bytes.clear();
  return ok;
}

}  // namespace tmx::audio
