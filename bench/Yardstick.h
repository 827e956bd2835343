// Ratios to a yardstick from one run: each benchmark iteration times the
// kernel (the iteration's manual time) and then each yardstick once, and the
// benchmark reports, as counters named "x_<yardstick>", the fastest kernel
// run divided by the fastest run of each yardstick. Interleaving them gives
// both the same machine load; with --benchmark_repetitions the "min"
// aggregate of each counter is the figure to quote. Single-threaded work is
// timed in the calling thread's processor time, which other programs on a
// shared machine disturb far less than the wall clock; work spread over
// threads (the band pool) is timed by the wall clock.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace quorel::bench {

using Yardsticks = std::vector<std::pair<std::string, std::function<void()>>>;

enum class Clock { kThreadCpu, kWall };

inline double Now(Clock clock) {
  timespec t{};
  clock_gettime(clock == Clock::kThreadCpu ? CLOCK_THREAD_CPUTIME_ID : CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double SecondsOf(const std::function<void()> &fn, Clock clock) {
  const double start = Now(clock);
  fn();
  benchmark::ClobberMemory();
  return Now(clock) - start;
}

inline void Compare(benchmark::State &state, const std::function<void()> &kernel, const Yardsticks &yardsticks,
                    Clock clock = Clock::kThreadCpu, const std::function<void()> &before = {}) {
  double best = std::numeric_limits<double>::infinity();
  std::vector<double> bestYardstick(yardsticks.size(), std::numeric_limits<double>::infinity());
  for (auto _ : state) {
    if (before) before();
    const double t = SecondsOf(kernel, clock);
    state.SetIterationTime(t);
    best = std::min(best, t);
    for (size_t i = 0; i < yardsticks.size(); ++i)
      bestYardstick[i] = std::min(bestYardstick[i], SecondsOf(yardsticks[i].second, clock));
  }
  state.counters["best_ms"] = best * 1e3;
  for (size_t i = 0; i < yardsticks.size(); ++i) state.counters["x_" + yardsticks[i].first] = best / bestYardstick[i];
}

// The aggregate to quote on a shared machine.
inline double Fastest(const std::vector<double> &v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}

}  // namespace quorel::bench
