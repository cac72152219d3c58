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
