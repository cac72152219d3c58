// The engine clock, the frame period and the frame limiter's schedule,
// against a clock the test controls.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "runtime/timer.h"
#include "runtime/window.h"
#include "tamblix.h"

namespace {

// A clock that advances only when the limiter sleeps or reads it.
struct FakeClock {
  double now = 0;
  double per_read = 0.25;  // each reading costs a little time (the busy wait)
  std::vector<int> sleeps;
  int pumps = 0;
};
FakeClock* g_clock = nullptr;
double fake_now() {
  g_clock->now += g_clock->per_read;
  return g_clock->now;
}
void fake_sleep(int ms) {
  g_clock->sleeps.push_back(ms);
  g_clock->now += ms;
}
void fake_pump() { ++g_clock->pumps; }
// A deadline sleep that wakes a little late, as a real one does.
double g_deadline_overshoot = 0.05;
std::vector<double> g_deadlines;
bool fake_sleep_until(double due) {
  g_deadlines.push_back(due);
  if (g_clock->now < due) g_clock->now = due + g_deadline_overshoot;
  return true;
}
bool no_sleep_until(double) { return false; }

class LimiterTest : public ::testing::Test {
 protected:
  void SetUp() override { g_clock = &clock_; }
  void wait(double& due, double period) {
    runtime_frame_limiter_wait(due, period, LimiterEnv{&fake_now, &fake_sleep, &fake_pump});
  }
  FakeClock clock_;
};

}  // namespace

TEST(Timer, FirstReadingIsZeroAndTimeGoesOn) {
  for (int source : {1, 0}) {
    SCOPED_TRACE(source);
    runtime_timer_force_source_for_tests(source);
    runtime_timer_reset_for_tests();
    EXPECT_EQ(0.0, timer_ms());
    double a = timer_ms();
    double b = timer_ms();
    EXPECT_GE(a, 0.0);
    EXPECT_GE(b, a);
    if (source == 0) {
      EXPECT_EQ(std::floor(b), b);  // whole milliseconds
    }
  }
  runtime_timer_set_zero(timer_ms());
  EXPECT_LT(timer_since_start(), 1000.0);
  runtime_timer_force_source_for_tests(1);
}

TEST(Timer, FramePeriods) {
  struct Case {
    double rate;
    double period;
  };
  const Case cases[] = {{30, 1000.0 / 30}, {29.97, 1000.0 / 29}, {60, 1000.0 / 60}, {0, 2.0},
                        {-5, 2.0},       {0.9, 2.0},           {1, 1000.0},      {1e12, 2.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    EXPECT_DOUBLE_EQ(c.period, runtime_frame_period_for_rate(c.rate));
    sys_limit_fps(c.rate, 1);  // no window: no swap control, the period still changes
    EXPECT_DOUBLE_EQ(c.period, g_runtime.window.framePeriod);
  }
}

TEST_F(LimiterTest, SleepsThenBusyWaitsServingEvents) {
  double due = 33.0;
  wait(due, 100.0 / 3);
  // First pass: 32.75 ms remain, sleep trunc(32.75 - 3) = 29.
  ASSERT_FALSE(clock_.sleeps.empty());
  EXPECT_EQ(29, clock_.sleeps[0]);
  for (int s : clock_.sleeps) EXPECT_GT(s, 3);  // no sleep within the last 7 ms
  // It leaves once at most 1 ms remains, never before 1 ms remains.
  EXPECT_GE(clock_.now, 32.0);
  EXPECT_LE(clock_.now, 33.25);
  EXPECT_GT(clock_.pumps, 2);  // events were served on every pass
  EXPECT_DOUBLE_EQ(33.0 + 100.0 / 3, due);
}

TEST_F(LimiterTest, ScheduleRules) {
  const double period = 100.0 / 3;
  // On time: frames fall due at multiples of the period.
  double due = period;
  clock_.now = 0;
  for (int i = 1; i <= 5; ++i) {
    wait(due, period);
    EXPECT_NEAR(period * i, clock_.now, 1.25);
    EXPECT_DOUBLE_EQ(period * (i + 1), due);
  }
  // The previous frame was due at T = 1000 - period, so 1000 is due now.
  // A frame taking 1.5 periods from T: the next due time is T + 2 periods.
  due = 1000;
  clock_.now = 1000 + 0.5 * period;
  wait(due, period);
  EXPECT_DOUBLE_EQ(1000 + period, due);
  // Late by more than one period: one slot is skipped.
  due = 1500;
  clock_.now = 1500 + 1.5 * period;
  wait(due, period);
  EXPECT_DOUBLE_EQ(1500 + 2 * period, due);
  // A frame taking (just over) 3 periods from T: the schedule restarts one
  // period after its end.
  due = 2000;
  clock_.now = 2000 + 2 * period + 0.5;
  wait(due, period);
  EXPECT_NEAR(clock_.now + period, due, 1e-9);
}

TEST(Schedule, Boundaries) {
  const double period = 10;
  struct Case {
    double now, due, expected;
  };
  const Case cases[] = {
      {5, 10, 20},   {20, 10, 20},  // now <= due + period
      {20.5, 10, 30}, {30, 10, 30},  // now <= due + 2 periods
      {30.5, 10, 40.5},              // restart from now
  };
  for (const Case& c : cases) {
    double due = c.due;
    runtime_frame_schedule_advance(c.now, due, period);
    EXPECT_DOUBLE_EQ(c.expected, due) << c.now;
  }
}

// With a deadline sleep the wait serves events once, sleeps once to the due
// time itself (no coarse sleeps, no busy wait) and keeps every schedule rule.
TEST_F(LimiterTest, DeadlineSleepServesEventsOnceAndKeepsTheSchedule) {
  const double period = 100.0 / 3;
  auto wait_deadline = [&](double& due) {
    runtime_frame_limiter_wait(due, period, LimiterEnv{&fake_now, &fake_sleep, &fake_pump, &fake_sleep_until});
  };
  g_deadlines.clear();
  double due = period;
  for (int i = 1; i <= 5; ++i) {
    const int pumps = clock_.pumps;
    wait_deadline(due);
    EXPECT_EQ(pumps + 1, clock_.pumps);
    EXPECT_GE(clock_.now, period * i);  // never before the due time
    EXPECT_LT(clock_.now, period * i + 1.0);
    EXPECT_DOUBLE_EQ(period * (i + 1), due);
  }
  EXPECT_TRUE(clock_.sleeps.empty());
  ASSERT_EQ(5u, g_deadlines.size());
  EXPECT_DOUBLE_EQ(period * 5, g_deadlines.back());  // the due time itself, not a relative sleep

  // Late frames: no sleep at all, and the same three rules as without it.
  struct Case {
    double due, now, expected;
  };
  const Case cases[] = {{1000, 1000 + 0.5 * period, 1000 + period},
                        {1500, 1500 + 1.5 * period, 1500 + 2 * period},
                        {2000, 2000 + 2 * period + 0.5, 0}};
  for (const Case& c : cases) {
    g_deadlines.clear();
    due = c.due;
    clock_.now = c.now;
    wait_deadline(due);
    EXPECT_TRUE(g_deadlines.empty());
    EXPECT_NEAR(c.expected != 0 ? c.expected : clock_.now + period, due, 1e-9) << c.due;
  }
}

// Without a deadline sleep (the tick-count clock) the wait falls back to the
// coarse sleep and the busy wait.
TEST_F(LimiterTest, FallsBackWhenTheDeadlineSleepIsMissing) {
  double due = 33.0;
  runtime_frame_limiter_wait(due, 100.0 / 3, LimiterEnv{&fake_now, &fake_sleep, &fake_pump, &no_sleep_until});
  ASSERT_FALSE(clock_.sleeps.empty());
  EXPECT_EQ(29, clock_.sleeps[0]);
  EXPECT_GE(clock_.now, 32.0);
  EXPECT_DOUBLE_EQ(33.0 + 100.0 / 3, due);
}

// The real clock: a sleep to a deadline on the engine clock wakes at it.
TEST(Timer, SleepUntilWakesAtTheDeadline) {
  runtime_timer_force_source_for_tests(1);
  runtime_timer_reset_for_tests();
  timer_ms();
  for (double ahead : {5.0, 20.0}) {
    const double due = timer_ms() + ahead;
    ASSERT_TRUE(runtime_timer_sleep_until(due));
    const double woke = timer_ms();
    EXPECT_GE(woke, due);
    EXPECT_LT(woke, due + 50.0);  // generous: the machine may be busy
  }
  const double before = timer_ms();
  EXPECT_TRUE(runtime_timer_sleep_until(before - 10.0));  // passed: returns at once
  EXPECT_LT(timer_ms() - before, 50.0);
  runtime_timer_force_source_for_tests(0);
  EXPECT_FALSE(runtime_timer_sleep_until(timer_ms() + 1.0));  // the tick count has no deadline sleep
  runtime_timer_force_source_for_tests(1);
}
