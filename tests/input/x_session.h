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

// Serves the window's events until the condition holds (at most 10 s).
template <class F>
bool serve_until(F cond) {
  for (int i = 0; i < 1000; ++i) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) tmx::input::handle_platform_event(&e);
    if (cond()) return true;
    SDL_Delay(10);
  }
  return false;
}

// SDL video with one window for the whole program; it keeps the keyboard
// focus (a new window per test would have to win the focus again each time).
inline SDL_Window*& shared_window() {
  static SDL_Window* w = nullptr;
  return w;
}

class XWindowEnvironment : public XServer {
 public:
  void SetUp() override {
    XServer::SetUp();
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK), 0) << SDL_GetError();
    SDL_Window* w = SDL_CreateWindow("input test", 100, 80, 320, 200, SDL_WINDOW_SHOWN);
    ASSERT_NE(w, nullptr) << SDL_GetError();
    shared_window() = w;
    // Asking for the focus before the server has mapped the window fails, so
    // keep asking until the focus arrives.
    int tries = 0;
    ASSERT_TRUE(serve_until([&] {
      if (tries++ % 10 == 0) {
        SDL_RaiseWindow(w);
        SDL_SetWindowInputFocus(w);
      }
      return SDL_GetKeyboardFocus() == w;
    })) << "no keyboard focus";
  }
  void TearDown() override {
    if (shared_window()) SDL_DestroyWindow(shared_window());
    shared_window() = nullptr;
    SDL_Quit();
    XServer::TearDown();
  }
};

// The input record set up on the shared window.
class XWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { open(0); }
  void TearDown() override { close(); }

  void open(int exclusive_mouse) {
    window_ = shared_window();
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(serve_until([&] { return SDL_GetKeyboardFocus() == window_; })) << "focus lost";
    tmx::input::create_state();
    tmx::input::input_init(window_, exclusive_mouse);
  }
  void close() { tmx::input::input_shutdown(); }

  template <class F>
  bool wait_for(F cond) {
    return serve_until(cond);
  }

  void drain_events() {
    SDL_Event e;
    while (SDL_PollEvent(&e)) tmx::input::handle_platform_event(&e);
  }

  SDL_Window* window_ = nullptr;
};
