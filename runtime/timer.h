// The engine clock and the frame limiter.
#pragma once
#include <cstdint>

// Chooses the time source: the monotonic counter when it has a rate, the
// millisecond tick count otherwise.
void timer_init();
// Milliseconds since the first call (the first call returns exactly 0).
double timer_ms();
// timer_ms() - the zero time.
double timer_since_start();
// The zero time and the frame times (current, previous), in timer_ms units.
void timer_set_zero(double ms);
double timer_zero();

// Period of a frame rate: 1000 / trunc(rate), or 2 ms when trunc(rate) <= 0.
double frame_period_for_rate(double rate);

// What the limiter wait needs from the outside world; tests pass a clock of
// their own.
struct LimiterEnv {
  double (*now)();       // timer_ms
  void (*sleep_ms)(int); // coarse sleep
  void (*pump)();        // serve the window's events
};
// Waits until next_due (sleeping while more than 7 ms remain, then serving
// events until at most 1 ms remains) and advances the schedule.
void frame_limiter_wait(double& next_due, double period, const LimiterEnv& env);
// The schedule rule alone, from the last measured time.
void frame_schedule_advance(double now, double& next_due, double period);

// Test seams: forget the base (the next timer_ms returns 0 again) and force
// the time source (1 counter, 0 tick count).
void timer_reset_for_tests();
void timer_force_source_for_tests(int source);
