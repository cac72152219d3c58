#include "runtime/timer.h"

#include <cmath>

#include "platform/clock.h"
#include "runtime/window.h"
#include "tamblix/runtime.h"


namespace {

int g_source = -1;         // 1: counter, 0: tick count, -1: not chosen yet
double g_frequency = 0;    // counts per second of the counter
bool g_base_taken = false;
double g_base = 0;         // the first reading
double g_zero = 0;

}  // namespace

void runtime_timer_init() {
  g_source = 0;
  int64_t f = 0;
  if (platform_counter_frequency(&f) && f > 0) {
    g_source = 1;
    g_frequency = static_cast<double>(f);
  }
}

double timer_ms() {
  // A reading before start-up chose the source chooses it now, so that the
  // base and later readings come from the same source.
  if (g_source < 0) runtime_timer_init();
  if (g_source == 1) {
    // counter * 1000 is formed in 128 bits: a nanosecond counter times 1000
    // would leave 64 bits after about 106 days of uptime.
    __int128 scaled = static_cast<__int128>(platform_counter()) * 1000;
    double now = static_cast<double>(scaled) / g_frequency;
    if (!g_base_taken) {
      g_base_taken = true;
      g_base = now;
      return 0.0;
    }
    return now - g_base;
  }
  uint32_t tick = platform_tick_count();
  if (!g_base_taken) {
    g_base_taken = true;
    g_base = tick;
    return 0.0;
  }
  // The tick count wraps after 49.7 days; the difference is taken modulo 2^32.
  return static_cast<double>(static_cast<uint32_t>(tick - static_cast<uint32_t>(g_base)));
}

double timer_since_start() { return timer_ms() - g_zero; }

void runtime_timer_set_zero(double ms) { g_zero = ms; }
double runtime_timer_zero() { return g_zero; }

double runtime_frame_period_for_rate(double rate) {
  // Truncation toward zero; rates beyond the int range count as none.
  if (!(rate > -2147483648.0 && rate < 2147483648.0)) return 2.0;
  int r = static_cast<int>(rate);
  return r <= 0 ? 2.0 : 1000.0 / r;
}

void runtime_frame_schedule_advance(double now, double& next_due, double period) {
  if (now <= next_due + period) {
    next_due += period;
  } else if (now <= next_due + 2 * period) {
    next_due += 2 * period;
  } else {
    next_due = now + period;
  }
}

bool runtime_timer_sleep_until(double due) {
  if (g_source != 1 || !g_base_taken) return false;
  // The inverse of timer_ms: milliseconds since the base back to counts.
  const double counts = (due + g_base) * g_frequency / 1000.0;
  if (!(counts < 9.0e18)) return false;
  return platform_sleep_until_counter(static_cast<int64_t>(std::ceil(counts)));
}

void runtime_frame_limiter_wait(double& next_due, double period, const LimiterEnv& env) {
  double now;
  if (env.sleep_until) {
    // One pass of the event pump, then one sleep to the due time itself: no
    // busy wait, and a late wake-up does not shift later frames.
    if (env.pump) env.pump();
    now = env.now();
    if (next_due - now <= 0.0) {
      runtime_frame_schedule_advance(now, next_due, period);
      return;
    }
    if (env.sleep_until(next_due)) {
      now = env.now();
      runtime_frame_schedule_advance(now, next_due, period);
      return;
    }
  }
  for (;;) {
    if (env.pump) env.pump();
    now = env.now();
    double remaining = next_due - now;
    if (remaining > 7.0) {
      env.sleep_ms(static_cast<int>(remaining - 3.0));
      continue;
    }
    if (remaining > 1.0) continue;
    break;
  }
  runtime_frame_schedule_advance(now, next_due, period);
}

void runtime_timer_reset_for_tests() {
  g_base_taken = false;
  g_base = 0;
  g_zero = 0;
}

void runtime_timer_force_source_for_tests(int source) {
  if (source == 1) {
    runtime_timer_init();
  } else {
    g_source = 0;
  }
}
