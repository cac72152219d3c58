// How the graphics loaders reach their files: the engine's media lookup and
// virtual files (disk files and memory blocks alike).
#include "gfx/file_access.h"
#include "runtime/virtual_file.h"

namespace {
// Files beyond this size are not images the engine can use.
constexpr int64_t kMaxFileBytes = int64_t(1) << 30;
}  // namespace

bool gfx_is_memory_name(const char* name) { return name && runtime_is_memory_file_name(name); }

bool gfx_read_file(const char* name, std::vector<uint8_t>& out) {
  out.clear();
  if (!name || !*name) return false;
  VirtualFile f;
  if (!f.open_read(name)) return false;
  if (f.size < 0 || f.size > kMaxFileBytes) return false;
  out.resize(size_t(f.size));
  if (f.size > 0 && !f.read(out.data(), f.size)) {
    out.clear();
    return false;
  }
  return true;
}

bool gfx_resolve_media(const char* name, std::string& out) {
  out.clear();
  if (!name || !*name) return false;
  return runtime_resolve_general_file(name, out) != 0;
}

bool gfx_read_image_file(ImageBuffer& image, const char* name, int32_t key, bool jpeg) {
  std::vector<uint8_t> bytes;
  if (!gfx_read_file(name, bytes)) return false;
  if (gfx_decode_bmp(image, bytes.data(), bytes.size(), key)) return true;
  if (gfx_decode_png(image, bytes.data(), bytes.size(), key, name)) return true;
  // JPEG last, from the same bytes; memory files are not read as JPEG.
  return jpeg && !bytes.empty() && !gfx_is_memory_name(name) && gfx_decode_jpeg(image, bytes.data(), bytes.size());
}

bool gfx_read_bmp(ImageBuffer& image, const char* name, int32_t key) {
  std::vector<uint8_t> bytes;
  if (!gfx_read_file(name, bytes)) return false;
  return gfx_decode_bmp(image, bytes.data(), bytes.size(), key);
}

bool gfx_read_png(ImageBuffer& image, const char* name, int32_t key) {
  std::vector<uint8_t> bytes;
  if (!gfx_read_file(name, bytes)) return false;
  return gfx_decode_png(image, bytes.data(), bytes.size(), key, name);
}

bool gfx_read_jpeg(ImageBuffer& image, const char* name) {
  // Only files on disk: memory files are not read as JPEG, and a directory
  // yields no bytes.
  if (!name || !*name || gfx_is_memory_name(name)) return false;
  std::vector<uint8_t> bytes;
  if (!gfx_read_file(name, bytes) || bytes.empty()) return false;
  return gfx_decode_jpeg(image, bytes.data(), bytes.size());
}
