// The shader example as a program: each effect key, replayed, changes the
// picture the way its shader says.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/common/private_display.h"

namespace {

struct Mean {
  double r = 0, g = 0, b = 0;
};

// The mean colour of a PNG screenshot; false when it cannot be read.
bool mean_colour(const std::string& path, Mean& m) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> px(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, px.data(), 0, nullptr)) return false;
  const size_t n = px.size() / 3;
  for (size_t i = 0; i < n; ++i) {
    m.r += px[i * 3];
    m.g += px[i * 3 + 1];
    m.b += px[i * 3 + 2];
  }
  m.r /= n;
  m.g /= n;
  m.b /= n;
  return n > 0;
}

// Runs the example for 20 frames with `key` held and gives its last frame.
Mean run_with_key(const std::string& dir, int key) {
  const std::string script = dir + "/keys.txt", shot = dir + "/shot" + std::to_string(key) + ".png";
  std::ofstream(script) << "1\n1 " << key << "\n";
  const std::string cmd = std::string("'") + SHADER_DEMO_PATH + "' --fast --frames 20 --replay '" + script +
                          "' --screenshot '" + shot + "' >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  Mean m;
  EXPECT_TRUE(mean_colour(shot, m)) << shot;
  return m;
}

}  // namespace

TEST(ShaderDemo, EachKeyShowsItsEffect) {
  char templ[] = "/tmp/tamblix-shader-demo-XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const std::string dir = templ;
  const Mean plain = run_with_key(dir, 2);  // "1": no shader
  const Mean grey = run_with_key(dir, 3);   // "2": grey scale
  const Mean night = run_with_key(dir, 5);  // "4": night vision
  std::system(("rm -rf '" + dir + "'").c_str());

  // The dusk picture is bluish purple; grey scale makes the channels equal;
  // night vision makes green dominant.
  EXPECT_GT(plain.b, plain.g + 5);
  EXPECT_NEAR(grey.r, grey.g, 2.0);
  EXPECT_NEAR(grey.g, grey.b, 2.0);
  EXPECT_GT(night.g, 3 * night.r);
  EXPECT_GT(night.g, 3 * night.b);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1280x800x24"));
  return RUN_ALL_TESTS();
}
