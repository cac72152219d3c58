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
// answer must not keep the test waiting). Only the dialogs: the private X
// server is this process's child too.
void kill_our_dialogs() {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* e = readdir(proc)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t open = stat.find('('), paren = stat.rfind(')');
    if (open == std::string::npos || paren == std::string::npos || paren < open) continue;
    const std::string name = stat.substr(open + 1, paren - open - 1);
    char state = 0;
    long ppid = 0;
    if ((name == "zenity" || name == "kdialog") &&
        std::sscanf(stat.c_str() + paren + 1, " %c %ld", &state, &ppid) == 2 && ppid == getpid())
      kill(std::atoi(e->d_name), SIGTERM);
  }
  closedir(proc);
}

// Runs the dialog in the background, answers it with the xdotool `key`
// (after the typed text, when any) and gives the result. On a loaded machine
// a keystroke can reach the dialog before it takes input: while the dialog
// stays open, the answer is typed again (over what the entry holds).
std::string answer_dialog(int open, const std::string& typed, const char* key) {
  auto result = std::async(std::launch::async, [open] { return std::string(sys_file_dialog(open, "Text|*.txt|All|*").c_str()); });
  const int found = std::system("timeout 30 xdotool search --sync --onlyvisible --class zenity >/dev/null 2>&1");
  int attempts = 0;
  if (found == 0) {
    while (attempts < 4 && result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      std::string cmd =
          "id=$(xdotool search --onlyvisible --class zenity | head -1) && [ -n \"$id\" ] && "
          "xdotool windowfocus --sync $id && sleep 0.3";
      // Ctrl+L opens the location entry whatever mode an earlier keystroke
      // left the dialog in (a typed letter starts a search); Ctrl+A then
      // selects what the entry holds, so the typing replaces it.
      if (!typed.empty())
        cmd += " && xdotool key ctrl+l && sleep 0.3 && xdotool key ctrl+a && xdotool type --delay 10 '" + typed +
               "' && sleep 0.3";
      cmd += std::string(" && xdotool key ") + key;
      std::system((cmd + " >/dev/null 2>&1").c_str());
      ++attempts;
      result.wait_for(std::chrono::seconds(5));
    }
  }
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    kill_our_dialogs();
    result.wait();
    ADD_FAILURE() << "the dialog did not answer after " << attempts << " attempts";
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
  // Only the name is typed: the dialog starts in the working directory.
  const std::string file = dir_ + "/new file.txt";
  EXPECT_EQ(answer_dialog(0, "new file.txt", "Return"), file);
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
