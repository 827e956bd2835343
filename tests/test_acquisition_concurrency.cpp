// Streaming under stress, run under ThreadSanitizer: every colour mode at
// fps=max while another thread changes filter values and copies the image
// out, plus the failures a stream can meet (a stall, an unplugged camera).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "QuorelStream.h"
#include "support/TestEnvironment.h"

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 192;

// QUOREL_SOAK_SECONDS lengthens the soak beyond the short CI run.
int SoakMilliseconds() {
  const char *seconds = std::getenv("QUOREL_SOAK_SECONDS");
  return seconds != nullptr ? std::atoi(seconds) * 1000 : 400;
}

// Each mode streams for the soak time and, on a loaded machine, on until it
// has delivered a few frames; the deadline only ends a stream that is stuck.
constexpr int kFramesPerMode = 3;
constexpr auto kStuckAfter = std::chrono::seconds(120);

int ImageBytes(int bits) {
  return ((kWidth * (bits / 8) + 3) & ~3) * kHeight;
}

class StreamStress : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart;noise=2"), 1);
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(nullptr);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, kWidth, 2616, 0, kHeight), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, 0), 1);
  }
  void TearDown() override {
    Quorel_Release(handle_);
    QuorelHost_DestroyWindow(frames_);
  }
  HWND frames_ = nullptr;
  int handle_ = 0;
};

TEST_F(StreamStress, EveryColourModeWhileFiltersChangeAndImagesAreCopied) {
  for (int bits : {8, 16, 24, 32, 48, 64}) {
    ASSERT_EQ(Quorel_SetColorMode(handle_, bits), 1);
    std::vector<unsigned char> buffer(ImageBytes(bits));
    ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
    std::atomic<bool> stop{false};
    std::thread meddler([&] {
      std::vector<unsigned char> copy(ImageBytes(bits));
      for (int i = 0; !stop.load(); ++i) {
        Quorel_SetBrightness(handle_, (i % 21) - 10);
        Quorel_SetGamma(handle_, 80 + i % 40);
        Quorel_SetSharpness(handle_, i % 3);
        Quorel_SetHue(handle_, (i % 3) * 10);
        Quorel_SetBayerGainAuto(handle_, i & 1);
        Quorel_SetGrayMode(handle_, i % 3);
        Quorel_SetGlobalGain(handle_, 20 + i % 20);
        EXPECT_EQ(Quorel_GetImage(handle_, copy.data(), static_cast<int>(copy.size()), i & 1), 1);
      }
    });
    int delivered = 0;
    const auto start = std::chrono::steady_clock::now();
    const auto soakEnd = start + std::chrono::milliseconds(SoakMilliseconds());
    QuorelHostMsg msg{};
    for (auto now = start; now < soakEnd || (delivered < kFramesPerMode && now < start + kStuckAfter);
         now = std::chrono::steady_clock::now()) {
      if (QuorelHost_WaitMessage(frames_, &msg, 100) != 1) continue;
      ASSERT_EQ(msg.message, QUOREL_WM_FRAME);
      // The record itself is rewritten by the next frame while this thread
      // would read it; its fields are checked by the single-threaded tests.
      ASSERT_NE(msg.wParam, 0U) << "frame failure " << msg.lParam;
      ++delivered;
    }
    stop.store(true);
    meddler.join();
    EXPECT_EQ(Quorel_StopPreview(handle_), 1);
    // Messages posted before the stop belong to this mode.
    while (QuorelHost_PeekMessage(frames_, &msg) == 1) {
    }
    EXPECT_GE(delivered, kFramesPerMode) << bits;
    int code;
    while ((code = Quorel_GetLastError(handle_)) != 0) ADD_FAILURE() << "error " << code << " at " << bits;
  }
}

TEST_F(StreamStress, StalledTransferEndsThePreviewWithCode13) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> buffer(ImageBytes(8));
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_WaitMessage(frames_, &msg, 30000), 1);
  // Twice the 6 s frame wait, so that the worker gives up first however
  // late a loaded machine lets it start waiting (stopping waits for the
  // stalled read to come back).
  ASSERT_EQ(QuorelSim_InjectFault(0, "stall=12000"), 1);
  // The worker waits up to 6 s for a frame, then gives up.
  bool stopped = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!stopped && std::chrono::steady_clock::now() < end) {
    if (QuorelHost_WaitMessage(frames_, &msg, 500) == 1 && msg.wParam == 0) {
      EXPECT_EQ(msg.lParam, 13);
      stopped = true;
    }
  }
  EXPECT_TRUE(stopped);
  // The frame message goes out before the code is recorded; stopping joins
  // the worker, so the code is in the history afterwards.
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_EQ(Quorel_GetLastError(handle_), 13);
  // The stall is one frame wait that timed out, not a failed transfer.
  QuorelStreamStats stats{};
  stats.size = sizeof stats;
  ASSERT_EQ(QuorelStream_GetStatistics(handle_, &stats), 1);
  EXPECT_EQ(stats.timeouts, 1u);
  EXPECT_EQ(stats.failedTransfers + stats.shortFrames, 0u);
}

TEST_F(StreamStress, UnpluggedCameraEndsThePreview) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 1), 1);
  QuorelHostMsg msg{};
  ASSERT_EQ(QuorelHost_WaitMessage(frames_, &msg, 30000), 1);
  ASSERT_EQ(QuorelSim_SetPresent(0, 0), 1);
  bool stopped = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!stopped && std::chrono::steady_clock::now() < end) {
    if (QuorelHost_WaitMessage(frames_, &msg, 500) == 1 && msg.wParam == 0) stopped = msg.lParam == 13;
  }
  EXPECT_TRUE(stopped);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  ASSERT_EQ(QuorelSim_SetPresent(0, 1), 1);
  // Plugged in again, the camera streams again.
  ASSERT_EQ(Quorel_StartPreview(handle_), 1);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
}

}  // namespace
