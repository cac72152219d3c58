// A peer the engine did not write: a Python socket script on the loopback,
// started by the test; its first output line is its port.
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

class PythonPeer {
 public:
  explicit PythonPeer(const std::string& script, const std::string& arg = "") {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl("/usr/bin/python3", "python3", "-u", "-c", script.c_str(), arg.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    out_ = fdopen(out[0], "r");
    port_ = std::stoi(line());
  }
  ~PythonPeer() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
  }
  int port() const { return port_; }
  // The peer's next output line ("" at its end).
  std::string line() {
    char buf[256];
    if (!out_ || !fgets(buf, sizeof buf, out_)) return "";
    std::string s = buf;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
  }
  // Waits for the peer to end; its exit status, or -1 after `seconds`.
  int wait(int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
      int st = 0;
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      }
      usleep(10000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
  int port_ = -1;
};
