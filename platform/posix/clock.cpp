#include "platform/clock.h"

#include <cerrno>
#include <ctime>
#include <sched.h>

namespace {
bool read_monotonic(timespec* ts) { return clock_gettime(CLOCK_MONOTONIC, ts) == 0; }
}  // namespace

bool platform_counter_frequency(int64_t* frequency) {
  timespec ts;
  if (!read_monotonic(&ts)) return false;
  *frequency = 1000000000LL;
  return true;
}

int64_t platform_counter() {
  timespec ts;
  if (!read_monotonic(&ts)) return 0;
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

uint32_t platform_tick_count() {
  timespec ts;
  if (!read_monotonic(&ts)) return 0;
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void platform_sleep_ms(int ms) {
  if (ms <= 0) {
    sched_yield();
    return;
  }
  timespec req{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  timespec rem;
  while (nanosleep(&req, &rem) != 0) req = rem;
}

bool platform_sleep_until_counter(int64_t counter) {
  if (counter < 0) return true;
  timespec due{static_cast<time_t>(counter / 1000000000LL), static_cast<long>(counter % 1000000000LL)};
  int rc;
  // A signal ends the sleep early: sleep again to the same deadline.
  while ((rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr)) == EINTR) {
  }
  return rc == 0;
}
