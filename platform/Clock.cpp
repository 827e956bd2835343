#include "platform/Clock.h"

#include <sched.h>
#include <time.h>

#include <cerrno>

namespace quorel {

uint32_t GetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint32_t TimeGetTime() {
  return GetTickCount();
}

uint64_t MonotonicNanoseconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

void SleepMs(uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec request{};
  request.tv_sec = static_cast<time_t>(milliseconds / 1000u);
  request.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
  // A signal must not shorten the sleep: resume with the time that remains.
  timespec remaining{};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

}  // namespace quorel
