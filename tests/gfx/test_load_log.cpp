// What a program's author learns when an image load fails or a graphics
// command refuses its arguments: the error code the command documents and one
// line in the error log naming the file or the argument and the reason.
#include <functional>

#include "gfx/texture_store.h"
#include "runtime/load_report.h"
#include "tamblix.h"
#include "tests/common/read_file.h"
#include "tests/gfx/gl_fixture.h"

using namespace gfxtest;

namespace {

// Runs `call` on an empty log and returns what it wrote there.
std::string log_of(const std::function<void()>& call) {
  std::remove(error_log_path());
  runtime_report_reset_counts();
  call();
  return read_file(error_log_path());
}

std::vector<uint8_t> bytes_of(const std::string& path) {
  const std::string s = read_file(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A PNG signature and header chunk announcing a w x h picture, and no more.
std::vector<uint8_t> png_header_only(uint32_t w, uint32_t h) {
  std::vector<uint8_t> v = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t x : {w, h}) v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
  v.insert(v.end(), {8, 2, 0, 0, 0, 0, 0, 0, 0});
  return v;
}

}  // namespace

using LoadLog = GfxTest;

TEST_F(LoadLog, FailedImageLoadsNameTheFileAndTheReason) {
  ASSERT_TRUE(write_png_rgb(temp_path("ok.png"), 8, 8, solid_rgb(8, 8, 1, 2, 3)));
  ASSERT_TRUE(write_bmp(temp_path("ok.bmp"), 8, 8, 24, solid_rgb(8, 8, 1, 2, 3)));
  ASSERT_TRUE(write_jpeg_rgb(temp_path("ok.jpg"), 8, 8, solid_rgb(8, 8, 1, 2, 3)));
  std::vector<uint8_t> png = bytes_of(temp_path("ok.png")), bmp = bytes_of(temp_path("ok.bmp"));
  png.resize(png.size() / 2);
  bmp.resize(bmp.size() / 2);
  ASSERT_TRUE(write_file(temp_path("cut.png"), png));
  ASSERT_TRUE(write_file(temp_path("cut.bmp"), bmp));
  ASSERT_TRUE(write_file(temp_path("junk.bin"), {'j', 'u', 'n', 'k', 0, 1, 2, 3}));
  ASSERT_TRUE(write_file(temp_path("empty.png"), {}));
  ASSERT_TRUE(write_file(temp_path("wide.png"), png_header_only(40000, 10)));
  ASSERT_TRUE(write_file(temp_path("huge.png"), png_header_only(6000, 6000)));

  const std::string font_tail = "; font slot 3 uses the built-in font";
  const std::string bg_tail = "; the frame is cleared to black";
  struct Case {
    const char* command;
    std::string file;  // in the test's folder
    std::string reason;
  } cases[] = {
      {"gfx_load_sprite", "missing.png", "not found"},
      {"gfx_load_sprite", "junk.bin", "not a BMP, PNG or JPEG image"},
      {"gfx_load_sprite", "cut.png", "damaged or unsupported PNG"},
      {"gfx_load_sprite", "cut.bmp", "damaged or unsupported BMP"},
      {"gfx_load_sprite", "empty.png", "empty file"},
      {"gfx_load_sprite", "wide.png", "too large: 40000 x 10 pixels (at most 32767 a side and 33554432 in all)"},
      {"gfx_load_sprite", "huge.png", "too large: 6000 x 6000 pixels (at most 32767 a side and 33554432 in all)"},
      {"gfx_load_anim", "cut.png", "damaged or unsupported PNG"},
      {"gfx_load_bump_texture", "missing.bmp", "not found"},
      {"gfx_load_font", "missing.png", "not found" + font_tail},
      {"gfx_load_font", "cut.bmp", "damaged or unsupported BMP" + font_tail},
      // Fonts are BMP or PNG images only.
      {"gfx_load_font", "ok.jpg", "a JPEG image, which is not read here (BMP or PNG only)" + font_tail},
      {"gfx_load_background", "missing.png", "not found" + bg_tail},
      {"gfx_load_background", "junk.bin", "not a BMP, PNG or JPEG image" + bg_tail},
  };
  for (const Case& c : cases) {
    const std::string path = temp_path(c.file);
    const BasicString name(path.c_str());
    const std::string command = c.command;
    const std::string log = log_of([&] {
      if (command == "gfx_load_sprite") gfx_load_sprite(name, 9);
      if (command == "gfx_load_anim") gfx_load_anim(name, 9, 4, 4);
      if (command == "gfx_load_bump_texture") gfx_load_bump_texture(name, 9);
      if (command == "gfx_load_font") gfx_load_font(name, 3);
      if (command == "gfx_load_background") gfx_load_background(name);
    });
    EXPECT_EQ(g_error_state.code, TMX_ERR_NO_SUCH_FILE) << command << " " << c.file;
    EXPECT_EQ(log, command + ": " + path + ": " + c.reason + "\n");
  }
  // What loads still loads, without a line; a JPEG is a sprite's image.
  for (const char* file : {"ok.png", "ok.bmp", "ok.jpg"}) {
    EXPECT_EQ(log_of([&] { gfx_load_sprite(BasicString(temp_path(file).c_str()), 9); }), "") << file;
    EXPECT_EQ(g_error_state.code, 0) << file;
    EXPECT_EQ(g_gfx->slots[9].width, 8) << file;
  }
}

TEST_F(LoadLog, RefusedArgumentsLeaveTheirCodeAndALine) {
  GLint max_texture = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_texture);
  const int largest = std::min(32767, int(max_texture));
  BasicArray<int32_t> six, none;
  six.dim(6);
  ASSERT_EQ(gfx_create_screen(4, 8, 16, 16), 1);

  struct Case {
    const char* call;
    std::function<int()> run;
    int result;  // -99: the command returns nothing
    int code;
    std::string line;
  } cases[] = {
      {"create_screen(32, 7, 16, 16)", [] { return gfx_create_screen(32, 7, 16, 16); }, 0, 7,
       "gfx_create_screen: screen 32 outside 0..31 (error 7)"},
      {"create_screen(-1, 7, 16, 16)", [] { return gfx_create_screen(-1, 7, 16, 16); }, 0, 7,
       "gfx_create_screen: screen -1 outside 0..31 (error 7)"},
      {"create_screen(2, -1, 16, 16)", [] { return gfx_create_screen(2, -1, 16, 16); }, 0, 7,
       "gfx_create_screen: slot -1 outside 0..65536 (error 7)"},
      {"create_screen(2, 70000, 16, 16)", [] { return gfx_create_screen(2, 70000, 16, 16); }, 0, 7,
       "gfx_create_screen: slot 70000 outside 0..65536 (error 7)"},
      {"create_screen(2, 7, 0, 16)", [] { return gfx_create_screen(2, 7, 0, 16); }, 0, 7,
       "gfx_create_screen: size 0 x 16 (error 7)"},
      {"create_screen(2, 7, 16, -3)", [] { return gfx_create_screen(2, 7, 16, -3); }, 0, 7,
       "gfx_create_screen: size 16 x -3 (error 7)"},
      {"create_screen(2, 7, 100000, 16)", [] { return gfx_create_screen(2, 7, 100000, 16); }, 0, 7,
       "gfx_create_screen: size 100000 x 16 larger than a surface can be (" + std::to_string(largest) +
           " a side) (error 7)"},
      // A call that succeeds clears the code left by an earlier one.
      {"create_screen(2, 7, 16, 16)", [] { return gfx_create_screen(2, 7, 16, 16); }, 1, 0, ""},
      {"use_screen(40)", [] { return gfx_use_screen(40), -99; }, -99, 7,
       "gfx_use_screen: screen 40 outside 0..31 (error 7)"},
      {"use_screen(5)", [] { return gfx_use_screen(5), -99; }, -99, 7,
       "gfx_use_screen: screen 5 has no surface (error 7)"},
      {"mem_to_sprite(6 pixels, 9, 2, 2)", [&] { return gfx_mem_to_sprite(six, 9, 2, 2); }, 0, 7,
       "gfx_mem_to_sprite: 6 pixels given for 2 x 2 (error 7)"},
      {"mem_to_sprite(6 pixels, 9, -2, -3)", [&] { return gfx_mem_to_sprite(six, 9, -2, -3); }, 0, 7,
       "gfx_mem_to_sprite: size -2 x -3 (error 7)"},
      {"mem_to_sprite(6 pixels, 70000, 3, 2)", [&] { return gfx_mem_to_sprite(six, 70000, 3, 2); }, 0, 7,
       "gfx_mem_to_sprite: slot 70000 outside 0..65536 (error 7)"},
      // An empty picture is out of the array's bounds; the program goes on.
      {"mem_to_sprite(none, 9, 0, 0)", [&] { return gfx_mem_to_sprite(none, 9, 0, 0); }, 0, 9,
       "gfx_mem_to_sprite: an empty picture (0 x 0) (error 9)"},
      {"mem_to_sprite(6 pixels, 9, 3, 2)", [&] { return gfx_mem_to_sprite(six, 9, 3, 2); }, 1, 0, ""},
      {"grab_sprite(-1, 0, 0, 4, 4)", [] { return gfx_grab_sprite(-1, 0, 0, 4, 4), -99; }, -99, 7,
       "gfx_grab_sprite: slot -1 outside 0..65536 (error 7)"},
      {"grab_sprite(9, 0, 0, 40000, 1)", [] { return gfx_grab_sprite(9, 0, 0, 40000, 1), -99; }, -99, 7,
       "gfx_grab_sprite: rectangle 40000 x 1 larger than a sprite can be (error 7)"},
      {"load_sprite(x.png, 65537)", [] { return gfx_load_sprite(BasicString("x.png"), 65537), -99; }, -99, 7,
       "gfx_load_sprite: slot 65537 outside 0..65536 (error 7)"},
      {"load_anim(x.png, -1)", [] { return gfx_load_anim(BasicString("x.png"), -1, 2, 2), -99; }, -99, 7,
       "gfx_load_anim: slot -1 outside 0..65536 (error 7)"},
      {"load_font(x.png, 40)", [] { return gfx_load_font(BasicString("x.png"), 40), -99; }, -99, 7,
       "gfx_load_font: font slot 40 outside 0..31 (error 7)"},
      {"set_font(-1, 2)", [] { return gfx_set_font(-1, 2.0), -99; }, -99, 7,
       "gfx_set_font: font slot -1 outside 0..31 (error 7)"},
  };
  for (const Case& c : cases) {
    sys_raise_error(TMX_ERR_ASSERTION);  // left by something earlier
    int result = -99;
    const std::string log = log_of([&] { result = c.run(); });
    EXPECT_EQ(result, c.result) << c.call;
    EXPECT_EQ(g_error_state.code, c.code) << c.call;
    EXPECT_EQ(log, c.line.empty() ? "" : c.line + "\n") << c.call;
  }
  // Refused calls changed nothing: drawing is on the back buffer, the
  // surfaces made before keep their sprites, slot 9 holds the 3 x 2 picture.
  EXPECT_EQ(g_gfx->currentScreen, -1);
  EXPECT_EQ(g_gfx->screens[4].slot, 8);
  EXPECT_EQ(g_gfx->slots[9].width, 3);
}
