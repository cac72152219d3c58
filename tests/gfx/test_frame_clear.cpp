// The frame's clear and the frame end's wait, on the real GL context.
#include <gtest/gtest.h>

#include "engine/frame.h"
#include "runtime/timer.h"
#include "runtime/window.h"
#include "tamblix/gfx.h"
#include "tests/gfx/gl_fixture.h"

namespace {

using gfxtest::GfxTest;
using gfxtest::Rgba;

class FrameEnd : public GfxTest {
 protected:
  void SetUp() override {
    GfxTest::SetUp();
    g_runtime.window.window = gfxtest::GlEnvironment::window;
    g_runtime.window.framePeriod = 1000.0 / 30;
    gfx_clear_screen(0);  // every frame starts cleared to black
  }
  void TearDown() override {
    g_runtime.window.window = nullptr;
    GfxTest::TearDown();
  }
  static Rgba mark() {
    gfx_draw_rect(10, 10, 20, 20, 0xFF0000);
    return pixel(15, 15);
  }
};

const Rgba kBlack{0, 0, 0, 255};

}  // namespace

// The frame is cleared once, right after the swap: what is drawn between the
// swap and the next frame's state stays. Without a swap before it, the
// frame's state clears.
TEST_F(FrameEnd, OneClearPerFrame) {
  ASSERT_NE(mark(), kBlack);
  engine_begin_frame_state();
  EXPECT_EQ(pixel(15, 15), kBlack);
  for (int frame = 0; frame < 2; ++frame) {
    g_runtime.window.nextFrameDue = timer_ms();
    engine_flip_and_wait(nullptr);
    EXPECT_EQ(pixel(15, 15), kBlack) << frame;  // cleared after the swap
    const Rgba drawn = mark();
    engine_begin_frame_state();
    EXPECT_EQ(pixel(15, 15), drawn) << frame;  // not cleared a second time
  }
  mark();
  engine_begin_frame_state();
  EXPECT_EQ(pixel(15, 15), kBlack);
}

// The frame waits for its due time before it is shown, and the schedule
// moves on by one period.
TEST_F(FrameEnd, WaitsForTheDueTimeBeforeTheSwap) {
  const double period = g_runtime.window.framePeriod;
  const double due = timer_ms() + 30.0;
  g_runtime.window.nextFrameDue = due;
  engine_flip_and_wait(nullptr);
  EXPECT_GE(timer_ms(), due);
  EXPECT_DOUBLE_EQ(due + period, g_runtime.window.nextFrameDue);
}
