#include "device/sim/SimFramePacer.h"

#include <algorithm>

#include "device/sim/SimFrameLayout.h"

namespace quorel::sim {

double SimSensorFrameSeconds(const SimSensorView &view) {
  const uint16_t multiplier = view.Register(kRegClockMultiplier);
  const double pixelClock = 24.0e6 * (multiplier ? multiplier : 32) / 32.0;
  const double lineLength = std::max(view.Register(kRegLineLength) / 2, 1);
  const double frameLines =
      std::max<int>(view.Register(kRegFrameLength), static_cast<int>(view.Register(kRegExposure)) + 1);
  return frameLines * lineLength / pixelClock;
}

SimFramePacer::Clock::time_point SimFramePacer::NextFrameDue(const SimSensorView &view, Clock::time_point now) {
  double seconds;
  switch (pacing_.kind) {
    case SimPacingKind::kMax:
      return now;
    case SimPacingKind::kFixed:
      seconds = pacing_.fps > 0 ? 1.0 / pacing_.fps : 0.0;
      break;
    case SimPacingKind::kSensor:
    default:
      seconds = SimSensorFrameSeconds(view);
      break;
  }
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  // Scheduling from the previous due time, not from `now`, keeps the rate
  // exact however late each request is served.
  if (!started_ || now - last_ > period) {
    last_ = now + period;
  } else {
    last_ += period;
  }
  started_ = true;
  return last_;
}

}  // namespace quorel::sim
