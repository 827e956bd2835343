// The external events of one virtual unit: trigger pulses (sent by
// QuorelSim_Trigger, or every `period` milliseconds when the unit was
// configured with trigger=MS), and interruption, which ends every wait at
// once (the unit was unplugged or is being destroyed). Every wait of the
// unit's data pipe goes through here so that an unplug never leaves a read
// hanging. All members are thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace quorel::sim {

class SimTrigger {
 public:
  using Clock = std::chrono::steady_clock;
  enum class WaitResult { kReady, kTimedOut, kInterrupted };

  // `periodMs` > 0 adds a pulse every periodMs milliseconds while a capture
  // waits for one.
  explicit SimTrigger(uint32_t periodMs = 0) : periodMs_(periodMs) {}

  // One external pulse. A pulse that comes while no capture waits is kept
  // for the next one (at most kMaxPending are kept).
  void Pulse();
  static constexpr uint32_t kMaxPending = 64;

  // Waits for a pulse and consumes it: kReady; kTimedOut when none came
  // within timeoutMs (0: no limit); kInterrupted when the unit is
  // interrupted. A periodic pulse falls due every periodMs from the start of
  // the wait.
  WaitResult WaitForPulse(uint32_t timeoutMs);

  // Sleeps until `deadline`: kReady, or kInterrupted when interrupted first.
  WaitResult SleepUntil(Clock::time_point deadline);

  // Ends every current wait with kInterrupted, and every later one until
  // Resume.
  void Interrupt();
  void Resume();

 private:
  const uint32_t periodMs_;
  std::mutex mutex_;
  std::condition_variable cond_;
  uint32_t pending_ = 0;      // guarded by mutex_
  bool interrupted_ = false;  // guarded by mutex_
};

}  // namespace quorel::sim
