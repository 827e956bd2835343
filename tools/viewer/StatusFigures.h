// The figures of the viewer's status bar and how they read: frames per
// second measured over the last second of frame arrivals, frames shown,
// frames dropped, exposure in milliseconds and the analog gains.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "Language.h"

namespace quorel::viewer {

// Frames per second over a sliding window of arrival times. Slow streams
// (under one frame per window) keep their last two arrivals for as long as
// the stream is not stale, so that 0.5 fps reads 0.5 and not 0. Used on one
// thread (the GUI's).
class FrameRateMeter {
 public:
  explicit FrameRateMeter(int64_t windowNs = 1'000'000'000, int64_t staleNs = 5'000'000'000)
      : windowNs_(windowNs), staleNs_(staleNs) {}

  // One frame arrived at monotonic time nowNs (never decreasing).
  void AddFrame(int64_t nowNs);
  // Frames per second at nowNs: the frames kept, less one, divided by the
  // time they span; 0 with fewer than two, or when the newest is staleNs old.
  // Messages read in one batch arrive at almost the same time: a span under
  // a quarter window tells nothing, and the last rate stands.
  double Rate(int64_t nowNs);
  // Frames since construction or Reset.
  uint64_t frames() const { return frames_; }
  void Reset();

 private:
  void Trim(int64_t nowNs);

  int64_t windowNs_;
  int64_t staleNs_;
  std::deque<int64_t> arrivals_;
  uint64_t frames_ = 0;
  double lastRate_ = 0;
};

struct StatusFigures {
  double framesPerSecond = 0;
  uint64_t frames = 0;
  // Absent when the library cannot tell (no stream statistics).
  std::optional<uint64_t> dropped;
  // Absent when the camera did not answer.
  std::optional<int> exposureUs;
  std::optional<int> globalGain;
  // Red, green 1, green 2, blue.
  std::optional<int> colourGains[4];
};

// "12.5 fps | 340 frames | 0 dropped | exposure 33.3 ms | gain 8 (R 16, G 16/16, B 16)";
// an unknown figure shows as "-".
std::string FormatStatus(const StatusFigures &f, Language lang);

// Microseconds as milliseconds with one decimal: 33333 -> "33.3".
std::string FormatMilliseconds(int microseconds);

}  // namespace quorel::viewer
