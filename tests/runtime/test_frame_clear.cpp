// The frame's clear and the order of the frame end's steps, with the
// graphics calls replaced by recorders (no window needed).
#include <gtest/gtest.h>

#include <string>

#include "runtime/engine_hooks.h"
#include "runtime/frame.h"
#include "runtime/timer.h"
#include "runtime/window.h"

namespace {

std::string g_calls;

class FrameEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = g_gfx_hooks;
    g_gfx_hooks = GfxHooks{};
    g_gfx_hooks.end_screen_drawing = [] { g_calls += "end "; };
    g_gfx_hooks.clear_frame = [] { g_calls += "clear "; };
    g_gfx_hooks.begin_frame_blend = [] { g_calls += "blend "; };
    g_gfx_hooks.reset_2d_state = [] { g_calls += "reset "; };
    g_calls.clear();
    g_gl_window.framePeriod = 1000.0 / 30;
  }
  void TearDown() override { g_gfx_hooks = saved_; }
  GfxHooks saved_;
};

}  // namespace

// The frame is cleared once, right after the swap; the next frame's state
// does not clear it again. Without a swap before it, the frame's state
// still clears.
TEST_F(FrameEnd, OneClearPerFrame) {
  begin_frame_state();
  EXPECT_EQ("clear blend reset ", g_calls);
  for (int frame = 0; frame < 2; ++frame) {
    g_calls.clear();
    g_gl_window.nextFrameDue = timer_ms();
    flip_and_wait(nullptr);
    begin_frame_state();
    EXPECT_EQ("end clear blend reset ", g_calls);
  }
  // A swap of its own (window creation, start-up) still clears after it.
  g_calls.clear();
  g_gl_window.nextFrameDue = timer_ms();
  flip_and_wait(nullptr);
  EXPECT_EQ("end clear ", g_calls);
  g_calls.clear();
  begin_frame_state();
  begin_frame_state();
  EXPECT_EQ("blend reset clear blend reset ", g_calls);
}

// The frame waits for its due time before it is shown: the swap (and the
// clear after it) come after the wait, and the schedule moves on by one
// period.
TEST_F(FrameEnd, WaitsForTheDueTimeBeforeTheSwap) {
  const double period = g_gl_window.framePeriod;
  const double due = timer_ms() + 30.0;
  g_gl_window.nextFrameDue = due;
  flip_and_wait(nullptr);
  EXPECT_GE(timer_ms(), due);
  EXPECT_DOUBLE_EQ(due + period, g_gl_window.nextFrameDue);
  EXPECT_EQ("end clear ", g_calls);
}
