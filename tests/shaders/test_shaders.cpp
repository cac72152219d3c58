// Shader slots on a real GL context: what a shader draws, uniforms, the
// sprite's texture seen by the shader, compile and link failures, refused
// files and the fixed pipeline at the start of a frame.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "engine/frame.h"
#include "platform/window.h"
#include "core/program_end.h"
#include "runtime/virtual_file.h"
#include "shaders/shader_table.h"
#include "tamblix.h"
#include "tests/gfx/gl_fixture.h"

using gfxtest::GfxTest;
using gfxtest::Rgba;

namespace {

const char* kPassThroughVertex =
    "void main() {\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_Position = ftransform();\n"
    "}\n";
const char* kGreen = "void main() { gl_FragColor = vec4(0.0, 1.0, 0.0, 1.0); }\n";
const char* kLevel = "uniform float level;\nvoid main() { gl_FragColor = vec4(level, 0.0, 0.0, 1.0); }\n";
const char* kSwap =
    "uniform sampler2D tex;\n"
    "void main() { gl_FragColor = (texture2D(tex, gl_TexCoord[0].st) * gl_Color).bgra; }\n";
const char* kBroken = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0 }\n";

class Shaders : public GfxTest {
 protected:
  void SetUp() override {
    GfxTest::SetUp();
    // As the engine's start-up does once the GL context is current.
    shaders_load_entry_points(platform_gl_extensions().c_str());
    // A 20 x 20 sprite of one colour in slot 1, drawn at (10, 10).
    std::vector<uint8_t> rgba(20 * 20 * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) {
      rgba[i] = 200;
      rgba[i + 1] = 50;
      rgba[i + 2] = 10;
      rgba[i + 3] = 255;
    }
    ASSERT_TRUE(gfxtest::write_png_rgba(temp_path("sprite.png"), 20, 20, rgba));
    gfx_load_sprite(temp_path("sprite.png").c_str(), 1);
    g_program_settings.debug = 0;
    core_debug_channel_override(-1);
  }
  void TearDown() override {
    gfx_use_shader(-1);
    shaders_release();
    g_program_settings.debug = 0;
    core_debug_channel_override(-1);
    GfxTest::TearDown();
  }
  std::string source(const std::string& name, const std::string& text) {
    const std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  Rgba draw_sprite_pixel() {
    glClear(GL_COLOR_BUFFER_BIT);
    gfx_draw_sprite(1, 10, 10);
    return pixel(15, 15);
  }
};

const Rgba kSpriteColour{200, 50, 10, 255};

}  // namespace

TEST_F(Shaders, AFragmentShaderPaintsTheSprite) {
  ASSERT_EQ(gfx_load_shader(3, "", source("green.frag", kGreen).c_str()), 1);
  gfx_use_shader(3);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(pixel(5, 5), (Rgba{0, 0, 0, 255})) << "only the sprite's pixels";
  // Primitives go through it as well.
  glClear(GL_COLOR_BUFFER_BIT);
  gfx_draw_rect(50, 50, 10, 10, 0xFFFFFF);
  EXPECT_EQ(pixel(55, 55), (Rgba{0, 255, 0, 255}));
}

TEST_F(Shaders, AUniformDrivesTheColour) {
  ASSERT_EQ(gfx_load_shader(0, "", source("level.frag", kLevel).c_str()), 1);
  gfx_use_shader(0);
  gfx_set_shader_float("level", 1.0);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{255, 0, 0, 255}));
  gfx_set_shader_float("level", 0.5);
  const Rgba half = draw_sprite_pixel();
  EXPECT_NEAR(half.r, 128, 1);
  EXPECT_EQ(half.g, 0);
}

TEST_F(Shaders, TheShaderSeesTheSpritesTextureAndColour) {
  ASSERT_EQ(gfx_load_shader(7, source("pass.vert", kPassThroughVertex).c_str(), source("swap.frag", kSwap).c_str()),
            1);
  gfx_use_shader(7);
  shaders_set_int("tex", 0);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{10, 50, 200, 255}));
}

TEST_F(Shaders, CompileAndLinkErrorsLeaveTheSlotEmptyAndDrawingUnchanged) {
  g_program_settings.debug = 1;
  core_debug_channel_override(1);
  struct Case {
    const char* vertex;
    const char* fragment;
    const char* said;
  } cases[] = {
      {nullptr, kBroken, "TXfragment shader failed\n"},
      {"void main() { gl_Position = ftransform() }\n", kGreen, "TXvertex shader failed\n"},
      // The fragment shader reads a varying the vertex shader never writes.
      {"void main() { gl_Position = ftransform(); }\n",
       "varying vec3 shade;\nvoid main() { gl_FragColor = vec4(shade, 1.0); }\n", "TXlink shader failed\n"},
  };
  for (const Case& c : cases) {
    ::testing::internal::CaptureStderr();
    const int built = gfx_load_shader(
        5, c.vertex ? source("case.vert", c.vertex).c_str() : "", source("case.frag", c.fragment).c_str());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(built, 0) << c.said;
    EXPECT_NE(said.find(c.said), std::string::npos) << said;
    // The compiler's or linker's own log came before the message.
    EXPECT_GT(said.size(), std::string(c.said).size() + 4) << said;
    gfx_use_shader(5);
    EXPECT_EQ(draw_sprite_pixel(), kSpriteColour) << c.said;
  }
}

TEST_F(Shaders, AMissingStageIsSkippedAndTheOtherLinked) {
  EXPECT_EQ(gfx_load_shader(9, temp_path("no-such.vert").c_str(), source("green.frag", kGreen).c_str()), 1);
  gfx_use_shader(9);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{0, 255, 0, 255}));
  // Both missing: nothing to build.
  EXPECT_EQ(gfx_load_shader(10, temp_path("a.vert").c_str(), temp_path("b.frag").c_str()), 0);
}

TEST_F(Shaders, StagesFromMemoryFiles) {
  static const std::string text = kGreen;
  const std::string name =
      runtime_register_memory_file(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  EXPECT_EQ(gfx_load_shader(4, "", name.c_str()), 1);
  runtime_release_memory_file(reinterpret_cast<const uint8_t*>(text.data()));
  gfx_use_shader(4);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{0, 255, 0, 255}));
}

TEST_F(Shaders, SlotsOutsideTheTableAndTheFixedPipeline) {
  const std::string green = source("green.frag", kGreen);
  EXPECT_EQ(gfx_load_shader(255, "", green.c_str()), 0);
  EXPECT_EQ(gfx_load_shader(-1, "", green.c_str()), 0);
  ASSERT_EQ(gfx_load_shader(254, "", green.c_str()), 1);
  for (int fixed : {-1, 255, 100000}) {
    gfx_use_shader(254);
    gfx_use_shader(fixed);
    EXPECT_EQ(shaders_current_slot(), -1);
    EXPECT_EQ(draw_sprite_pixel(), kSpriteColour) << fixed;
  }
  // An empty slot in use is the fixed pipeline too.
  gfx_use_shader(17);
  EXPECT_EQ(draw_sprite_pixel(), kSpriteColour);
}

TEST_F(Shaders, FilesThatAreNoShaderSourceAreRefusedWithError3) {
  const std::string green = source("green.frag", kGreen);
  ASSERT_EQ(gfx_load_shader(2, "", green.c_str()), 1);
  const std::string cases[] = {
      source("empty.frag", ""),
      source("huge.frag", std::string(1 << 20, ' ') + kGreen),
      source("binary.frag", std::string("void main() {}\0\x01\x02", 17)),
  };
  for (const std::string& path : cases) {
    clear_error();
    EXPECT_EQ(gfx_load_shader(2, "", path.c_str()), 0) << path;
    EXPECT_EQ(g_error_state.code, 3) << path;
  }
  // The slot kept what it had.
  gfx_use_shader(2);
  EXPECT_EQ(draw_sprite_pixel(), (Rgba{0, 255, 0, 255}));
}

TEST_F(Shaders, ReloadingTheSlotInUseFallsBackToTheFixedPipeline) {
  const std::string green = source("green.frag", kGreen);
  ASSERT_EQ(gfx_load_shader(6, "", green.c_str()), 1);
  gfx_use_shader(6);
  EXPECT_EQ(gfx_load_shader(6, "", source("broken.frag", kBroken).c_str()), 0);
  EXPECT_EQ(shaders_current_slot(), -1);
  GLint program = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  EXPECT_EQ(program, 0);
  EXPECT_EQ(draw_sprite_pixel(), kSpriteColour);
}

TEST_F(Shaders, UndefinedUniformsAreReported) {
  ASSERT_EQ(gfx_load_shader(8, "", source("green.frag", kGreen).c_str()), 1);
  gfx_use_shader(8);
  g_program_settings.debug = 1;
  core_debug_channel_override(1);
  ::testing::internal::CaptureStderr();
  gfx_set_shader_float("nothing_here", 1.0);
  shaders_set_attrib_float("nor_here", 1.0);
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("TXundefined uniform:nothing_here\n"), std::string::npos) << said;
  EXPECT_NE(said.find("TXundefined attrib:nor_here\n"), std::string::npos) << said;
  // Without the debug setting nothing is said.
  g_program_settings.debug = 0;
  ::testing::internal::CaptureStderr();
  gfx_set_shader_float("nothing_here", 1.0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(Shaders, EveryFrameStartsWithoutAShader) {
  ASSERT_EQ(gfx_load_shader(1, "", source("green.frag", kGreen).c_str()), 1);
  gfx_use_shader(1);
  engine_begin_frame_state();
  EXPECT_EQ(shaders_current_slot(), -1);
  GLint program = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  EXPECT_EQ(program, 0);
}
