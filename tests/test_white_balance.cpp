// Automatic white balance, gray gains and offsets, gray balance and luminance
// on small hand-made mosaics.
#include "image/WhiteBalance.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/KernelTestImage.h"

namespace quorel {
namespace {

using test::KernelTestImage;
using test::RunInPlace;

// A mosaic of `rows` repeated: each string lists the colours of one row
// period ('R', 'G', 'B'), and `value` gives each colour's sample.
template <typename Value>
KernelTestImage Mosaic(int w, int h, int bpp, const char *row0, const char *row1, Value value) {
  KernelTestImage image(w, h, bpp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // An array rather than a conditional expression: g++ 12 with UBSan
      // mis-indexes a conditional choice between two string literals.
      const char *const rows[2] = {row0, row1};
      const char site = rows[y % 2][x % 2];
      const int v = value(site, x, y);
      if (bpp == 1)
        image.SetByte(x, y, 0, static_cast<uint8_t>(v));
      else
        image.SetWord(x, y, 0, static_cast<uint16_t>(v));
    }
  return image;
}

WhiteBalanceParams Measure(PixelKernel<WhiteBalanceParams &> kernel, KernelTestImage &mosaic, int mode,
                           int expectResult = 1) {
  WhiteBalanceParams p = MakeWhiteBalanceParams(mode);
  EXPECT_EQ(RunInPlace(kernel, mosaic, p), expectResult);
  return p;
}

TEST(BalanceMeans, GainsFromClassMeans) {
  // Mode 0 reads G B / R G. Red averages 50, green 100, blue 200.
  auto image = Mosaic(40, 4, 1, "GB", "RG", [](char s, int, int) { return s == 'R' ? 50 : s == 'G' ? 100 : 200; });
  const WhiteBalanceParams p = Measure(BalanceMeans8, image, 0);
  EXPECT_EQ(p.redGain, 200);
  EXPECT_EQ(p.greenGain, 100);
  EXPECT_EQ(p.blueGain, 50);

  // Mode 3 reads G R / B G; 16-bit samples, red at a fifth of green. The
  // operations in their fixed order give 499, not 500.
  auto wide = Mosaic(36, 6, 2, "GR", "BG", [](char s, int, int) { return s == 'R' ? 320 : s == 'G' ? 1600 : 3200; });
  const WhiteBalanceParams q = Measure(BalanceMeans16, wide, 3);
  EXPECT_EQ(q.redGain, 499);
  EXPECT_EQ(q.blueGain, 50);
  FilterBlock filters{};
  EXPECT_TRUE(StoreWhiteBalance(filters, q, true));
  EXPECT_EQ(filters[kBayerGainRed], 400);
  EXPECT_EQ(filters[kBayerGainGreen], 100);
  EXPECT_EQ(filters[kBayerGainBlue], 50);
}

TEST(BalanceMeans, EverySampleCountsIncludingUnevenEdges) {
  // 37 x 3 in mode 2 (B G / G R): 19 blue sites in each of rows 0 and 2, the
  // two in the last column brighter, so that the blue mean is 1216 / 38 = 32.
  auto image = Mosaic(37, 3, 1, "BG", "GR", [](char s, int x, int) {
    if (s == 'B') return x == 36 ? 68 : 30;
    return s == 'G' ? 70 : 35;
  });
  const WhiteBalanceParams p = Measure(BalanceMeans8, image, 2);
  EXPECT_EQ(p.blueGain, 218);
  EXPECT_EQ(p.redGain, 200);
}

TEST(BalanceMeans, DarkFrameKeepsGainsDefined) {
  auto black = Mosaic(4, 4, 1, "GB", "RG", [](char, int, int) { return 0; });
  WhiteBalanceParams p = Measure(BalanceMeans8, black, 0, 0);
  EXPECT_EQ(p.redGain, 100);
  EXPECT_EQ(p.blueGain, 100);

  // Blue black but green lit: blue needs unbounded gain, stored as 400.
  auto noBlue = Mosaic(4, 4, 1, "GB", "RG", [](char s, int, int) { return s == 'B' ? 0 : 80; });
  p = Measure(BalanceMeans8, noBlue, 0);
  EXPECT_EQ(p.redGain, 99);  // 160 / 80 / 3 * 100 / (160 / 80 / 3) falls just short of 100
  EXPECT_EQ(p.blueGain, std::numeric_limits<int32_t>::max());
  FilterBlock filters{};
  StoreWhiteBalance(filters, p, true);
  EXPECT_EQ(filters[kBayerGainBlue], 400);

  // A single row has no red sites in mode 0: nothing to measure.
  KernelTestImage row(8, 1, 1);
  row.FillBytes(90);
  Measure(BalanceMeans8, row, 0, 0);
}

TEST(WhiteBalanceWriteBack, OnceChangesGainsOnExactlyOneFrame) {
  FilterBlock filters{};
  filters[kBayerGainRed] = filters[kBayerGainGreen] = filters[kBayerGainBlue] = 100;
  filters[kBayerGainAuto] = 1;
  filters[kAwbOnceA] = filters[kAwbOnceB] = 1;
  int framesMeasured = 0;
  for (int frame = 0; frame < 3; ++frame) {
    // Every frame has a different colour cast.
    auto image = Mosaic(20, 4, 1, "GB", "RG", [frame](char s, int, int) { return s == 'G' ? 100 : 25 * (frame + 1); });
    if (filters[kBayerGainAuto] == 0) continue;
    const WhiteBalanceParams p = Measure(BalanceMeans8, image, 0);
    StoreWhiteBalance(filters, p, true);
    ++framesMeasured;
  }
  EXPECT_EQ(framesMeasured, 1);
  EXPECT_EQ(filters[kBayerGainRed], 400);
  EXPECT_EQ(filters[kBayerGainAuto], 0);
  EXPECT_EQ(filters[kAwbOnceA], 0);
  EXPECT_EQ(filters[kAwbOnceB], 0);
}

TEST(WhiteBalanceWriteBack, AllFramesKeepsMeasuringAndOneFlagIsNotOnce) {
  FilterBlock filters{};
  filters[kBayerGainAuto] = 1;
  filters[kAwbOnceA] = 1;  // only one of the pair: not "Once"
  EXPECT_FALSE(AwbOnceSet(filters));
  WhiteBalanceParams p = MakeWhiteBalanceParams(0);
  p.redGain = 150;
  p.blueGain = 90;
  StoreWhiteBalance(filters, p, true);
  EXPECT_EQ(filters[kBayerGainAuto], 1);
  EXPECT_EQ(filters[kBayerGainRed], 150);

  // An unmeasurable frame keeps the gains but still ends a "Once" request.
  filters[kAwbOnceB] = 1;
  p.redGain = 300;
  EXPECT_FALSE(StoreWhiteBalance(filters, p, false));
  EXPECT_EQ(filters[kBayerGainRed], 150);
  EXPECT_EQ(filters[kBayerGainAuto], 0);
}

GrayParams Gray(int mode, int bits, int32_t g0, int32_t g1, int32_t g2, int32_t g3, int32_t o0 = 0, int32_t o1 = 0,
                int32_t o2 = 0, int32_t o3 = 0) {
  GrayParams p;
  p.mode = mode;
  p.bits = bits;
  const int32_t gains[4] = {g0, g1, g2, g3};
  const int32_t offsets[4] = {o0, o1, o2, o3};
  for (int i = 0; i < 4; ++i) p.gains[i] = gains[i], p.offsets[i] = offsets[i];
  return p;
}

TEST(GrayBalance, HalfBrightClassGetsDoubleGain) {
  // Mode 0 with gray labels: G1 R / B G2. The B sites average 50 once the
  // zeros and saturated samples are left out.
  auto image = Mosaic(40, 8, 1, "GR", "BH", [](char s, int x, int y) {
    if (s != 'B') return 100;
    if (x == 0 && y == 1) return 0;
    if (x == 2 && y == 1) return 255;
    return 50;
  });
  GrayParams p = Gray(0, 8, 1, 2, 3, 4, 5, 6, 7, 8);
  ASSERT_EQ(RunInPlace(GrayBalance, image, p), 1);
  EXPECT_EQ(p.gains[kGrayR], 128);
  EXPECT_EQ(p.gains[kGrayG1], 128);
  EXPECT_EQ(p.gains[kGrayG2], 128);
  EXPECT_EQ(p.gains[kGrayB], 256);
  EXPECT_EQ(p.offsets[kGrayR], 5);  // offsets are not measured
}

TEST(GrayBalance, SixteenBitLeavesOutSaturatedAndStopsWithoutSamples) {
  // Mode 1 in gray labels: B G2 / G1 R.
  auto image = Mosaic(36, 4, 2, "BH", "GR", [](char s, int x, int) {
    if (s == 'R') return x == 1 ? 4095 : 1000;  // the 4095 sample is left out
    return 2000;
  });
  GrayParams p = Gray(1, 12, 128, 128, 128, 128);
  ASSERT_EQ(RunInPlace(GrayBalance, image, p), 1);
  EXPECT_EQ(p.gains[kGrayR], 256);
  EXPECT_EQ(p.gains[kGrayB], 128);

  // Every R site saturated: no usable sample, nothing changes.
  auto saturated = Mosaic(36, 4, 2, "BH", "GR", [](char s, int, int) { return s == 'R' ? 4095 : 2000; });
  GrayParams q = Gray(1, 12, 11, 22, 33, 44);
  ASSERT_EQ(RunInPlace(GrayBalance, saturated, q), 1);
  EXPECT_EQ(q.gains[kGrayR], 11);
  EXPECT_EQ(q.gains[kGrayB], 44);
}

TEST(GrayGainOffset, OffsetAndGainPerSiteWithLimits) {
  // Mode 0: G1 R / B G2. G1 has gain 128 and offset -20; R doubles; B has
  // offset +200; G2 has gain 0 and offset 7. Columns repeat every 4.
  auto image = Mosaic(38, 2, 1, "GR", "BH", [](char s, int x, int) {
    if (s == 'G') return x % 4 == 0 ? 10 : 30;
    if (s == 'R') return x % 4 == 1 ? 100 : 200;
    return s == 'B' ? 60 : 99;
  });
  GrayParams p = Gray(0, 8, 256, 128, 0, 128, 0, -20, 7, 200);
  ASSERT_EQ(RunInPlace(GrayGainOffset8, image, p), 1);
  for (int x = 0; x + 3 < 38; x += 4) {
    EXPECT_EQ(image.Byte(x, 0), 0);        // 10 - 20
    EXPECT_EQ(image.Byte(x + 2, 0), 10);   // 30 - 20
    EXPECT_EQ(image.Byte(x + 1, 0), 200);  // 100 * 2
    EXPECT_EQ(image.Byte(x + 3, 0), 255);  // 200 * 2
    EXPECT_EQ(image.Byte(x, 1), 255);      // 60 + 200
    EXPECT_EQ(image.Byte(x + 1, 1), 7);    // 0 * 99 + 7
  }
  EXPECT_EQ(image.Byte(37, 1), 7);
}

TEST(GrayGainOffset, SixteenBitTruncatesAndLimitsToTwelveBits) {
  auto image = Mosaic(34, 2, 2, "GR", "BH", [](char s, int, int) { return s == 'G' ? 3 : s == 'R' ? 4000 : 1000; });
  // G1 gain 100: 3 * 100 / 128 = 2.34 -> 2; R doubles past 4095; B with a
  // gain too large for 32-bit products; G2 keeps its value.
  GrayParams p = Gray(0, 12, 256, 100, 128, 2000000, -1, 0, 0, -5);
  ASSERT_EQ(RunInPlace(GrayGainOffset16, image, p), 1);
  for (int x = 0; x < 34; x += 2) {
    EXPECT_EQ(image.Word(x, 0), 2);
    EXPECT_EQ(image.Word(x + 1, 0), 4095);
    EXPECT_EQ(image.Word(x, 1), 4095);
    EXPECT_EQ(image.Word(x + 1, 1), 1000);
  }
}

TEST(GrayWriteBack, AutoGainCountsAndNeutralGains) {
  FilterBlock filters{};
  for (int i = 0; i < 4; ++i) filters[kGrayGainR + i] = 128, filters[kGrayOffsetR + i] = 20;
  GrayParams p = MakeGrayParams(filters, 2, 8);
  EXPECT_EQ(p.mode, 2);
  EXPECT_EQ(p.offsets[kGrayB], 20);
  // All gains 128: the gain and offset step is skipped, offsets included.
  EXPECT_TRUE(GrayGainsNeutral(p));
  p.gains[kGrayG2] = 129;
  EXPECT_FALSE(GrayGainsNeutral(p));
  StoreGrayParams(filters, p);
  EXPECT_EQ(filters[kGrayGainG2], 129);

  filters[kGrayAutoGain] = 1;
  ASSERT_TRUE(GrayAutoGainPending(filters));
  ConsumeGrayAutoGain(filters);
  EXPECT_FALSE(GrayAutoGainPending(filters));

  filters[kGrayAutoGain] = -1;
  ConsumeGrayAutoGain(filters);
  EXPECT_EQ(filters[kGrayAutoGain], -2);
  filters[kGrayAutoGain] = std::numeric_limits<int32_t>::min();
  ConsumeGrayAutoGain(filters);
  EXPECT_TRUE(GrayAutoGainPending(filters));
  EXPECT_EQ(filters[kGrayAutoGain], std::numeric_limits<int32_t>::min());
}

TEST(Luma24To8, WeightsAndFourByteSource) {
  KernelTestImage colour(3, 1, 4);
  const uint8_t pixels[3][3] = {{0, 0, 255}, {0, 255, 0}, {255, 255, 255}};  // blue, green, red
  for (int x = 0; x < 3; ++x)
    for (int c = 0; c < 3; ++c) colour.SetByte(x, 0, c, pixels[x][c]);
  KernelTestImage gray(3, 1, 1);
  ASSERT_EQ(test::RunKernel(Luma24To8, gray, colour), 1);
  EXPECT_EQ(gray.Byte(0, 0), 76);   // 30 * 255 / 100
  EXPECT_EQ(gray.Byte(1, 0), 150);  // 59 * 255 / 100
  EXPECT_EQ(gray.Byte(2, 0), 255);
}

}  // namespace
}  // namespace quorel
