// Frame metadata and statistics read from several threads while acquisition
// runs, stops and restarts (run under ThreadSanitizer): every record read is
// whole, sequence numbers never run backwards within a run, and resets race
// the frame path harmlessly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

TEST(StreamConcurrency, MetadataAndStatisticsReadWhileFramesArrive) {
  quorel::test::UseFreshRegistry();
  ASSERT_EQ(QuorelSim_Enable("units=0;fps=max"), 1);
  HWND frames = QuorelHost_CreateMessageWindow();
  const int handle = Quorel_Initialize(nullptr);
  ASSERT_NE(handle, 0);
  ASSERT_EQ(Quorel_SetCaptureWindowEx(handle, 3488, 0, kWidth, 2616, 0, kHeight), 1);
  ASSERT_EQ(Quorel_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0), 1);
  ASSERT_EQ(Quorel_SetColorMode(handle, 24), 1);
  ASSERT_EQ(Quorel_SetWaitTime(handle, 0), 1);
  const int bytes = ((kWidth * 3 + 3) & ~3) * kHeight;
  std::vector<unsigned char> buffer(static_cast<size_t>(bytes));

  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<uint64_t> reads{0};
  auto reader = [&] {
    while (!stop.load()) {
      QuorelFrameMeta meta{};
      meta.size = sizeof meta;
      if (QuorelStream_GetFrameMeta(handle, &meta) == 1 && meta.sequence != 0) {
        // Fields of one frame: the size and depth of this run's frames.
        if (meta.width != kWidth || meta.height != kHeight || meta.bitsPerPixel != 24 || meta.timestampNs == 0) ++torn;
      }
      QuorelStreamStats stats{};
      stats.size = sizeof stats;
      QuorelStream_GetStatistics(handle, &stats);
      if (stats.currentRate < 0 || stats.meanRate < 0) ++torn;
      ++reads;
    }
  };
  std::thread readerA(reader);
  std::thread readerB(reader);
  std::thread resetter([&] {
    while (!stop.load()) {
      QuorelStream_ResetStatistics(handle);
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });

  for (int run = 0; run < 3; ++run) {
    ASSERT_EQ(Quorel_CallBackPreview(handle, frames, buffer.data(), bytes, 1), 1);
    uint64_t lastSequence = 0;
    uint64_t lastTimestamp = 0;
    int delivered = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    QuorelHostMsg msg{};
    while (delivered < 10 && std::chrono::steady_clock::now() < deadline) {
      if (QuorelHost_WaitMessage(frames, &msg, 100) != 1 || msg.wParam == 0) continue;
      ++delivered;
      QuorelFrameMeta meta{};
      meta.size = sizeof meta;
      ASSERT_EQ(QuorelStream_GetFrameMeta(handle, &meta), 1);
      EXPECT_GE(meta.sequence, lastSequence);
      if (meta.sequence > lastSequence) {
        EXPECT_GT(meta.timestampNs, lastTimestamp);
      }
      lastSequence = meta.sequence;
      lastTimestamp = meta.timestampNs;
      EXPECT_EQ(Quorel_GetImage(handle, buffer.data(), bytes, delivered & 1), 1);
    }
    EXPECT_EQ(delivered, 10) << "run " << run;
    EXPECT_EQ(Quorel_StopPreview(handle), 1);
    while (QuorelHost_PeekMessage(frames, &msg) == 1) {
    }
  }
  stop.store(true);
  readerA.join();
  readerB.join();
  resetter.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(reads.load(), 0u);
  EXPECT_EQ(Quorel_GetLastError(handle), 0);
  Quorel_Release(handle);
  QuorelHost_DestroyWindow(frames);
}

}  // namespace
