// A real GL context for the graphics tests: one SDL window with a
// compatibility context, and a fresh graphics context for every test.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/context.h"
#include "gfx/gl_ext.h"
#include "tamblix/errors.h"

namespace gfxtest {

constexpr int kWinW = 320;
constexpr int kWinH = 200;

struct Rgba {
  int r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};
inline std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << "," << c.a << ")";
}

// Owns the window and the GL context for the whole test program.
class GlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  static SDL_Window* window;
  static SDL_GLContext context;
  static std::string tempDir;  // unique per test program
};

// Fresh graphics context and a black back buffer for each test.
class GfxTest : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Back-buffer pixel at top-down window coordinates (alpha reads 255).
  static Rgba pixel(int x, int y);
  // Pixels of the current read framebuffer, bottom-up rows (GL order).
  static std::vector<uint8_t> read_rect(int x, int y, int w, int h);
  // Reads the colour of the texel block of a slot's texture via a pixel readback.
  static std::string temp_path(const std::string& name);
  void present();
};

// Writers of small image fixtures.
bool write_bmp(const std::string& path, int w, int h, int bits, const std::vector<uint8_t>& rgb, bool topDown = false,
               const std::vector<uint8_t>& palette = {});
bool write_png_rgba(const std::string& path, int w, int h, const std::vector<uint8_t>& rgba);
bool write_png_rgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb);
bool write_png_grey_alpha(const std::string& path, int w, int h);
bool write_jpeg_rgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb);
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> solid_rgb(int w, int h, uint8_t r, uint8_t g, uint8_t b);

}  // namespace gfxtest
