#include "device/ExposureMath.h"

#include <climits>
#include <cmath>

namespace quorel {

double ExposureUnitMs(int halfClock) {
  switch (halfClock) {
    case 1:
      return 8.333333244081587e-05;  // (float)(1/12000)
    case 2:
      return 2.0833333110203966e-05;  // (float)(1/48000)
    default:
      return 4.166666622040793e-05;  // (float)(1/24000)
  }
}

int LineLength(int code, int width) {
  int64_t base = width;
  int64_t threshold = 1620, minimum = 1780;
  switch (code) {
    case 1:
      base = width / 2;
      break;
    case 2:
      base = width / 4;
      break;
    case 17:
      base = width / 2;
      threshold = 2400;
      minimum = 2560;
      break;
    case 18:
      base = width / 4;
      threshold = 2400;
      minimum = 2560;
      break;
    default:
      break;
  }
  int64_t length = base >= threshold ? base + 160 : minimum;
  return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

int RealExposureMicros(int lines, int lineLength, int halfClock) {
  double t = std::trunc((static_cast<double>(lines) * lineLength + 0) * ExposureUnitMs(halfClock) * 1000);
  if (t >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (t <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(t);
}

int64_t ExposureLinesFromMicros(int micros, int lineLength, int halfClock) {
  double perLine = lineLength * ExposureUnitMs(halfClock);
  if (perLine <= 0) return micros < 0 ? -1 : INT64_MAX;
  return static_cast<int64_t>(std::trunc(micros / 1000.0 / perLine));
}

}  // namespace quorel
