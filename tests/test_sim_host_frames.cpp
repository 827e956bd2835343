// End to end through the device library and the virtual camera: the host
// programs the window (every sub-sampling and binning mode, both depths),
// captures and streams frames of the counter scene, and copies the window
// out with its own geometry; every converted frame must be whole, which
// holds only if the camera laid the frame out as the host expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/CQuorel470KXPLUSdk.h"
#include "device/SimDriverBackend.h"
#include "device/sim/SimFrameGenerator.h"

namespace quorel {
namespace {

// Empty when `frame` (packed rows of width x height) is one whole counter
// frame; else where it is not.
std::string CheckCounterFrame(const std::vector<uint8_t> &frame, int width, int height, bool depth16) {
  auto sample = [&](int x, int y) {
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    return depth16 ? frame[2 * i] | frame[2 * i + 1] << 8 : frame[i];
  };
  uint32_t number = 0;
  for (int i = 0; i < 4; ++i) number |= static_cast<uint32_t>(sample(i, 0)) << (8 * i);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (sample(x, y) != sim::SimFrameGenerator::CounterSample(number, x, y, depth16)) {
        return "frame " + std::to_string(number) + " differs at " + std::to_string(x) + "," + std::to_string(y);
      }
    }
  }
  return {};
}

class SimHostFramesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(SimDriverBackend::Instance()->Configure("scene=counter;fps=max", &error)) << error;
    SelectSimDriver(true);
  }
};

TEST_F(SimHostFramesTest, CapturedFramesMatchTheHostLayoutInEveryMode) {
  CQuorel470KXPLUSdk device;
  for (int depth16 : {0, 1}) {
    for (int mode : {0, 1, 2, 17, 18, 7}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + (depth16 ? " 16-bit" : " 8-bit"));
      device.SetSampleDepth(depth16);
      ASSERT_EQ(device.SetWindow(104, 52, 1000, 602, mode), 0);
      const int width = device.GetImageWidth(), height = device.GetImageHeight();
      std::vector<uint8_t> dest(static_cast<size_t>(width) * static_cast<size_t>(height) * (depth16 ? 2 : 1));
      ASSERT_EQ(device.CaptureFrame(), 0);
      ASSERT_EQ(device.ConvertCaptured(dest.data()), 0);
      const std::string fault = CheckCounterFrame(dest, width, height, depth16 != 0);
      EXPECT_TRUE(fault.empty()) << fault;
    }
  }
  device.ReleaseCaptureHandle();
}

TEST_F(SimHostFramesTest, StreamedFramesAreWholeAndNewest) {
  CQuorel470KXPLUSdk device;
  device.SetSampleDepth(1);
  ASSERT_EQ(device.SetWindow(0, 0, 3488, 2616, 1), 0);
  const int width = device.GetImageWidth(), height = device.GetImageHeight();
  std::vector<uint8_t> dest(static_cast<size_t>(width) * static_cast<size_t>(height) * 2);
  ASSERT_EQ(device.StartTransfer(), 0);
  int converted = 0;
  uint32_t last = 0;
  for (int attempt = 0; attempt < 200 && converted < 5; ++attempt) {
    const int r = device.WaitNewestFrame();
    ASSERT_NE(r, 1);
    if (r != 3) continue;
    ASSERT_EQ(device.ConvertNewest(dest.data()), 0);
    const std::string fault = CheckCounterFrame(dest, width, height, true);
    ASSERT_TRUE(fault.empty()) << fault;
    const uint32_t number = dest[0] | dest[2] << 8 | dest[4] << 16 | static_cast<uint32_t>(dest[6]) << 24;
    if (converted > 0) {
      EXPECT_GT(number, last);
    }
    last = number;
    ++converted;
  }
  EXPECT_EQ(converted, 5);
  EXPECT_EQ(device.StopTransfer(), 0);
}

}  // namespace
}  // namespace quorel
