// The image readers on bytes: BMP rules, colour keys, bleeding, damaged and
// hostile files, and the public image suites. Built with the address and
// undefined-behaviour sanitizers, so any read or write outside a buffer fails.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "gfx/image_decode.h"
#include "tests/gfx/le_bytes.h"

// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>

namespace fs = std::filesystem;
using gfxtest::put16;
using gfxtest::put32;

namespace {

std::vector<uint8_t> slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

fs::path testdata() {
  const char* env = std::getenv("TAMBLIX_TESTDATA");
  return env ? fs::path(env) : fs::path();
}

// A BMP with a 40-byte header. pixels: rows as stored in the file.
std::vector<uint8_t> make_bmp(int32_t w, int32_t h, int bits, const std::vector<uint8_t>& palette4,
                              const std::vector<uint8_t>& pixels, uint32_t compression = 0) {
  std::vector<uint8_t> v = {'B', 'M'};
  const uint32_t offset = uint32_t(14 + 40 + palette4.size());
  put32(v, uint32_t(offset + pixels.size()));
  put32(v, 0);
  put32(v, offset);
  put32(v, 40);
  put32(v, uint32_t(w));
  put32(v, uint32_t(h));
  put16(v, 1);
  put16(v, uint32_t(bits));
  put32(v, compression);
  put32(v, uint32_t(pixels.size()));
  put32(v, 0);
  put32(v, 0);
  put32(v, 0);
  put32(v, 0);
  v.insert(v.end(), palette4.begin(), palette4.end());
  v.insert(v.end(), pixels.begin(), pixels.end());
  return v;
}

const uint8_t* px(const ImageBuffer& img, int x, int y) { return img.pixels + (size_t(y) * img.width + x) * 4; }

std::vector<int> rgba_at(const ImageBuffer& img, int x, int y) {
  const uint8_t* p = px(img, x, y);
  return {p[0], p[1], p[2], p[3]};
}

// 3 x 2 24-bit picture, top row red green blue, bottom row white black key.
std::vector<uint8_t> rows24(bool topDown) {
  const uint8_t top[] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0};      // BGR + pad
  const uint8_t bottom[] = {255, 255, 255, 0, 0, 0, 128, 0, 255, 0, 0, 0};
  std::vector<uint8_t> v;
  const uint8_t* first = topDown ? top : bottom;
  const uint8_t* second = topDown ? bottom : top;
  v.insert(v.end(), first, first + 12);
  v.insert(v.end(), second, second + 12);
  return v;
}

}  // namespace

TEST(BmpReader, BottomUpAndTopDownGiveTheSamePictureAndKeyTheKeyColour) {
  ImageBuffer a, b;
  auto up = make_bmp(3, 2, 24, {}, rows24(false));
  auto down = make_bmp(3, -2, 24, {}, rows24(true));
  ASSERT_TRUE(gfx_decode_bmp(a, up.data(), up.size(), 0x8000FF));
  ASSERT_TRUE(gfx_decode_bmp(b, down.data(), down.size(), 0x8000FF));
  ASSERT_EQ(a.width, 3);
  ASSERT_EQ(a.height, 2);
  ASSERT_EQ(b.width, 3);
  ASSERT_EQ(b.height, 2);
  EXPECT_EQ(0, std::memcmp(a.pixels, b.pixels, 3 * 2 * 4));
  EXPECT_FALSE(a.hasOwnAlpha);
  EXPECT_EQ(rgba_at(a, 0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(rgba_at(a, 1, 0), (std::vector<int>{0, 255, 0, 255}));
  EXPECT_EQ(rgba_at(a, 2, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(rgba_at(a, 0, 1), (std::vector<int>{255, 255, 255, 255}));
  // Red 255, green 0, blue 128 is the default key: a transparent hole.
  EXPECT_EQ(rgba_at(a, 2, 1), (std::vector<int>{0, 0, 0, 0}));
  // With key 0 black goes, the key colour stays; with -1 nothing is keyed.
  ImageBuffer k0, none;
  ASSERT_TRUE(gfx_decode_bmp(k0, up.data(), up.size(), 0));
  EXPECT_EQ(rgba_at(k0, 1, 1), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(rgba_at(k0, 2, 1), (std::vector<int>{255, 0, 128, 255}));
  ASSERT_TRUE(gfx_decode_bmp(none, up.data(), up.size(), -1));
  EXPECT_EQ(rgba_at(none, 1, 1), (std::vector<int>{0, 0, 0, 255}));
}

TEST(BmpReader, PalettedAnd16BitPixels) {
  // 4-bit, 3 pixels: indices 1, 2, and 7 which lies beyond the 3 stored entries.
  std::vector<uint8_t> pal = {0, 0, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};  // black, red, blue (BGRA)
  auto bmp4 = make_bmp(3, 1, 4, pal, {0x12, 0x70, 0, 0});
  ImageBuffer img;
  ASSERT_TRUE(gfx_decode_bmp(img, bmp4.data(), bmp4.size(), -1));
  EXPECT_EQ(rgba_at(img, 0, 0), (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ(rgba_at(img, 1, 0), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(rgba_at(img, 2, 0), (std::vector<int>{0, 0, 0, 255}));  // past the palette: black
  // 1-bit, most significant bit first.
  auto bmp1 = make_bmp(9, 1, 1, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0x80, 0, 0});
  ASSERT_TRUE(gfx_decode_bmp(img, bmp1.data(), bmp1.size(), -1));
  EXPECT_EQ(px(img, 0, 0)[0], 255);
  EXPECT_EQ(px(img, 1, 0)[0], 0);
  EXPECT_EQ(px(img, 2, 0)[0], 255);
  EXPECT_EQ(px(img, 8, 0)[0], 255);
  // 16-bit 5-5-5: red 31 -> 255, green 16 -> 131, blue 1 -> 8.
  const uint32_t v = (31u << 10) | (16u << 5) | 1u;
  auto bmp16 = make_bmp(1, 1, 16, {}, {uint8_t(v), uint8_t(v >> 8), 0, 0});
  ASSERT_TRUE(gfx_decode_bmp(img, bmp16.data(), bmp16.size(), -1));
  EXPECT_EQ(rgba_at(img, 0, 0), (std::vector<int>{255, 131, 8, 255}));
}

TEST(BmpReader, RefusesHostileHeadersWithoutTouchingMemoryOutside) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> pixels(16, 0);
  auto truncated = make_bmp(4, 4, 24, {}, std::vector<uint8_t>(48, 1));
  truncated.resize(truncated.size() - 1);
  auto hugeOffset = make_bmp(1, 1, 24, {}, pixels);
  hugeOffset[10] = 0xFF;
  hugeOffset[11] = 0xFF;
  hugeOffset[12] = 0xFF;
  hugeOffset[13] = 0x7F;
  const Case cases[] = {
      {"only the magic", {'B', 'M'}},
      {"truncated header", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0}},
      {"short pixel data", truncated},
      {"absurd size", make_bmp(0x7FFFFFFF, 0x7FFFFFFF, 32, {}, pixels)},
      {"product overflows 32 bits", make_bmp(65536, 65536, 24, {}, pixels)},
      {"most negative height", make_bmp(1, int32_t(0x80000000u), 24, {}, pixels)},
      {"zero width", make_bmp(0, 1, 24, {}, pixels)},
      {"negative width", make_bmp(-4, 1, 24, {}, pixels)},
      {"bit count 2", make_bmp(1, 1, 2, {}, pixels)},
      {"run-length 8-bit", make_bmp(4, 1, 8, {}, pixels, 1)},
      {"embedded jpeg", make_bmp(4, 1, 24, {}, pixels, 4)},
      {"offset beyond the file", hugeOffset},
  };
  for (const Case& c : cases) {
    ImageBuffer img;
    EXPECT_FALSE(gfx_decode_bmp(img, c.bytes.data(), c.bytes.size(), -1)) << c.what;
    EXPECT_EQ(img.pixels, nullptr) << c.what;
    EXPECT_EQ(img.width, 0) << c.what;
  }
}

TEST(Bleeding, TransparentPixelsTakeTheColoursOfOpaqueInnerNeighbours) {
  // 5 x 5 red picture keyed at the centre and at a corner.
  ImageBuffer img;
  ASSERT_TRUE(img.resize(5, 5));
  for (int i = 0; i < 25; ++i) {
    uint8_t* p = img.pixels + 4 * i;
    p[0] = 255;
    p[1] = p[2] = 0;
    p[3] = 255;
  }
  auto hole = [&](int x, int y) { std::memset(img.pixels + (y * 5 + x) * 4, 0, 4); };
  hole(2, 2);
  hole(0, 0);
  hole(4, 4);
  // Give (4, 4)'s only inner neighbour (3, 3) a colour of its own.
  uint8_t* n = img.pixels + (3 * 5 + 3) * 4;
  n[0] = 0;
  n[1] = 90;
  n[2] = 30;
  img.hasOwnAlpha = false;
  gfx_bleed_transparent_colours(img);
  // Centre: average of eight neighbours: 7 red and one (0, 90, 30).
  EXPECT_EQ(rgba_at(img, 2, 2), (std::vector<int>{255 * 7 / 8, 90 / 8, 30 / 8, 0}));
  // Corner: only (1, 1) lies inside the border.
  EXPECT_EQ(rgba_at(img, 0, 0), (std::vector<int>{255, 0, 0, 0}));
  EXPECT_EQ(rgba_at(img, 4, 4), (std::vector<int>{0, 90, 30, 0}));

  // A transparent border pixel whose opaque neighbours all lie on the border.
  ImageBuffer strip;
  ASSERT_TRUE(strip.resize(3, 1));
  const uint8_t s[12] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
  std::memcpy(strip.pixels, s, 12);
  gfx_bleed_transparent_colours(strip);
  EXPECT_EQ(rgba_at(strip, 1, 0), (std::vector<int>{0, 0, 0, 0}));
}

TEST(JpegReader, GarbageIsRefusedAndTheProgramGoesOn) {
  const std::vector<uint8_t> cases[] = {
      {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'},  // cut short after the marker
      {'h', 'e', 'l', 'l', 'o'},
      {0xFF, 0xD8},
  };
  for (const auto& c : cases) {
    ImageBuffer img;
    EXPECT_FALSE(gfx_decode_jpeg(img, c.data(), c.size()));
    EXPECT_EQ(img.pixels, nullptr);
  }
}

namespace {

// A w x h grey-blue picture as a JPEG file, baseline or progressive.
std::vector<uint8_t> encode_jpeg(int w, int h, bool progressive) {
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(w) * 3);
  for (int x = 0; x < w; ++x) {
    row[3 * x] = 100;
    row[3 * x + 1] = 120;
    row[3 * x + 2] = 200;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> v(out, out + size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return v;
}

}  // namespace

TEST(JpegReader, ProgressiveFilesDecodeButEndlessScansAreRefused) {
  const std::vector<uint8_t> baseline = encode_jpeg(24, 16, false);
  const std::vector<uint8_t> progressive = encode_jpeg(24, 16, true);
  for (const auto* file : {&baseline, &progressive}) {
    ImageBuffer img;
    ASSERT_TRUE(gfx_decode_jpeg(img, file->data(), file->size()));
    ASSERT_EQ(img.width, 24);
    ASSERT_EQ(img.height, 16);
    const uint8_t* p = px(img, 11, 7);
    EXPECT_NEAR(p[0], 100, 4);
    EXPECT_NEAR(p[1], 120, 4);
    EXPECT_NEAR(p[2], 200, 4);
    EXPECT_EQ(p[3], 255);
  }
  // The last scan of the progressive file repeated a few thousand times: each
  // repeat only draws a decoder warning, and the decoder would go over the
  // whole picture again for every one of them.
  size_t lastScan = 0;
  for (size_t i = 2; i + 1 < progressive.size(); ++i)
    if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) lastScan = i;
  ASSERT_GT(lastScan, 0u);
  const size_t eoi = progressive.size() - 2;
  ASSERT_EQ(progressive[eoi], 0xFF);
  ASSERT_EQ(progressive[eoi + 1], 0xD9);
  std::vector<uint8_t> endless(progressive.begin(), progressive.begin() + std::ptrdiff_t(lastScan));
  for (int i = 0; i < 3000; ++i)
    endless.insert(endless.end(), progressive.begin() + std::ptrdiff_t(lastScan), progressive.begin() + std::ptrdiff_t(eoi));
  endless.insert(endless.end(), progressive.begin() + std::ptrdiff_t(eoi), progressive.end());
  ImageBuffer img;
  EXPECT_FALSE(gfx_decode_jpeg(img, endless.data(), endless.size()));
  EXPECT_EQ(img.pixels, nullptr);
}

namespace {

// A w x h PNG file in memory in one of libpng's simple formats, every sample
// v; empty (and a test failure) when libpng cannot write it.
std::vector<uint8_t> gfx_encode_png(uint32_t w, uint32_t h, uint32_t format, uint8_t v) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = format;
  const std::vector<uint8_t> samples(PNG_IMAGE_SIZE(image), v);
  png_alloc_size_t size = 0;
  std::vector<uint8_t> file;
  if (png_image_write_get_memory_size(image, size, 0, samples.data(), 0, nullptr)) {
    file.resize(size);
    if (png_image_write_to_memory(&image, file.data(), &size, 0, samples.data(), 0, nullptr)) {
      file.resize(size);
      return file;
    }
  }
  ADD_FAILURE() << "libpng wrote no " << w << "x" << h << " file";
  return {};
}

}  // namespace

TEST(PngReader, RejectsTwoChannelImagesAndCutFiles) {
  // Grey with alpha: the reader accepts grey, RGB and RGBA only.
  const std::vector<uint8_t> greyAlpha = gfx_encode_png(4, 3, PNG_FORMAT_GA, 200);
  ASSERT_FALSE(greyAlpha.empty());
  ImageBuffer img;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(gfx_decode_png(img, greyAlpha.data(), greyAlpha.size(), -1, "ga.png"));
  const std::string out = testing::internal::GetCapturedStdout();
  // Two channels fail before any message.
  EXPECT_EQ(out, "");
  EXPECT_EQ(img.pixels, nullptr);
  // The same picture as RGB decodes; cut anywhere it is refused.
  const std::vector<uint8_t> file = gfx_encode_png(4, 3, PNG_FORMAT_RGB, 90);
  ASSERT_FALSE(file.empty());
  ASSERT_TRUE(gfx_decode_png(img, file.data(), file.size(), -1, "rgb.png"));
  EXPECT_EQ(rgba_at(img, 3, 2), (std::vector<int>{90, 90, 90, 255}));
  for (size_t cut = 4; cut + 12 < file.size(); cut += 7) {
    ImageBuffer part;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(gfx_decode_png(part, file.data(), cut, -1, "cut.png")) << cut;
    testing::internal::GetCapturedStdout();
  }
}

TEST(PngReader, AbsurdDimensionsAreRefusedBeforeAnyLargeAllocation) {
  const std::vector<uint8_t> file = gfx_encode_png(2, 2, PNG_FORMAT_RGB, 50);
  ASSERT_GT(file.size(), 33u);
  // The header claims 100000 x 3 and then 30000 x 30000 pixels (CRC fixed up).
  for (const auto& [width, height] : {std::pair<uint32_t, uint32_t>{100000, 3}, {30000, 30000}}) {
    std::vector<uint8_t> f = file;
    for (int i = 0; i < 4; ++i) {
      f[16 + i] = uint8_t(width >> (24 - 8 * i));
      f[20 + i] = uint8_t(height >> (24 - 8 * i));
    }
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), &f[12], 17));
    for (int i = 0; i < 4; ++i) f[29 + i] = uint8_t(crc >> (24 - 8 * i));
    ImageBuffer img;
    EXPECT_FALSE(gfx_decode_png(img, f.data(), f.size(), -1, "big.png")) << width << "x" << height;
    EXPECT_EQ(img.pixels, nullptr);
  }
}

// The largest single allocation while `hooks_armed` (the test program is
// built with AddressSanitizer, whose allocator reports every allocation).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
namespace {
std::atomic<bool> hooks_armed{false};
std::atomic<size_t> largest_allocation{0};
void note_allocation(const volatile void*, size_t n) {
  if (hooks_armed && n > largest_allocation) largest_allocation = n;
}
void note_free(const volatile void*) {}
}  // namespace

// A file cut inside its last chunk, whose length claims far more than the
// file holds, is refused before libpng allocates that length: 78 bytes asked
// libpng for 1.78 GB through an eXIf chunk (found by fuzzing). Claims in a
// whole chunk header were refused already; a cut chunk whose data fit is
// still left to libpng, which finds the cut.
TEST(PngReader, ACutLastChunkClaimingMoreThanTheFileIsRefusedBeforeLibpngAllocates) {
  __sanitizer_install_malloc_and_free_hooks(note_allocation, note_free);
  const std::vector<uint8_t> file = gfx_encode_png(2, 2, PNG_FORMAT_RGB, 50);
  ASSERT_GT(file.size(), 33u);
  const std::vector<uint8_t> ihdr(file.begin(), file.begin() + 33);  // signature and IHDR
  for (const char* type : {"eXIf", "iCCP", "zTXt", "tEXt", "IDAT"}) {
    for (size_t tail : {0, 1, 3}) {  // bytes of the chunk after its length and type
      std::vector<uint8_t> f = ihdr;
      for (uint8_t b : {0x6A, 0x45, 0x58, 0x74}) f.push_back(b);  // 1 782 929 524 bytes
      f.insert(f.end(), type, type + 4);
      f.insert(f.end(), tail, 0xCA);
      ImageBuffer img;
      largest_allocation = 0;
      hooks_armed = true;
      testing::internal::CaptureStdout();
      EXPECT_FALSE(gfx_decode_png(img, f.data(), f.size(), -1, "cut.png")) << type << " " << tail;
      testing::internal::GetCapturedStdout();
      hooks_armed = false;
      EXPECT_LT(largest_allocation.load(), size_t(1) << 20) << type << " " << tail;
    }
  }
  // A whole file still decodes.
  ImageBuffer img;
  EXPECT_TRUE(gfx_decode_png(img, file.data(), file.size(), -1, "whole.png"));
}

// ------------------------------------------------------------ public suites

namespace {

int ihdr_colour_type(const std::vector<uint8_t>& f) { return f.size() > 25 ? f[25] : -1; }
bool has_chunk(const std::vector<uint8_t>& f, const char* type) {
  for (size_t i = 8; i + 8 <= f.size();) {
    uint32_t len = uint32_t(f[i]) << 24 | uint32_t(f[i + 1]) << 16 | uint32_t(f[i + 2]) << 8 | f[i + 3];
    if (std::memcmp(&f[i + 4], type, 4) == 0) return true;
    i += 12 + size_t(len);
  }
  return false;
}

}  // namespace

TEST(ImageSuites, PngSuiteDecodesEveryImageTheRulesAccept) {
  const fs::path dir = testdata() / "pngsuite";
  if (testdata().empty() || !fs::is_directory(dir)) GTEST_SKIP() << "no test data";
  int decoded = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".png") continue;
    const auto bytes = slurp(e.path());
    const int type = ihdr_colour_type(bytes);
    // Grey with alpha, or grey made transparent by a tRNS chunk, has two
    // channels after the transformations: refused.
    const bool twoChannels = type == 4 || (type == 0 && has_chunk(bytes, "tRNS"));
    ImageBuffer img;
    testing::internal::CaptureStdout();
    const bool ok = gfx_decode_png(img, bytes.data(), bytes.size(), -1, e.path().c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, !twoChannels) << e.path();
    if (!ok) continue;
    ++decoded;
    // Compare with libpng's own RGBA rendering; files with a gamma chunk of
    // their own or 16-bit samples are converted differently there.
    png_image ref;
    std::memset(&ref, 0, sizeof ref);
    ref.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&ref, bytes.data(), bytes.size())) << e.path();
    ref.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> out(PNG_IMAGE_SIZE(ref));
    ASSERT_TRUE(png_image_finish_read(&ref, nullptr, out.data(), 0, nullptr)) << e.path();
    ASSERT_EQ(img.width, int(ref.width));
    ASSERT_EQ(img.height, int(ref.height));
    const int depth = bytes[24];
    if (depth == 16 || has_chunk(bytes, "gAMA")) continue;
    EXPECT_EQ(0, std::memcmp(out.data(), img.pixels, out.size())) << e.path();
  }
  EXPECT_GT(decoded, 30);
}

TEST(ImageSuites, DamagedPngsNeverCrash) {
  const fs::path dir = testdata() / "png-bad";
  if (testdata().empty() || !fs::is_directory(dir)) GTEST_SKIP() << "no test data";
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const auto bytes = slurp(e.path());
    ImageBuffer img;
    testing::internal::CaptureStdout();
    const bool ok = gfx_decode_png(img, bytes.data(), bytes.size(), 0x8000FF, e.path().c_str());
    testing::internal::GetCapturedStdout();
    if (ok) {
      EXPECT_GT(img.width, 0) << e.path();
      EXPECT_NE(img.pixels, nullptr) << e.path();
    } else {
      EXPECT_EQ(img.pixels, nullptr) << e.path();
    }
    ++n;
  }
  EXPECT_GT(n, 20);
}

TEST(ImageSuites, BmpSuiteGoodFilesMatchTheReferenceRenderings) {
  const fs::path root = testdata() / "bmpsuite";
  if (testdata().empty() || !fs::is_directory(root / "g")) GTEST_SKIP() << "no test data";
  // Good files whose reference has another name.
  const std::map<std::string, std::string> sameAs = {
      {"pal1wb", "pal1"},   {"pal4rle", "pal4"},         {"pal8-0", "pal8"},       {"pal8os2", "pal8"},
      {"pal8rle", "pal8"},  {"pal8topdown", "pal8"},     {"pal8v4", "pal8"},       {"pal8v5", "pal8"},
      {"rgb16-565pal", "rgb16-565"}, {"rgb16bfdef", "rgb16"}, {"rgb24pal", "rgb24"}, {"rgb32", "rgb24"},
      {"rgb32bf", "rgb24"}, {"rgb32bfdef", "rgb24"},     {"pal8nonsquare", "pal8nonsquare-v"}};
  int compared = 0;
  for (const auto& e : fs::directory_iterator(root / "g")) {
    const std::string stem = e.path().stem().string();
    const auto bytes = slurp(e.path());
    ImageBuffer img;
    const bool ok = gfx_decode_bmp(img, bytes.data(), bytes.size(), -1);
    // Run-length files are refused; every other good file decodes.
    const bool rle = stem.find("rle") != std::string::npos;
    EXPECT_EQ(ok, !rle) << e.path();
    if (!ok) continue;
    auto it = sameAs.find(stem);
    const fs::path refPath = root / "reference" / ((it != sameAs.end() ? it->second : stem) + ".png");
    if (!fs::exists(refPath)) continue;
    const auto refBytes = slurp(refPath);
    ImageBuffer ref;
    ASSERT_TRUE(gfx_decode_png(ref, refBytes.data(), refBytes.size(), -1, refPath.c_str())) << refPath;
    if (ref.width != img.width || ref.height != img.height) continue;  // rendered at another aspect
    int worst = 0;
    for (int i = 0; i < img.width * img.height; ++i)
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(img.pixels[4 * i + c] - ref.pixels[4 * i + c]));
    EXPECT_LE(worst, 1) << e.path() << " against " << refPath;
    ++compared;
  }
  EXPECT_GT(compared, 15);
}

TEST(ImageSuites, QuestionableAndInvalidBmpsAreDecodedOrRefusedSafely) {
  const fs::path root = testdata() / "bmpsuite";
  if (testdata().empty() || !fs::is_directory(root / "b")) GTEST_SKIP() << "no test data";
  int n = 0;
  for (const char* sub : {"q", "b"}) {
    for (const auto& e : fs::directory_iterator(root / sub)) {
      const auto bytes = slurp(e.path());
      ImageBuffer img;
      if (gfx_decode_bmp(img, bytes.data(), bytes.size(), 0x8000FF)) {
        EXPECT_GT(img.width, 0) << e.path();
        EXPECT_GT(img.height, 0) << e.path();
      } else {
        EXPECT_EQ(img.pixels, nullptr) << e.path();
      }
      // Whatever the BMP reader refused must not upset the other readers.
      ImageBuffer other;
      testing::internal::CaptureStdout();
      gfx_decode_png(other, bytes.data(), bytes.size(), -1, "x");
      testing::internal::GetCapturedStdout();
      gfx_decode_jpeg(other, bytes.data(), bytes.size());
      ++n;
    }
  }
  EXPECT_GT(n, 40);
}
