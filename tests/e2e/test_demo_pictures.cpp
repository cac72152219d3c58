// The demo replay's pictures must not change when the drawing is made faster:
// the game replays the demo under a private virtual display and writes 20
// frames spread over the run; the SHA-256 of each frame's decoded pixels must
// equal the reference in demo_pictures.txt, taken before the drawing changed.
//
// To take a new reference (only after a deliberate change of the pictures):
//   SKORVANE_PICTURES_OUT=tests/e2e/demo_pictures.txt ctest -R DemoPictures
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/private_display.h"
#include "tests/common/sha256.h"

namespace {

// The same screen as the replay tests: the window is 720 x 450.
const ::testing::Environment* const kXServer =
    ::testing::AddGlobalTestEnvironment(new PrivateDisplay("800x600x24"));

// 20 frames from the title screen through the run to the ending screen.
std::vector<int> picture_frames() {
  std::vector<int> f;
  for (int k = 0; k < 20; ++k) f.push_back(1 + 171 * k);
  return f;
}

// Hash of the decoded pixels (RGBA rows top-down) with the picture size.
std::string picture_hash(const std::string& path, std::string& error) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) {
    error = "cannot read " + path;
    return "";
  }
  img.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) {
    error = "cannot decode " + path;
    return "";
  }
  return std::to_string(img.width) + "x" + std::to_string(img.height) + " " + sha256_hex(px.data(), px.size());
}

// "frame size hash" lines; '#' starts a comment.
std::map<int, std::string> read_reference(const std::string& path) {
  std::map<int, std::string> ref;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ls(line);
    int frame;
    std::string size, hash;
    if (ls >> frame >> size >> hash) ref[frame] = size + " " + hash;
  }
  return ref;
}

TEST(DemoPictures, TwentyFramesOfTheDemoReplayAreUnchanged) {
  char tmpl[] = "/tmp/skorvane_pictures_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::vector<int> frames = picture_frames();
  std::string list;
  for (int f : frames) list += (list.empty() ? "" : ",") + std::to_string(f);
  const std::string cmd = "cd '" + dir + "' && TMPDIR='" + dir + "' SDL_AUDIODRIVER=dummy TAMBLIX_NO_DIALOGS=1 '" +
                          SKORVANE_EXE + "' --replay '" + SKORVANE_DEMO + "' --fast --frames " +
                          std::to_string(frames.back()) + " --screenshot '" + dir + "/shot.png' --screenshot-at " +
                          list + " > '" + dir + "/out.txt' 2>&1";
  const int status = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;

  std::ostringstream taken;
  taken << "# frame, picture size, SHA-256 of the decoded RGBA pixels (rows top-down)\n";
  std::map<int, std::string> now;
  for (int f : frames) {
    std::string error;
    const std::string h = picture_hash(dir + "/shot-" + std::to_string(f) + ".png", error);
    ASSERT_FALSE(h.empty()) << error;
    now[f] = h;
    taken << f << " " << h << "\n";
  }
  if (const char* out = std::getenv("SKORVANE_PICTURES_OUT")) {
    std::ofstream(out) << taken.str();
    GTEST_SKIP() << "reference written to " << out;
  }
  const std::map<int, std::string> ref = read_reference(SKORVANE_PICTURES_REF);
  ASSERT_EQ(ref.size(), frames.size()) << "reference " << SKORVANE_PICTURES_REF;
  int differing = 0;
  for (int f : frames) {
    EXPECT_EQ(now[f], ref.at(f)) << "frame " << f << ": " << dir << "/shot-" << f << ".png";
    differing += now[f] != ref.at(f);
  }
  // The pictures stay for a look when any differs.
  if (differing == 0) std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
