// mediacheck: checks the files made by mediagen.
//
// Usage: mediacheck <media-dir> <work-dir> <rerun-media-dir> <rerun-work-dir>
// Checks the formats, sizes and contents the game relies on, and that a second
// run of the generator produced byte-identical files.

#include <png.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;
void fail(const std::string& what) {
  std::fprintf(stderr, "FAIL: %s\n", what.c_str());
  ++failures;
}
#define EXPECT(cond, what)      \
  do {                          \
    if (!(cond)) fail(what);    \
  } while (0)

bool read_all(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return true;
}
uint32_t le16(const std::vector<uint8_t>& v, size_t o) { return v[o] | (v[o + 1] << 8); }
uint32_t le32(const std::vector<uint8_t>& v, size_t o) { return le16(v, o) | (le16(v, o + 2) << 16); }
bool tag(const std::vector<uint8_t>& v, size_t o, const char* t) { return v.size() >= o + 4 && std::memcmp(&v[o], t, 4) == 0; }

struct Rgba {
  int w = 0, h = 0;
  std::vector<uint8_t> px;
  const uint8_t* at(int x, int y) const { return &px[(size_t(y) * w + x) * 4]; }
};

// Loads a PNG; also checks what the engine's reader insists on: 8-bit RGB or RGBA.
bool load_png(const std::string& path, Rgba& img, bool wantAlpha) {
  std::vector<uint8_t> raw;
  if (!read_all(path, raw) || raw.size() < 33 || std::memcmp(&raw[1], "PNG", 3) != 0) {
    fail(path + ": not a PNG file");
    return false;
  }
  EXPECT(raw[24] == 8, path + ": bit depth is not 8");
  EXPECT(raw[25] == (wantAlpha ? 6 : 2), path + ": unexpected colour type");
  png_image pi;
  std::memset(&pi, 0, sizeof pi);
  pi.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&pi, raw.data(), raw.size())) {
    fail(path + ": libpng cannot read it");
    return false;
  }
  pi.format = PNG_FORMAT_RGBA;
  img.w = int(pi.width);
  img.h = int(pi.height);
  img.px.assign(PNG_IMAGE_SIZE(pi), 0);
  if (!png_image_finish_read(&pi, nullptr, img.px.data(), 0, nullptr)) {
    fail(path + ": decoding failed");
    return false;
  }
  return true;
}

int ink(const Rgba& img, int x0, int y0, int w, int h) {
  int n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += img.at(x, y)[3] != 0;
  return n;
}

void check_background(const std::string& dir) {
  Rgba img;
  if (!load_png(dir + "/bkg.png", img, false)) return;
  EXPECT(img.w == 640 && img.h == 400, "bkg.png is not 640 x 400");
}

void check_atlas(const std::string& dir) {
  Rgba img;
  if (!load_png(dir + "/hero.png", img, true)) return;
  EXPECT(img.w >= 384 && img.h >= 256, "hero.png is too small for the atlas regions");
  EXPECT((img.w & (img.w - 1)) == 0 && (img.h & (img.h - 1)) == 0, "hero.png is not a power-of-two size");
  if (img.w < 384 || img.h < 256) return;
  for (int f = 0; f < 24; ++f) {
    int fx = (f % 12) * 32, fy = (f / 12) * 64;
    EXPECT(ink(img, fx, fy, 32, 64) > 200, "hero frame " + std::to_string(f) + " is (nearly) empty");
  }
  // The left-facing row is the mirror image of the right-facing row.
  bool mirrored = true;
  for (int f = 0; f < 12; ++f)
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 32; ++x)
      {
        const uint8_t* a = img.at(f * 32 + x, y);
        const uint8_t* b = img.at(f * 32 + 31 - x, 64 + y);
        if (a[3] != b[3] || (a[3] != 0 && std::memcmp(a, b, 3) != 0)) mirrored = false;
      }
  EXPECT(mirrored, "hero rows 0 and 1 are not mirror images");
  // The ducking frame keeps clear of the top half of the frame.
  EXPECT(ink(img, 8 * 32, 0, 32, 28) == 0 && ink(img, 8 * 32, 64, 32, 28) == 0, "duck frame reaches too high");
  EXPECT(ink(img, 0, 128, 32, 64) > 600, "cloud region is empty");
  EXPECT(ink(img, 32, 128, 32, 64) == 32 * 64, "block kind 4 is not opaque");
  EXPECT(ink(img, 64, 128, 32, 64) == 32 * 64, "blocks kinds 1..3 are not opaque");
  EXPECT(ink(img, 160, 160, 32, 32) > 300, "hazard core is empty");
  EXPECT(ink(img, 192, 176, 32, 16) == 32 * 16, "upper floor tile is not opaque");
  EXPECT(ink(img, 224, 176, 32, 16) == 32 * 16, "lower floor tile is not opaque");
  for (int k = 0; k < 4; ++k) EXPECT(ink(img, k * 32, 224, 32, 32) > 40, "goal marker frame is empty");
  // Floor tiles repeat seamlessly: the end columns must be close in colour.
  for (int t = 0; t < 2; ++t) {
    int x0 = 192 + 32 * t, diff = 0;
    for (int y = 176; y < 192; ++y)
      for (int c = 0; c < 3; ++c) diff += std::abs(int(img.at(x0, y)[c]) - int(img.at(x0 + 31, y)[c]));
    EXPECT(diff < 16 * 3 * 60, "floor tile seam is too visible");
  }
}

void check_light(const std::string& dir) {
  std::vector<uint8_t> v;
  if (!read_all(dir + "/light.bmp", v)) {
    fail("light.bmp missing");
    return;
  }
  EXPECT(v.size() == 54 + 64 * 64 * 3, "light.bmp has the wrong size");
  if (v.size() < 54) return;
  EXPECT(v[0] == 'B' && v[1] == 'M', "light.bmp: no BM signature");
  EXPECT(le32(v, 10) == 54 && le32(v, 14) == 40, "light.bmp: header layout");
  EXPECT(le32(v, 18) == 64 && le32(v, 22) == 64, "light.bmp is not 64 x 64 bottom-up");
  EXPECT(le16(v, 26) == 1 && le16(v, 28) == 24 && le32(v, 30) == 0, "light.bmp is not 24-bit BI_RGB");
  if (v.size() != 54 + 64 * 64 * 3) return;
  auto px = [&](int x, int y) { return &v[54 + size_t(63 - y) * 192 + x * 3]; };  // BGR
  EXPECT(px(32, 32)[2] > 200, "light.bmp centre is not bright");
  EXPECT(px(0, 0)[0] == 0 && px(0, 0)[1] == 0 && px(0, 0)[2] == 0, "light.bmp corner is not black");
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* p = px(x, y);
      if (p[2] == 255 && p[1] == 0 && p[0] == 128) fail("light.bmp contains the colour key");
    }
}

void check_font(const std::string& dir) {
  Rgba img;
  if (!load_png(dir + "/Valk640.png", img, true)) return;
  EXPECT(img.w % 16 == 0, "font image width is not a multiple of 16");
  const int cw = img.w >> 4;
  const bool wide = img.w >= img.h;
  const int ch = wide ? img.h >> 3 : img.h >> 4;
  EXPECT(cw >= 16 && ch >= 16, "font cells are too small");
  // Glyph widths, measured the way the engine measures them.
  int width[128] = {};
  for (int c = 0; c < 128; ++c) {
    int left = -1, last = -1;
    for (int x = 0; x < cw; ++x)
      for (int y = 0; y < ch; ++y)
        if (img.at((c % 16) * cw + x, (c / 16) * ch + y)[3] != 0) {
          if (left < 0) left = x;
          last = x;
        }
    if (left < 0) {
      width[c] = cw;
      continue;
    }
    int inkw = last - left + 1;
    width[c] = (left + inkw < cw) ? inkw + 1 : inkw;
  }
  width[32] = width['j'];
  const std::string needed = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789'.:/!?-j";
  for (char c : needed) {
    bool hasInk = width[int(c)] < cw;
    EXPECT(hasInk, std::string("font glyph '") + c + "' is empty or fills its cell");
  }
  EXPECT(width['I'] < width['M'], "font is not proportional");
  auto text_width = [&](const std::string& s) {
    int w = 0;
    for (char c : s) w += width[int(c)];
    return w;
  };
  EXPECT(text_width("ALL LEVELS COMPLETED") < 600, "texts are too wide for the screen");
  EXPECT(text_width("QUENDAL31 COMPO") < 400, "credit text too wide");
}

void check_wav(const std::string& path, double minSec, double maxSec) {
  std::vector<uint8_t> v;
  if (!read_all(path, v)) {
    fail(path + " missing");
    return;
  }
  if (v.size() < 44) {
    fail(path + " too short");
    return;
  }
  EXPECT(tag(v, 0, "RIFF") && tag(v, 8, "WAVE"), path + ": not RIFF/WAVE");
  EXPECT(le32(v, 4) == v.size() - 8, path + ": RIFF size");
  EXPECT(tag(v, 12, "fmt ") && le32(v, 16) == 16, path + ": fmt chunk");
  EXPECT(le16(v, 20) == 1 && le16(v, 22) == 1, path + ": not mono PCM");
  uint32_t rate = le32(v, 24);
  EXPECT(rate == 22050 || rate == 44100, path + ": sample rate");
  EXPECT(le32(v, 28) == rate * 2 && le16(v, 32) == 2 && le16(v, 34) == 16, path + ": not 16-bit");
  EXPECT(tag(v, 36, "data") && le32(v, 40) == v.size() - 44, path + ": data chunk");
  if (rate == 0) return;
  double sec = double(v.size() - 44) / 2 / rate;
  EXPECT(sec >= minSec && sec <= maxSec, path + ": duration " + std::to_string(sec) + " s");
  int peak = 0;
  for (size_t i = 44; i + 1 < v.size(); i += 2) peak = std::max(peak, std::abs(int(int16_t(le16(v, i)))));
  if (maxSec > 1e-3 && minSec > 0) EXPECT(peak > 8000, path + ": (nearly) silent");
}

void check_mp3(const std::string& path, size_t minBytes) {
  std::vector<uint8_t> v;
  if (!read_all(path, v)) {
    fail(path + " missing");
    return;
  }
  EXPECT(v.size() >= minBytes, path + " is too small");
  bool sync = v.size() > 3 && ((v[0] == 0xFF && (v[1] & 0xE0) == 0xE0) || std::memcmp(v.data(), "ID3", 3) == 0);
  EXPECT(sync, path + ": not an MP3 stream");
}

void check_same(const std::string& a, const std::string& b) {
  std::vector<uint8_t> x, y;
  if (!read_all(a, x) || !read_all(b, y)) {
    fail("cannot compare " + a + " with " + b);
    return;
  }
  EXPECT(x == y, a + " differs between two generator runs");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s <media-dir> <work-dir> <rerun-media-dir> <rerun-work-dir>\n", argv[0]);
    return 2;
  }
  const std::string media = argv[1], work = argv[2], media2 = argv[3], work2 = argv[4];
  check_background(media);
  check_atlas(media);
  check_light(media);
  check_font(media);
  const char* sounds[] = {"Aagh1.wav", "Cloud 2.wav", "Death 1.wav", "Death 4.wav", "Death 6.wav",
                          "Duck Hi.wav", "Goal Get - Down.wav", "Goal Get - Up.wav", "Jump Hup High 1.wav",
                          "Jump Hup High 2.wav", "Left Mix 1.wav", "Left Mix 2.wav", "Left Mix 3.wav",
                          "Right Mix 1.wav", "Right Mix 2.wav", "Right Mix 3.wav", "Obstacle Hits Floor 1.wav",
                          "Obstacle Hits Floor 2.wav", "Obstacle Hits Floor 3.wav", "Obstacle Hits Floor 4.wav"};
  for (const char* s : sounds) check_wav(media + "/" + s, 0.03, 2.0);
  check_wav(work + "/music.wav", 60.0, 180.0);
  check_mp3(media + "/music.mp3", 200000);
  check_mp3(media + "/blank.mp3", 100);
  for (const char* f : {"bkg.png", "hero.png", "light.bmp", "Valk640.png"}) check_same(media + "/" + f, media2 + "/" + f);
  for (const char* s : sounds) check_same(media + "/" + s, media2 + "/" + s);
  check_same(work + "/music.wav", work2 + "/music.wav");
  check_same(work + "/blank.wav", work2 + "/blank.wav");
  if (failures) {
    std::fprintf(stderr, "%d check(s) failed\n", failures);
    return 1;
  }
  std::printf("media OK\n");
  return 0;
}
