// How the graphics loaders reach their files: media lookup and whole-file
// reads of disk files.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "gfx/gfx_internal.h"

namespace {
// Files beyond this size are not images the engine can use.
constexpr long long kMaxFileBytes = 1ll << 30;
}  // namespace

bool gfx_is_memory_name(const char* name) { return name && std::strncmp(name, "mem://", 6) == 0; }

bool gfx_read_file(const char* name, std::vector<uint8_t>& out) {
  out.clear();
  if (!name || !*name || gfx_is_memory_name(name)) return false;
  struct stat st;
  if (::stat(name, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  std::FILE* f = std::fopen(name, "rb");
  if (!f) return false;
  bool ok = true;
  if (std::fseek(f, 0, SEEK_END) != 0) ok = false;
  long long size = ok ? std::ftell(f) : -1;
  if (size < 0 || size > kMaxFileBytes) ok = false;
  if (ok && std::fseek(f, 0, SEEK_SET) != 0) ok = false;
  if (ok) {
    out.resize(size_t(size));
    if (size > 0 && std::fread(out.data(), 1, size_t(size), f) != size_t(size)) ok = false;
  }
  std::fclose(f);
  if (!ok) out.clear();
  return ok;
}

bool gfx_resolve_media(const char* name, std::string& out) {
  out.clear();
  if (!name || !*name) return false;
  out = name;
  struct stat st;
  return ::stat(name, &st) == 0 && !S_ISDIR(st.st_mode);
}
