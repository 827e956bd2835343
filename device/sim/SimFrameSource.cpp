#include "device/sim/SimFrameSource.h"

#include <algorithm>
#include <cstdio>

#include "device/sim/SimFrameLayout.h"
#include "platform/DebugLog.h"

namespace quorel::sim {

SimFrameSource::SimFrameSource(SimFrameSourceOptions options)
    : trigger_(options.triggerPeriodMs), pacer_(options.pacing), generator_(std::move(options.scene)) {}

SimFrameSource::~SimFrameSource() {
  trigger_.Interrupt();
}

void SimFrameSource::SetPresent(bool present) {
  present_.store(present, std::memory_order_release);
  if (present) {
    trigger_.Resume();
  } else {
    trigger_.Interrupt();
  }
}

bool SimFrameSource::ReadFrame(const SimSensorView &view, uint8_t *dst, size_t length, uint32_t timeoutMs,
                               size_t *moved) {
  size_t ignored = 0;
  if (moved == nullptr) moved = &ignored;
  *moved = 0;
  std::lock_guard<std::mutex> lock(readMutex_);
  if (!Present() || dst == nullptr) return false;
  if (faults_.TakeFailFrame()) {
    LogPrint(LogCategory::kSim, 1, "injected failed frame");
    return false;
  }

  using Clock = SimTrigger::Clock;
  const Clock::time_point start = Clock::now();
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  if (view.Port(kPortTrigger) == kTriggerOn) {
    if (trigger_.WaitForPulse(timeoutMs) != SimTrigger::WaitResult::kReady) return false;
  } else {
    const Clock::time_point due = pacer_.NextFrameDue(view, start);
    if (timeoutMs > 0 && due - start > timeout) {
      // The driver gives up before the sensor finishes the frame.
      trigger_.SleepUntil(start + timeout);
      return false;
    }
    if (trigger_.SleepUntil(due) != SimTrigger::WaitResult::kReady) return false;
  }
  // A stalled frame comes late whatever the time-out: it models a camera
  // that falls silent, which the host notices only by waiting in vain.
  if (const uint32_t stall = faults_.TakeStallMs(); stall > 0) {
    LogPrint(LogCategory::kSim, 1, "injected stall: the frame comes %u ms late", stall);
    if (trigger_.SleepUntil(Clock::now() + std::chrono::milliseconds(stall)) != SimTrigger::WaitResult::kReady) {
      return false;
    }
  }
  if (!Present()) return false;

  size_t count = std::min(length, ProgrammedTransferBytes(view));
  if (faults_.TakeShortFrame()) {
    count /= 2;
    LogPrint(LogCategory::kSim, 1, "injected short frame: %zu bytes sent", count);
  }
  std::string error;
  if (!generator_.Render(view, delivered_.load(std::memory_order_relaxed), dst, count, &error)) {
    if (error != lastError_) {
      std::fprintf(stderr, "quorel virtual camera: %s\n", error.c_str());
      lastError_ = error;
    }
    return false;
  }
  delivered_.fetch_add(1, std::memory_order_release);
  *moved = count;
  return true;
}

bool SimFrameSource::InjectFault(const char *fault) {
  const bool known = faults_.Inject(fault);
  LogPrint(LogCategory::kSim, 1, "fault \"%s\" %s", fault != nullptr ? fault : "(null)",
           known ? "injected" : "not known: nothing injected");
  return known;
}

}  // namespace quorel::sim
