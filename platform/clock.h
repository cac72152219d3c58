// Monotonic clock and sleeping on POSIX.
#pragma once
#include <cstdint>

// Counts per second of the monotonic counter; false when there is none.
bool platform_counter_frequency(int64_t* frequency);
// The monotonic counter (nanoseconds of CLOCK_MONOTONIC).
int64_t platform_counter();
// Milliseconds since an arbitrary start, 32-bit, wrapping (the coarse source).
uint32_t platform_tick_count();
// Sleeps for ms milliseconds (0 or less yields the processor).
void platform_sleep_ms(int ms);
// Sleeps until the monotonic counter reaches `counter` (an absolute
// deadline, so a late wake-up is not added to the next one); returns at once
// when it has passed. False when the platform has no such sleep.
bool platform_sleep_until_counter(int64_t counter);
