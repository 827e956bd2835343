// Saves and recordings do not stall the stream: the frame lock is held only
// while the image (or the recording's converted frame) is copied, so frame
// messages keep arriving while a quality-100 JPEG is encoded and written,
// and while a recording writes its frames. No timing is asserted:
// each check waits for a count of frames with a deadline that only a stuck
// stream reaches.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "support/TestEnvironment.h"

namespace {

constexpr auto kStuckAfter = std::chrono::seconds(120);

class SaveWhileStreaming : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart;noise=2"), 1);
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(nullptr);
    ASSERT_NE(handle_, 0);
    // A quarter of the sensor each way: saves and frames both scale with it.
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, 872, 2616, 0, 654), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, 0), 1);
    ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
    ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 1), 1);
    // Saves and recordings start from a frame.
    Pump([this] { return delivered_.load() >= 1; });
    ASSERT_GE(delivered_.load(), 1);
    delivered_.store(0);
  }
  void TearDown() override {
    Quorel_StopPreview(handle_);
    Quorel_Release(handle_);
    QuorelHost_DestroyWindow(frames_);
  }

  // Reads frame messages until done() holds or the deadline passes, counting
  // them in delivered_.
  template <typename Done>
  void Pump(Done done) {
    QuorelHostMsg msg{};
    const auto deadline = std::chrono::steady_clock::now() + kStuckAfter;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
      if (QuorelHost_WaitMessage(frames_, &msg, 100) != 1) continue;
      ASSERT_EQ(msg.message, QUOREL_WM_FRAME);
      ASSERT_NE(msg.wParam, 0U) << "frame failure " << msg.lParam;
      delivered_.fetch_add(1);
    }
  }

  HWND frames_ = nullptr;
  int handle_ = 0;
  std::atomic<int> delivered_{0};
};

// Frames the stream delivered during one whole save call. While the lock was
// held for the encode, none could be (the worker waited for the lock), so
// only a stream that goes on during saves ever reaches the count.
TEST_F(SaveWhileStreaming, FramesArriveWhileAQuality100JpegIsSaved) {
  constexpr int kFramesDuringOneSave = 3;
  const std::string jpeg = quorel::test::ScratchPath("during.jpg");
  std::atomic<int> mostDuringOneSave{0};
  std::atomic<bool> stop{false};
  std::atomic<int> failedSaves{0};
  std::thread saver([&] {
    while (!stop.load()) {
      const int before = delivered_.load();
      if (Quorel_SaveImage(handle_, jpeg.c_str(), 2) != 1) failedSaves.fetch_add(1);
      const int during = delivered_.load() - before;
      if (during > mostDuringOneSave.load()) mostDuringOneSave.store(during);
    }
  });
  Pump([&] { return mostDuringOneSave.load() >= kFramesDuringOneSave; });
  stop.store(true);
  saver.join();
  EXPECT_GE(mostDuringOneSave.load(), kFramesDuringOneSave);
  EXPECT_EQ(failedSaves.load(), 0);
}

TEST_F(SaveWhileStreaming, FramesArriveWhileARecordingRuns) {
  constexpr int kFramesWhileRecording = 10;
  const std::string avi = quorel::test::ScratchPath("during.avi");
  ASSERT_EQ(Quorel_Record(handle_, avi.c_str(), 600000, 0), 1);
  // The recording's preview delivers to no window; give it this one again.
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 1), 1);
  Pump([&] { return delivered_.load() >= kFramesWhileRecording; });
  EXPECT_GE(delivered_.load(), kFramesWhileRecording);
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_EQ(Quorel_GetLastError(handle_), 0);
}

}  // namespace
