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
#include "tests/common/private_display.h"

class XServer : public PrivateDisplay {
 public:
  XServer() : PrivateDisplay("1024x768x24") {}
  void SetUp() override {
    PrivateDisplay::SetUp();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
};

// Runs xdotool with the given arguments on the private display.
inline int xdo(const std::string& args) { return std::system(("xdotool " + args).c_str()); }

// Serves the window's events until the condition holds (at most 10 s).
template <class F>
bool serve_until(F cond) {
  for (int i = 0; i < 1000; ++i) {
    PlatformEvent e;
    while (platform_event_pending() && platform_take_event(&e)) tmx::input::handle_platform_event(e);
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
    PlatformEvent e;
    while (platform_event_pending() && platform_take_event(&e)) tmx::input::handle_platform_event(e);
  }

  SDL_Window* window_ = nullptr;
};
