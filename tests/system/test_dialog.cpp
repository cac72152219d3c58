// The file dialogs with the real zenity under a private Xvfb, answered with
// xdotool as a person would: a typed name and Return, or Escape.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "../common/private_display.h"
#include "tamblix.h"

namespace {

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Ends the dialog programs this process started (a dialog that did not
// answer must not keep the test waiting).
void kill_our_dialogs() {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t paren = stat.rfind(')');
    char state = 0;
    long ppid = 0;
    if (paren != std::string::npos && std::sscanf(stat.c_str() + paren + 1, " %c %ld", &state, &ppid) == 2 &&
        ppid == getpid())
      kill(std::atoi(e->d_name), SIGTERM);
  }
  closedir(proc);
}

// Runs the dialog in the background, answers it with the xdotool `keys`
// (after the typed text, when any) and gives the result.
std::string answer_dialog(int open, const std::string& typed, const char* key) {
  auto result = std::async(std::launch::async, [open] { return std::string(sys_file_dialog(open, "Text|*.txt|All|*").c_str()); });
  // Wait for the dialog window, then type into it.
  const int found = std::system("timeout 20 xdotool search --sync --onlyvisible --class zenity >/dev/null 2>&1");
  if (found == 0) {
    std::string cmd = "id=$(xdotool search --onlyvisible --class zenity | head -1) && xdotool windowfocus --sync $id";
    if (!typed.empty()) cmd += " && sleep 0.3 && xdotool type --delay 10 '" + typed + "'";
    cmd += std::string(" && sleep 0.3 && xdotool key ") + key;
    std::system(cmd.c_str());
  }
  if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    kill_our_dialogs();
    result.wait();
    ADD_FAILURE() << "the dialog did not answer";
  }
  EXPECT_EQ(found, 0) << "no dialog window appeared";
  return result.get();
}

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have("zenity") || !have("xdotool")) GTEST_SKIP() << "zenity or xdotool missing";
    char templ[] = "/tmp/tamblix-dialog-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir_ = templ;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    if (!dir_.empty()) {
      (void)chdir("/");
      std::system(("rm -rf '" + dir_ + "'").c_str());
    }
  }
  std::string dir_;
};

}  // namespace

TEST_F(FileDialogTest, OpenGivesTheChosenNameAndKeepsTheWorkingDirectory) {
  const std::string file = dir_ + "/notes.txt";
  std::ofstream(file) << "x";
  EXPECT_EQ(answer_dialog(1, file, "Return"), file);
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), dir_);
}

TEST_F(FileDialogTest, SaveGivesANewName) {
  const std::string file = dir_ + "/new file.txt";
  EXPECT_EQ(answer_dialog(0, file, "Return"), file);
  struct stat st;
  EXPECT_NE(stat(file.c_str(), &st), 0) << "the dialog only names the file";
}

TEST_F(FileDialogTest, EscapeGivesNoFile) {
  EXPECT_EQ(answer_dialog(1, "", "Escape"), "NO_FILE");
  EXPECT_EQ(answer_dialog(0, "", "Escape"), "NO_FILE");
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new PrivateDisplay("1024x768x24"));
  return RUN_ALL_TESTS();
}
