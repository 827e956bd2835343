#include "StatusFigures.h"

#include <cinttypes>
#include <cstdio>

namespace quorel::viewer {

void FrameRateMeter::AddFrame(int64_t nowNs) {
  arrivals_.push_back(nowNs);
  ++frames_;
  Trim(nowNs);
}

double FrameRateMeter::Rate(int64_t nowNs) {
  Trim(nowNs);
  if (arrivals_.size() < 2 || nowNs - arrivals_.back() > staleNs_) return 0.0;
  const int64_t span = arrivals_.back() - arrivals_.front();
  if (span < windowNs_ / 4) return lastRate_;
  lastRate_ = static_cast<double>(arrivals_.size() - 1) * 1e9 / static_cast<double>(span);
  return lastRate_;
}

void FrameRateMeter::Reset() {
  arrivals_.clear();
  frames_ = 0;
  lastRate_ = 0;
}

void FrameRateMeter::Trim(int64_t nowNs) {
  while (arrivals_.size() > 2 && nowNs - arrivals_.front() > windowNs_) arrivals_.pop_front();
}

std::string FormatMilliseconds(int microseconds) {
  // Rounded to the nearest tenth, away from zero for halves.
  const int64_t tenths = (static_cast<int64_t>(microseconds) + (microseconds >= 0 ? 50 : -50)) / 100;
  const int64_t whole = tenths / 10;
  const int64_t frac = tenths % 10 < 0 ? -(tenths % 10) : tenths % 10;
  char text[32];
  std::snprintf(text, sizeof text, "%s%" PRId64 ".%" PRId64, (tenths < 0 && whole == 0) ? "-" : "", whole, frac);
  return text;
}

namespace {

std::string Figure(const std::optional<int> &v) {
  return v ? std::to_string(*v) : std::string("-");
}

}  // namespace

std::string FormatStatus(const StatusFigures &f, Language lang) {
  const bool ja = lang == Language::kJapanese;
  char fps[32];
  std::snprintf(fps, sizeof fps, "%.1f fps", f.framesPerSecond);
  std::string text = fps;
  text += " | ";
  text += std::to_string(f.frames) + (ja ? " フレーム" : " frames");
  text += " | ";
  text += (ja ? "欠落 " : "") + (f.dropped ? std::to_string(*f.dropped) : std::string("-")) + (ja ? "" : " dropped");
  text += " | ";
  text += ja ? "露光 " : "exposure ";
  text += f.exposureUs ? FormatMilliseconds(*f.exposureUs) + " ms" : std::string("-");
  text += " | ";
  text += ja ? "ゲイン " : "gain ";
  text += Figure(f.globalGain);
  text += " (R " + Figure(f.colourGains[0]) + ", G " + Figure(f.colourGains[1]) + "/" + Figure(f.colourGains[2]) +
          ", B " + Figure(f.colourGains[3]) + ")";
  return text;
}

}  // namespace quorel::viewer
