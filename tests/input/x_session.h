// A private X server (Xvfb) for the whole test program and an SDL window with
// the keyboard focus, so that tests can press real keys with xdotool.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "input/input_state.h"

class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      close(fds[0]);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

// Runs xdotool with the given arguments on the private display.
inline int xdo(const std::string& args) { return std::system(("xdotool " + args).c_str()); }

// SDL video with one window that has the keyboard focus, and the input record
// set up on it.
class XWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { open(0); }
  void TearDown() override { close(); }

  void open(int exclusive_mouse) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    window_ = SDL_CreateWindow("input test", 100, 80, 320, 200, SDL_WINDOW_SHOWN);
    ASSERT_NE(window_, nullptr) << SDL_GetError();
    SDL_RaiseWindow(window_);
    SDL_SetWindowInputFocus(window_);
    ASSERT_TRUE(wait_for([&] { return SDL_GetKeyboardFocus() == window_; })) << "no keyboard focus";
    tmx::input::create_state();
    tmx::input::input_init(window_, exclusive_mouse);
  }
  void close() {
    tmx::input::input_shutdown();
    if (window_) SDL_DestroyWindow(window_);
    window_ = nullptr;
    SDL_Quit();
  }

  // Serves the window's events until the condition holds (at most 3 s).
  template <class F>
  bool wait_for(F cond) {
    for (int i = 0; i < 300; ++i) {
      SDL_Event e;
      while (SDL_PollEvent(&e)) tmx::input::handle_platform_event(&e);
      if (cond()) return true;
      SDL_Delay(10);
    }
    return false;
  }
  void drain_events() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) tmx::input::handle_platform_event(&e);
  }

  SDL_Window* window_ = nullptr;
};
