// When the virtual camera's next frame is ready.
//
// fps=max: at once. fps=N: every 1/N seconds. fps=sensor: at the frame time
// the programmed timing registers give:
//
//   pixel clock  = 24 MHz x multiplier (0x0306) / 32   (12, 24 or 48 MHz)
//   line time    = (line length 0x0342 / 2) / pixel clock
//   frame lines  = max(frame length 0x0340, exposure 0x3012 + 1)
//   frame time   = frame lines x line time
//
// The line-length register holds twice the line length L, and L counts
// pixel-clock periods; this is the same clock the host uses to turn
// exposure lines into microseconds. A full 3488 x 2616 window at the normal
// clock thus takes 2961 x 3648 / 24 MHz = 0.45 s, about 2.2 frames per
// second; an exposure longer than the frame stretches the frame, as on the
// sensor.
#pragma once

#include <chrono>

#include "device/sim/SimSensorView.h"

namespace quorel::sim {

enum class SimPacingKind { kMax, kSensor, kFixed };

struct SimPacing {
  SimPacingKind kind = SimPacingKind::kMax;
  double fps = 0;  // for kFixed: frames per second, > 0
};

// The frame time the sensor's registers give, in seconds.
double SimSensorFrameSeconds(const SimSensorView &view);

class SimFramePacer {
 public:
  using Clock = std::chrono::steady_clock;
  explicit SimFramePacer(SimPacing pacing) : pacing_(pacing) {}

  // The moment the next frame is complete, for a request made at `now`;
  // each call accounts for one frame. Frames follow each other at the frame
  // time while requests keep up; a request that comes later than a whole
  // frame time after the previous frame starts a new sequence (the next
  // frame is then one frame time away). Thread context: one thread at a time.
  Clock::time_point NextFrameDue(const SimSensorView &view, Clock::time_point now);

 private:
  const SimPacing pacing_;
  bool started_ = false;
  Clock::time_point last_;  // when the previous frame was due
};

}  // namespace quorel::sim
