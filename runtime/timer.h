// The engine clock and the frame limiter.
#pragma once
#include <cstdint>

// Chooses the time source: the monotonic counter when it has a rate, the
// millisecond tick count otherwise.
void runtime_timer_init();
// Milliseconds since the first call (the first call returns exactly 0).
double timer_ms();
// timer_ms() - the zero time.
double timer_since_start();
// Sleeps until timer_ms() reads `due` (returns at once when it has passed).
// False when the clock is the tick count or the platform cannot sleep to a
// deadline.
bool runtime_timer_sleep_until(double due);
// The zero time and the frame times (current, previous), in timer_ms units.
void runtime_timer_set_zero(double ms);
double runtime_timer_zero();

// Period of a frame rate: 1000 / trunc(rate), or 2 ms when trunc(rate) <= 0.
double runtime_frame_period_for_rate(double rate);

// What the limiter wait needs from the outside world; tests pass a clock of
// their own.
struct LimiterEnv {
  double (*now)();       // timer_ms
  void (*sleep_ms)(int); // coarse sleep
  void (*pump)();        // serve the window's events
  // Sleeps until the clock reads `due` (timer_ms units); false when there is
  // no such sleep (the wait then sleeps coarsely and busy-waits). Optional.
  bool (*sleep_until)(double due) = nullptr;
};
// Waits until next_due and advances the schedule. With a deadline sleep it
// serves events once and sleeps to next_due itself; without one it sleeps
// while more than 7 ms remain, then serves events until at most 1 ms remains.
// Either way the schedule advances from the last reading of the clock.
void runtime_frame_limiter_wait(double& next_due, double period, const LimiterEnv& env);
// The schedule rule alone, from the last measured time.
void runtime_frame_schedule_advance(double now, double& next_due, double period);

// Test seams: forget the base (the next timer_ms returns 0 again) and force
// the time source (1 counter, 0 tick count).
void runtime_timer_reset_for_tests();
void runtime_timer_force_source_for_tests(int source);
