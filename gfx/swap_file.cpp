// The texture swap file: every slot's pixels out to a temporary file and back.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "gfx/context.h"
#include "gfx/grab.h"
#include "gfx/swap_file.h"
#include "gfx/texture_store.h"
#include "platform/process_info.h"
#include "tamblix/errors.h"
#include "tamblix/gfx.h"

const std::string& gfx_swap_file_name() {
  static std::string name;
  if (name.empty()) {
    std::string dir = platform_temp_dir();
    for (char& ch : dir)
      if (ch == '\\') ch = '/';
    if (dir.empty()) dir = "/tmp";
    if (dir.back() != '/') dir += '/';
    // A random number plus a per-instance value (the address of this name).
    std::random_device rd;
    const unsigned number = unsigned(rd()) + unsigned(reinterpret_cast<uintptr_t>(&name) >> 4);
    char buf[64];
    std::snprintf(buf, sizeof buf, "tmxtxs%x.bin", number);
    name = dir + buf;
  }
  return name;
}

namespace {

void remove_swap_file() {
  // A file, or an empty directory of that name.
  std::error_code ec;
  std::filesystem::remove(gfx_swap_file_name(), ec);
}

void put_le32(std::FILE* f, int32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

bool get_le32(std::FILE* f, int32_t& v) {
  uint8_t b[4];
  if (std::fread(b, 1, 4, f) != 4) return false;
  v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  return true;
}

}  // namespace

bool gfx_save_textures() {
  if (!g_gfx) return false;
  const std::string& name = gfx_swap_file_name();
  std::string line = "move textures from mem to temp file\n   \"" + name + "\"\n";
  log_append(line.c_str());
  remove_swap_file();
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  ImageBuffer img;
  bool ok = true;
  for (int slot = 0; slot < kSlotCount - 1; ++slot) {
    if (g_gfx->slots[slot].width < 1) continue;
    if (!gfx_read_sprite_pixels(slot, img)) continue;
    put_le32(f, slot);
    put_le32(f, img.width);
    put_le32(f, img.height);
    if (std::fwrite(img.pixels, 4, size_t(img.width) * img.height, f) != size_t(img.width) * img.height) ok = false;
  }
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

bool gfx_restore_textures() {
  if (!g_gfx) return false;
  log_append("restoring textures from temp file\n");
  const std::string& name = gfx_swap_file_name();
  std::FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  ImageBuffer img;
  bool ok = true;
  int32_t slot, w, h;
  while (get_le32(f, slot)) {
    if (!get_le32(f, w) || !get_le32(f, h) || !gfx_valid_slot(slot) || !img.resize(w, h)) {
      ok = false;
      break;
    }
    if (std::fread(img.pixels, 4, size_t(w) * h, f) != size_t(w) * h) {
      ok = false;
      break;
    }
    img.hasOwnAlpha = true;
    gfx_upload_sprite(slot, img, false);
  }
  std::fclose(f);
  remove_swap_file();
  return ok;
}

int gfx_swap_textures(int flag) {
  if (flag == 0)
    gfx_save_textures();
  else
    gfx_restore_textures();
  return 0;
}

void gfx_swap_file_remove() { remove_swap_file(); }
