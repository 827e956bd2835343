#include "device/sim/SimTrigger.h"

namespace quorel::sim {

void SimTrigger::Pulse() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_ < kMaxPending) ++pending_;
  }
  cond_.notify_all();
}

SimTrigger::WaitResult SimTrigger::WaitForPulse(uint32_t timeoutMs) {
  const Clock::time_point start = Clock::now();
  const bool limited = timeoutMs > 0;
  const Clock::time_point deadline = start + std::chrono::milliseconds(timeoutMs);
  const Clock::duration period = std::chrono::milliseconds(periodMs_);
  Clock::time_point nextPeriodic = start + period;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (interrupted_) return WaitResult::kInterrupted;
    if (pending_ > 0) {
      --pending_;
      return WaitResult::kReady;
    }
    const Clock::time_point now = Clock::now();
    if (periodMs_ > 0 && now >= nextPeriodic) return WaitResult::kReady;
    if (limited && now >= deadline) return WaitResult::kTimedOut;
    if (periodMs_ > 0 && (!limited || nextPeriodic < deadline)) {
      cond_.wait_until(lock, nextPeriodic);
    } else if (limited) {
      cond_.wait_until(lock, deadline);
    } else {
      cond_.wait(lock);
    }
  }
}

SimTrigger::WaitResult SimTrigger::SleepUntil(Clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (cond_.wait_until(lock, deadline, [this] { return interrupted_; })) return WaitResult::kInterrupted;
  return WaitResult::kReady;
}

void SimTrigger::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  cond_.notify_all();
}

void SimTrigger::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  interrupted_ = false;
}

}  // namespace quorel::sim
