// How the graphics loaders reach their files: the engine's media lookup and
// virtual files (disk files and memory blocks alike).
#include "gfx/file_access.h"

#include <cstdio>

#include "runtime/virtual_file.h"

namespace {
// Files beyond this size are not images the engine can use.
constexpr int64_t kMaxFileBytes = int64_t(1) << 30;

enum class FileRead { kOk, kCannotOpen, kTooLarge, kCannotRead };

FileRead read_whole_file(const char* name, std::vector<uint8_t>& out) {
  out.clear();
  if (!name || !*name) return FileRead::kCannotOpen;
  VirtualFile f;
  if (!f.open_read(name)) return FileRead::kCannotOpen;
  if (f.size < 0) return FileRead::kCannotRead;
  if (f.size > kMaxFileBytes) return FileRead::kTooLarge;
  out.resize(size_t(f.size));
  if (f.size > 0 && !f.read(out.data(), f.size)) {
    out.clear();
    return FileRead::kCannotRead;
  }
  return FileRead::kOk;
}

uint32_t be16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return be16(p) << 16 | be16(p + 2); }
uint32_t le16(const uint8_t* p) { return uint32_t(p[1]) << 8 | p[0]; }
uint32_t le32(const uint8_t* p) { return le16(p + 2) << 16 | le16(p); }

bool is_bmp(const std::vector<uint8_t>& b) { return b.size() >= 2 && b[0] == 'B' && b[1] == 'M'; }
bool is_png(const std::vector<uint8_t>& b) { return b.size() >= 4 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G'; }
bool is_jpeg(const std::vector<uint8_t>& b) { return b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF; }

// The picture size a file's header gives, when it can be found.
bool header_size(const std::vector<uint8_t>& b, int64_t& w, int64_t& h) {
  if (is_png(b) && b.size() >= 24) {
    w = be32(&b[16]);
    h = be32(&b[20]);
    return true;
  }
  if (is_bmp(b) && b.size() >= 26) {
    if (le32(&b[14]) == 12) {
      w = le16(&b[18]);
      h = le16(&b[20]);
    } else {
      w = int32_t(le32(&b[18]));
      h = int32_t(le32(&b[22]));
      if (h < 0) h = -h;
    }
    return true;
  }
  if (is_jpeg(b)) {
    // The frame header (SOF0..SOF15 but DHT, JPG and DAC) holds the size.
    size_t pos = 2;
    while (pos + 4 <= b.size() && b[pos] == 0xFF) {
      const uint8_t marker = b[pos + 1];
      if (marker == 0xFF) {
        ++pos;
        continue;
      }
      if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
        if (pos + 9 > b.size()) return false;
        h = be16(&b[pos + 5]);
        w = be16(&b[pos + 7]);
        return true;
      }
      pos += 2 + be16(&b[pos + 2]);
    }
  }
  return false;
}

// Why none of the readers accepted the bytes.
std::string decode_failure(const std::vector<uint8_t>& bytes, bool jpeg, bool memory) {
  int64_t w = 0, h = 0;
  if (header_size(bytes, w, h) && (w > kMaxImageSide || h > kMaxImageSide || w * h > kMaxImagePixels)) {
    char text[160];
    std::snprintf(text, sizeof text, "too large: %lld x %lld pixels (at most %d a side and %lld in all)",
                  static_cast<long long>(w), static_cast<long long>(h), int(kMaxImageSide),
                  static_cast<long long>(kMaxImagePixels));
    return text;
  }
  if (is_bmp(bytes)) return "damaged or unsupported BMP";
  if (is_png(bytes)) return "damaged or unsupported PNG";
  if (is_jpeg(bytes)) {
    if (!jpeg) return "a JPEG image, which is not read here (BMP or PNG only)";
    if (memory) return "a JPEG image in a packed file, which is not read (BMP or PNG only)";
    return "damaged or unsupported JPEG";
  }
  return jpeg ? "not a BMP, PNG or JPEG image" : "not a BMP or PNG image";
}

}  // namespace

bool gfx_is_memory_name(const char* name) { return name && runtime_is_memory_file_name(name); }

bool gfx_read_file(const char* name, std::vector<uint8_t>& out) { return read_whole_file(name, out) == FileRead::kOk; }

bool gfx_resolve_media(const char* name, std::string& out) {
  out.clear();
  if (!name || !*name) return false;
  return runtime_resolve_general_file(name, out) != 0;
}

bool gfx_read_image_file(ImageBuffer& image, const char* name, int32_t key, bool jpeg, std::string* why) {
  std::vector<uint8_t> bytes;
  switch (read_whole_file(name, bytes)) {
    case FileRead::kOk:
      break;
    case FileRead::kCannotOpen:
      if (why) *why = "cannot be opened (missing, a folder, or no permission)";
      return false;
    case FileRead::kTooLarge:
      if (why) *why = "too large: more than 1 GiB";
      return false;
    case FileRead::kCannotRead:
      if (why) *why = "cannot be read";
      return false;
  }
  if (gfx_decode_bmp(image, bytes.data(), bytes.size(), key)) return true;
  if (gfx_decode_png(image, bytes.data(), bytes.size(), key, name)) return true;
  // JPEG last, from the same bytes; memory files are not read as JPEG.
  const bool memory = gfx_is_memory_name(name);
  if (jpeg && !bytes.empty() && !memory && gfx_decode_jpeg(image, bytes.data(), bytes.size())) return true;
  if (why) *why = bytes.empty() ? "empty file" : decode_failure(bytes, jpeg, memory);
  return false;
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
