// Conversion between the sensor's exposure in lines and a real exposure
// time in microseconds. Pure functions; the camera object keeps the inputs
// and reports errors.
#pragma once

#include <cstdint>

namespace quorel {

// Time of one line-length unit in milliseconds for a half-clock setting
// (0 normal, 1 half, 2 double; anything else counts as normal). The values
// are the single-precision fractions 1/24000, 1/12000 and 1/48000 widened to
// double, as the camera's timing was characterised with them.
double ExposureUnitMs(int halfClock);

// Line length for a sub-sampling code and capture width (integer, divisions
// truncating). Based on the halved or quartered width, so it can differ by
// a few units from what the window programming derives from the aligned
// output width.
int LineLength(int code, int width);

// Real exposure in microseconds: trunc(lines x L x unit x 1000). Results
// beyond the int range are clamped.
int RealExposureMicros(int lines, int lineLength, int halfClock);

// Exposure lines for a time in microseconds: trunc(t / 1000 / (L x unit)).
// 64-bit, so that callers can check the result against the sensor's range
// without overflow; negative for negative times.
int64_t ExposureLinesFromMicros(int micros, int lineLength, int halfClock);

}  // namespace quorel
