// A private X server (Xvfb) for a whole test program: started before the
// first test on a display number nobody else uses, stopped after the last.
// DISPLAY points at it while the tests run.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

class PrivateDisplay : public ::testing::Environment {
 public:
  // screen: Xvfb's screen geometry, e.g. "1280x800x24".
  explicit PrivateDisplay(std::string screen) : screen_(std::move(screen)) {}

  void SetUp() override {
    for (int attempt = 0; attempt < 40; ++attempt) {
      const int n = 300 + (getpid() + attempt * 7) % 600;
      if (!display_free(n)) continue;
      const std::string display = ":" + std::to_string(n);
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", screen_.c_str(), "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // it gave up (display taken)
        // The socket may be another server's that took the same number a
        // moment before (ours then gives up): a lock file naming another
        // server means the display is not ours.
        const pid_t owner = lock_owner(n);
        if (access(socket.c_str(), F_OK) == 0 && (owner == pid || owner < 0)) {
          pid_ = pid;
          display_ = display;
          setenv("DISPLAY", display_.c_str(), 1);
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
    FAIL() << "no Xvfb server could be started";
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  const std::string& display() const { return display_; }

 private:
  // A display number nobody uses: no socket of that name in this network
  // namespace (abstract sockets are shared beyond this file system) and no
  // lock file.
  static bool display_free(int n) {
    const std::string name = "/tmp/.X11-unix/X" + std::to_string(n);
    if (access(name.c_str(), F_OK) == 0) return false;
    if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0) return false;
    std::ifstream in("/proc/net/unix");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string sockets = ss.str();
    return sockets.find("@" + name + "\n") == std::string::npos && sockets.find("@" + name + " ") == std::string::npos;
  }

  // The process id written in the display's lock file, or -1.
  static pid_t lock_owner(int n) {
    std::ifstream in("/tmp/.X" + std::to_string(n) + "-lock");
    long owner = -1;
    if (!(in >> owner)) return -1;
    return static_cast<pid_t>(owner);
  }

  std::string screen_;
  std::string display_;
  pid_t pid_ = -1;
};
