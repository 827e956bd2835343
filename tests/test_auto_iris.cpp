#include "image/AutoIris.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace quorel {
namespace {

class FakeDevice : public PipelineDevice {
 public:
  int gain = 20;
  int exposure = 1000;
  int exposureMax = 0x3FFF;
  std::vector<int> gainWrites, exposureWrites;

  int GetGlobalGain() override { return gain; }
  void SetGlobalGain(int g) override {
    gainWrites.push_back(g);
    gain = g;
  }
  int GetExposure() override { return exposure; }
  void SetExposure(int lines) override {
    exposureWrites.push_back(lines);
    exposure = lines;
  }
  int GetExposureMax() override { return exposureMax; }
};

// The five regions of a 100 x 100 image in bitmap coordinates.
constexpr KernelRect kRegions100[5] = {
    {10, 10, 20, 20}, {10, 80, 20, 90}, {45, 45, 55, 55}, {80, 10, 90, 20}, {80, 80, 90, 90}};

// A 100 x 100 mosaic at `background`, region i filled with levels[i] (on the
// 8-bit scale; 16-bit samples get it in their top 8 of 12 bits plus noise
// in the low 4 bits that the measurement must ignore).
DibImage Mosaic(int bits, int background, const std::vector<int> &levels) {
  DibImage image;
  EXPECT_EQ(image.Create(100, 100, bits), 1);
  auto put = [&](int x, int memoryRow, int level) {
    uint8_t *row = image.pixels() + static_cast<size_t>(memoryRow) * image.stride();
    if (bits == 8) {
      row[x] = static_cast<uint8_t>(level);
    } else {
      const uint16_t v = static_cast<uint16_t>((level << 4) | (x & 0xF));
      std::memcpy(row + 2 * x, &v, 2);
    }
  };
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) put(x, y, background);
  for (size_t i = 0; i < levels.size(); ++i) {
    const KernelRect &r = kRegions100[i];
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) put(x, 99 - y, levels[i]);  // bitmap row y is memory row 99 - y
  }
  return image;
}

struct Shown {
  std::vector<std::pair<int, int>> values;
  AnalogDialogShow hook() {
    return [this](int control, int value) { values.emplace_back(control, value); };
  }
};

TEST(AutoIrisRegions, FractionsOfTheImageTruncated) {
  const auto regions = AutoIrisRegions(100, 100);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(regions[i].left, kRegions100[i].left) << i;
    EXPECT_EQ(regions[i].top, kRegions100[i].top) << i;
    EXPECT_EQ(regions[i].right, kRegions100[i].right) << i;
    EXPECT_EQ(regions[i].bottom, kRegions100[i].bottom) << i;
  }
  const auto odd = AutoIrisRegions(37, 9);
  EXPECT_EQ(odd[2].left, 16);   // 0.45 x 37 = 16.65
  EXPECT_EQ(odd[2].right, 20);  // 0.55 x 37 = 20.35
  EXPECT_EQ(odd[1].top, 7);     // 0.8 x 9 = 7.2
  EXPECT_EQ(odd[0].top, 0);     // 0.1 x 9 = 0.9
}

TEST(AutoIrisMeasure, MeansOnTheEightBitScaleAndOnlyInsideTheRegion) {
  DibImage gray = Mosaic(8, 255, {17, 0, 0, 0, 0});
  EXPECT_EQ(AutoIrisMeanLevel(gray, kRegions100[0]), 17);
  DibImage wide = Mosaic(16, 255, {171, 0, 0, 0, 0});
  EXPECT_EQ(AutoIrisMeanLevel(wide, kRegions100[0]), 171);
  // Half the rectangle at 10 and half at 21: the mean 15.5 truncates.
  const KernelRect straddling{5, 10, 15, 20};
  DibImage half = Mosaic(8, 21, {10, 0, 0, 0, 0});
  EXPECT_EQ(AutoIrisMeanLevel(half, straddling), 15);
  const KernelRect empty{200, 200, 210, 210};
  EXPECT_EQ(AutoIrisMeanLevel(gray, empty), 0);
}

TEST(AutoIrisFactor, StepsPerRegionByLevel) {
  EXPECT_DOUBLE_EQ(AutoIrisFactor({120, 100, 160, 130, 150}), 1.0);
  EXPECT_NEAR(AutoIrisFactor({40, 40, 40, 40, 40}), 1.5, 1e-9);
  EXPECT_NEAR(AutoIrisFactor({230, 230, 230, 230, 130}), 0.4, 1e-9);
  EXPECT_NEAR(AutoIrisFactor({201, 200, 161, 99, 50}), 1.0 - 0.15 - 0.10 - 0.10 + 0.05 + 0.05, 1e-9);
  EXPECT_NEAR(AutoIrisFactor({49, 160, 100, 120, 120}), 1.1, 1e-9);
}

TEST(AutoIrisStep, MidLevelsChangeNothing) {
  for (int mode : {kAutoIrisExposure, kAutoIrisGain}) {
    FakeDevice device;
    AnalogBlock analog;
    Shown shown;
    // Bright and dark outside the regions must not count.
    AutoIris(Mosaic(8, 255, {120, 120, 120, 120, 120}), mode, device, analog, shown.hook());
    AutoIris(Mosaic(16, 0, {120, 120, 120, 120, 120}), mode, device, analog, shown.hook());
    EXPECT_TRUE(device.gainWrites.empty());
    EXPECT_TRUE(device.exposureWrites.empty());
    EXPECT_TRUE(shown.values.empty());
  }
}

TEST(AutoIrisStep, DarkFrameRaisesGainAndStoresItEverywhere) {
  FakeDevice device;
  device.gain = 20;
  AnalogBlock analog;
  Shown shown;
  AutoIris(Mosaic(8, 120, {40, 40, 40, 40, 40}), kAutoIrisGain, device, analog, shown.hook());
  ASSERT_EQ(device.gainWrites, std::vector<int>{30});
  EXPECT_TRUE(device.exposureWrites.empty());
  EXPECT_EQ(analog.globalGain, 30);
  EXPECT_EQ(analog.colorGainGreen1, 30);
  EXPECT_EQ(analog.colorGainRed, 30);
  EXPECT_EQ(analog.colorGainBlue, 30);
  EXPECT_EQ(analog.colorGainGreen2, 30);
  ASSERT_EQ(shown.values.size(), 1u);
  EXPECT_EQ(shown.values[0], std::make_pair(kAnalogControlGlobalGain, 30));
}

TEST(AutoIrisStep, LowGainStartsFromFourAndHighGainStopsAt127) {
  FakeDevice device;
  AnalogBlock analog;
  device.gain = 2;
  AutoIris(Mosaic(16, 120, {40, 40, 40, 40, 40}), kAutoIrisGain, device, analog, nullptr);
  device.gain = 100;
  AutoIris(Mosaic(16, 120, {40, 40, 40, 40, 40}), kAutoIrisGain, device, analog, nullptr);
  EXPECT_EQ(device.gainWrites, (std::vector<int>{6, 127}));
  EXPECT_EQ(analog.globalGain, 127);
}

TEST(AutoIrisStep, BrightFrameShortensExposure) {
  FakeDevice device;
  device.exposure = 1000;
  AnalogBlock analog;
  Shown shown;
  AutoIris(Mosaic(8, 120, {230, 230, 230, 230, 130}), kAutoIrisExposure, device, analog, shown.hook());
  ASSERT_EQ(device.exposureWrites.size(), 1u);
  // 1000 x 0.4, truncated: 400 unless the factor's rounding lands just below.
  EXPECT_GE(device.exposureWrites[0], 399);
  EXPECT_LE(device.exposureWrites[0], 400);
  EXPECT_TRUE(device.gainWrites.empty());
  EXPECT_EQ(analog.exposure, device.exposureWrites[0]);
  ASSERT_EQ(shown.values.size(), 1u);
  EXPECT_EQ(shown.values[0].first, kAnalogControlExposure);
}

TEST(AutoIrisStep, ExposureNeverReachesZeroNorPassesTheMaximum) {
  FakeDevice device;
  AnalogBlock analog;
  device.exposure = 1;
  AutoIris(Mosaic(8, 120, {230, 230, 230, 230, 130}), kAutoIrisExposure, device, analog, nullptr);
  device.exposure = 16000;
  AutoIris(Mosaic(8, 120, {40, 40, 40, 40, 40}), kAutoIrisExposure, device, analog, nullptr);
  // A 16-bit line count times 1.5 saturates rather than wrapping round.
  device.exposure = 60000;
  device.exposureMax = 65535;
  AutoIris(Mosaic(8, 120, {40, 40, 40, 40, 40}), kAutoIrisExposure, device, analog, nullptr);
  EXPECT_EQ(device.exposureWrites, (std::vector<int>{1, 0x3FFF, 65535}));
}

TEST(AutoIrisStep, OtherModesAndEmptyImagesLeaveTheSensorAlone) {
  FakeDevice device;
  AnalogBlock analog;
  const DibImage dark = Mosaic(8, 0, {0, 0, 0, 0, 0});
  for (int mode : {0, 3, -1, 255}) AutoIris(dark, mode, device, analog, nullptr);
  DibImage empty;
  AutoIris(empty, kAutoIrisGain, device, analog, nullptr);
  EXPECT_TRUE(device.gainWrites.empty());
  EXPECT_TRUE(device.exposureWrites.empty());
  EXPECT_EQ(analog.globalGain, 0);
}

}  // namespace
}  // namespace quorel
