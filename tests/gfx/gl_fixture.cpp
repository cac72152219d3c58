#include "tests/gfx/gl_fixture.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <jpeglib.h>

#include "tests/gfx/le_bytes.h"

namespace gfxtest {

SDL_Window* GlEnvironment::window = nullptr;
SDL_GLContext GlEnvironment::context = nullptr;
std::string GlEnvironment::tempDir;

void GlEnvironment::SetUp() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tmx_gfx_XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  ASSERT_NE(mkdtemp(buf.data()), nullptr);
  tempDir = buf.data();
  // The swap file and the error log go below the test's own directory.
  setenv("TMPDIR", tempDir.c_str(), 1);

  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  window = SDL_CreateWindow("gfx test", 0, 0, kWinW, kWinH, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  context = SDL_GL_CreateContext(window);
  ASSERT_NE(context, nullptr) << SDL_GetError();
  SDL_GL_MakeCurrent(window, context);
  SDL_GL_SetSwapInterval(0);
}

void GlEnvironment::TearDown() {
  if (g_gfx) gfx_context_destroy();
  if (context) SDL_GL_DeleteContext(context);
  if (window) SDL_DestroyWindow(window);
  SDL_Quit();
  std::error_code ec;
  std::filesystem::remove_all(tempDir, ec);
}

void GfxTest::SetUp() {
  ASSERT_NE(GlEnvironment::context, nullptr);
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(GlEnvironment::window, &w, &h);
  ASSERT_EQ(w, kWinW);
  ASSERT_EQ(h, kWinH);
  gfx_context_create();
  gfx_gl_setup(w, h);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  clear_error();
}

void GfxTest::TearDown() {
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  gfx_context_destroy();
}

Rgba GfxTest::pixel(int x, int y) {
  uint8_t p[4] = {0, 0, 0, 0};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(x, kWinH - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  // The window has no alpha channel worth reading.
  return {p[0], p[1], p[2], 255};
}

std::vector<uint8_t> GfxTest::read_rect(int x, int y, int w, int h) {
  std::vector<uint8_t> out(size_t(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

std::string GfxTest::temp_path(const std::string& name) { return GlEnvironment::tempDir + "/" + name; }

void GfxTest::present() { SDL_GL_SwapWindow(GlEnvironment::window); }

// ------------------------------------------------------------ fixture files

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> solid_rgb(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> v;
  for (int i = 0; i < w * h; ++i) {
    v.push_back(r);
    v.push_back(g);
    v.push_back(b);
  }
  return v;
}

// rgb: top-down rows of 3 bytes per pixel for 24/32 bits; for 8 bits one
// index byte per pixel and palette of 3-byte RGB entries.
bool write_bmp(const std::string& path, int w, int h, int bits, const std::vector<uint8_t>& rgb, bool topDown,
               const std::vector<uint8_t>& palette) {
  const int stride = ((bits * w + 31) / 32) * 4;
  const int palBytes = int(palette.size() / 3) * 4;
  std::vector<uint8_t> v = {'B', 'M'};
  const uint32_t offset = 14 + 40 + palBytes;
  put32(v, offset + stride * h);
  put32(v, 0);
  put32(v, offset);
  put32(v, 40);
  put32(v, uint32_t(w));
  put32(v, uint32_t(topDown ? -h : h));
  put16(v, 1);
  put16(v, bits);
  put32(v, 0);
  put32(v, stride * h);
  put32(v, 2835);
  put32(v, 2835);
  put32(v, 0);
  put32(v, 0);
  for (size_t i = 0; i + 2 < palette.size(); i += 3) {
    v.push_back(palette[i + 2]);
    v.push_back(palette[i + 1]);
    v.push_back(palette[i]);
    v.push_back(0);
  }
  for (int r = 0; r < h; ++r) {
    const int y = topDown ? r : h - 1 - r;
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < w; ++x) {
      if (bits == 8) {
        row[x] = rgb[size_t(y) * w + x];
      } else {
        const uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
        const int bpp = bits / 8;
        row[x * bpp] = p[2];
        row[x * bpp + 1] = p[1];
        row[x * bpp + 2] = p[0];
      }
    }
    v.insert(v.end(), row.begin(), row.end());
  }
  return write_file(path, v);
}

namespace {
bool write_png_generic(const std::string& path, int w, int h, int colourType, int channels,
                       const std::vector<uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, 8, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, const_cast<png_bytep>(&data[size_t(y) * w * channels]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}
}  // namespace

bool write_png_rgba(const std::string& path, int w, int h, const std::vector<uint8_t>& rgba) {
  return write_png_generic(path, w, h, PNG_COLOR_TYPE_RGB_ALPHA, 4, rgba);
}
bool write_png_rgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  return write_png_generic(path, w, h, PNG_COLOR_TYPE_RGB, 3, rgb);
}
bool write_png_grey_alpha(const std::string& path, int w, int h) {
  std::vector<uint8_t> ga(size_t(w) * h * 2, 128);
  return write_png_generic(path, w, h, PNG_COLOR_TYPE_GRAY_ALPHA, 2, ga);
}

bool write_jpeg_rgb(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(c.next_scanline) * w * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

}  // namespace gfxtest

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new gfxtest::GlEnvironment);
  return RUN_ALL_TESTS();
}
