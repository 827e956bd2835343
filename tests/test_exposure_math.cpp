// Exposure arithmetic: the line length rule and the conversions between
// lines and microseconds, at the unit values the camera was characterised with.
#include <gtest/gtest.h>

#include <climits>

#include "device/ExposureMath.h"

namespace quorel {
namespace {

TEST(ExposureMath, UnitValuesAreTheWidenedSinglePrecisionFractions) {
  EXPECT_EQ(ExposureUnitMs(0), static_cast<double>(1.0f / 24000.0f));
  EXPECT_EQ(ExposureUnitMs(1), static_cast<double>(1.0f / 12000.0f));
  EXPECT_EQ(ExposureUnitMs(2), static_cast<double>(1.0f / 48000.0f));
  // Unknown settings count as the normal clock, and the stored value lies
  // just below the exact fraction.
  EXPECT_EQ(ExposureUnitMs(7), ExposureUnitMs(0));
  EXPECT_LT(ExposureUnitMs(0), 1.0 / 24000.0);
}

TEST(ExposureMath, LineLengthByCodeAndWidth) {
  EXPECT_EQ(LineLength(0, 3488), 3648);
  EXPECT_EQ(LineLength(0, 1000), 1780);
  EXPECT_EQ(LineLength(0, 1620), 1780);  // exactly the threshold: b + 160
  EXPECT_EQ(LineLength(0, 1619), 1780);
  EXPECT_EQ(LineLength(1, 3487), 1903);  // b = 1743, truncated
  EXPECT_EQ(LineLength(2, 3488), 1780);  // b = 872 is below the threshold
  EXPECT_EQ(LineLength(17, 3488), 2560);
  EXPECT_EQ(LineLength(17, 4800), 2560);
  EXPECT_EQ(LineLength(17, 4802), 2561);
  EXPECT_EQ(LineLength(18, 3488), 2560);
  EXPECT_EQ(LineLength(5, 3488), 3648);        // any other code: full width rule
  EXPECT_EQ(LineLength(0, INT_MAX), INT_MAX);  // clamped, no overflow
}

TEST(ExposureMath, RealTimeFromLinesPerClock) {
  const int L = LineLength(0, 3488);
  EXPECT_EQ(RealExposureMicros(1970, L, 0), 299439);
  EXPECT_EQ(RealExposureMicros(1970, L, 1), 598879);
  EXPECT_EQ(RealExposureMicros(1970, L, 2), 149719);
  EXPECT_EQ(RealExposureMicros(0, L, 0), 0);
  EXPECT_EQ(RealExposureMicros(INT_MAX, INT_MAX, 1), INT_MAX);
}

TEST(ExposureMath, LinesFromRealTime) {
  const int L = LineLength(0, 3488);
  EXPECT_EQ(ExposureLinesFromMicros(299440, L, 0), 1970);
  // Just below the value the getter reports for 1970 lines: one line less.
  EXPECT_EQ(ExposureLinesFromMicros(299439, L, 0), 1969);
  EXPECT_EQ(ExposureLinesFromMicros(2500000, L, 0), 16447);
  EXPECT_LT(ExposureLinesFromMicros(-1000000, L, 0), 0);
  EXPECT_GT(ExposureLinesFromMicros(INT_MAX, 1780, 2), 16383);
}

TEST(ExposureMath, RoundTripStaysWithinOneLine) {
  for (int clock = 0; clock <= 2; ++clock) {
    for (int width : {1000, 2000, 3488}) {
      const int L = LineLength(0, width);
      for (int lines = 1; lines <= 16383; lines += 517) {
        int64_t back = ExposureLinesFromMicros(RealExposureMicros(lines, L, clock), L, clock);
        EXPECT_LE(back, lines);
        EXPECT_GE(back, lines - 1) << "clock " << clock << " width " << width;
      }
    }
  }
}

}  // namespace
}  // namespace quorel
