// Millisecond clock and sleep. The tick count is CLOCK_MONOTONIC in
// milliseconds, truncated to 32 bits, so it wraps about every 49.7 days:
// compare ticks by unsigned subtraction (now - start >= timeout), never by <.
#pragma once

#include <cstdint>

namespace quorel {

// Monotonic milliseconds, wrapping at 2^32. Thread-safe.
uint32_t GetTickCount();

// The multimedia-timer reading; the same clock as GetTickCount. Thread-safe.
uint32_t TimeGetTime();

// CLOCK_MONOTONIC in nanoseconds, unwrapped: the time base of frame
// timestamps, comparable with clock_gettime(CLOCK_MONOTONIC) in any process on
// the machine. Thread-safe.
uint64_t MonotonicNanoseconds();

// Sleeps the calling thread for at least `milliseconds` (0 yields).
void SleepMs(uint32_t milliseconds);

}  // namespace quorel
