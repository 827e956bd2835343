// Frame metadata and stream statistics through the public API on the virtual
// camera: each fault it can inject shows up in its own counter, exactly, and
// the records are checked against their size field.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "QuorelStream.h"
#include "support/TestEnvironment.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 256;
constexpr int kHeight = 192;
constexpr uint64_t kRingSlots = 4;

QuorelStreamStats Stats(int handle) {
  QuorelStreamStats stats{};
  stats.size = sizeof stats;
  EXPECT_EQ(QuorelStream_GetStatistics(handle, &stats), 1);
  return stats;
}

QuorelFrameMeta Meta(int handle) {
  QuorelFrameMeta meta{};
  meta.size = sizeof meta;
  EXPECT_EQ(QuorelStream_GetFrameMeta(handle, &meta), 1);
  return meta;
}

// Polls until done() holds; false after a generous deadline.
bool WaitFor(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(20)) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class StreamStatistics : public ::testing::Test {
 protected:
  void Open(const char *config) {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable(config), 1);
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(nullptr);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, kWidth, 2616, 0, kHeight), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
    ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, 0), 1);
  }
  void TearDown() override {
    if (handle_ != 0) Quorel_Release(handle_);
    if (frames_ != nullptr) QuorelHost_DestroyWindow(frames_);
  }
  // Counts the frame messages waiting: delivered frames, and failures by code.
  void Drain() {
    QuorelHostMsg msg{};
    while (QuorelHost_PeekMessage(frames_, &msg) == 1) {
      if (msg.message != QUOREL_WM_FRAME) continue;
      if (msg.wParam != 0) {
        ++announced_;
      } else {
        ++failures_[msg.lParam];
      }
    }
  }

  HWND frames_ = nullptr;
  int handle_ = 0;
  uint64_t announced_ = 0;
  std::map<intptr_t, uint64_t> failures_;
};

TEST_F(StreamStatistics, RecordsAreCheckedAgainstTheirSize) {
  Open("units=0;fps=max");
  QuorelFrameMeta meta{};
  meta.size = sizeof meta - 1;
  EXPECT_EQ(QuorelStream_GetFrameMeta(handle_, &meta), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), QUOREL_ERR_ARGUMENT);
  EXPECT_EQ(QuorelStream_GetFrameMeta(handle_, nullptr), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), QUOREL_ERR_ARGUMENT);
  EXPECT_EQ(QuorelStream_GetStatistics(handle_, nullptr), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), QUOREL_ERR_ARGUMENT);
  QuorelStreamStats stats{};
  stats.size = 0;
  EXPECT_EQ(QuorelStream_GetStatistics(handle_, &stats), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), QUOREL_ERR_ARGUMENT);
  // Unknown handles fail and record nothing anywhere.
  stats.size = sizeof stats;
  EXPECT_EQ(QuorelStream_GetStatistics(handle_ + 1000, &stats), 0);
  EXPECT_EQ(QuorelStream_GetFrameMeta(0, &meta), 0);
  EXPECT_EQ(QuorelStream_ResetStatistics(-5), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 0);

  // A record of a later, longer version: the known part is filled, the
  // caller's size kept and nothing beyond the known part written.
  struct Longer {
    QuorelFrameMeta meta;
    unsigned char tail[16];
  } longer;
  std::memset(&longer, 0xA5, sizeof longer);
  longer.meta.size = sizeof longer;
  ASSERT_EQ(Quorel_SnapShot(handle_, nullptr, 0, 1), 1);
  ASSERT_EQ(QuorelStream_GetFrameMeta(handle_, &longer.meta), 1);
  EXPECT_EQ(longer.meta.size, sizeof longer);
  EXPECT_EQ(longer.meta.sequence, 1u);
  EXPECT_EQ(longer.meta.width, kWidth);
  EXPECT_EQ(longer.meta.height, kHeight);
  EXPECT_EQ(longer.meta.bitsPerPixel, 8);
  EXPECT_EQ(longer.meta.reserved, 0);
  for (unsigned char byte : longer.tail) EXPECT_EQ(byte, 0xA5);
}

// The worker takes the newest frame every 50 ms while the camera runs free:
// every completed frame is delivered, dropped, or still in the ring.
TEST_F(StreamStatistics, ASlowConsumerDropsFramesAndTheCountsAddUp) {
  Open("units=0;fps=max");
  ASSERT_EQ(Quorel_SetWaitTime(handle_, 50), 1);
  std::vector<unsigned char> buffer(static_cast<size_t>(kWidth) * kHeight);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  std::set<uint64_t> seen;
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    seen.insert(Meta(handle_).sequence);
    return announced_ >= 5;
  }));
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
  Drain();
  const QuorelStreamStats stats = Stats(handle_);
  EXPECT_EQ(stats.delivered, announced_);
  EXPECT_GT(stats.dropped, 0u);
  EXPECT_GE(stats.completed, stats.delivered + stats.dropped);
  EXPECT_LE(stats.completed, stats.delivered + stats.dropped + kRingSlots);
  EXPECT_EQ(stats.shortFrames + stats.failedTransfers + stats.timeouts + stats.copyFailures, 0u);
  // Sequence numbers count completed frames, so the delivered ones leave gaps.
  EXPECT_GT(*seen.rbegin(), *std::next(seen.begin()) + 1);
  EXPECT_LE(Meta(handle_).sequence, stats.completed);

  // A reset starts the counters afresh; the next start does too.
  ASSERT_EQ(QuorelStream_ResetStatistics(handle_), 1);
  QuorelStreamStats reset = Stats(handle_);
  EXPECT_EQ(reset.completed + reset.delivered + reset.dropped, 0u);
  EXPECT_EQ(reset.meanRate, 0.0);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  announced_ = 0;
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    return announced_ >= 2;
  }));
  // Numbering starts again with the acquisition, as the counters do.
  const uint64_t sequence = Meta(handle_).sequence;
  const QuorelStreamStats running = Stats(handle_);
  EXPECT_LE(sequence, running.completed);
  EXPECT_GT(running.meanRate, 0.0);
  EXPECT_GT(running.currentRate, 0.0);
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
}

// A short frame is read again into the same slot: it takes no sequence
// number, and the frame that replaces it is marked.
TEST_F(StreamStatistics, AShortFrameIsCountedAndMarksTheFrameReadAgain) {
  Open("units=0;fps=5");
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 1), 1);
  ASSERT_TRUE(WaitFor([&] { return Meta(handle_).sequence >= 1; }));
  ASSERT_EQ(QuorelSim_InjectFault(0, "short-frame"), 1);
  // At five frames a second every frame is seen here.
  std::vector<QuorelFrameMeta> metas;
  ASSERT_TRUE(WaitFor([&] {
    const QuorelFrameMeta meta = Meta(handle_);
    if (metas.empty() || metas.back().sequence != meta.sequence) metas.push_back(meta);
    return Stats(handle_).shortFrames == 1 && metas.size() >= 3;
  }));
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
  int marked = 0;
  for (size_t i = 1; i < metas.size(); ++i) {
    EXPECT_EQ(metas[i].sequence, metas[i - 1].sequence + 1);
    EXPECT_GT(metas[i].timestampNs, metas[i - 1].timestampNs);
    marked += metas[i].status == QUOREL_FRAME_SHORT ? 1 : 0;
  }
  EXPECT_EQ(marked, 1);
  const QuorelStreamStats stats = Stats(handle_);
  EXPECT_EQ(stats.shortFrames, 1u);
  EXPECT_EQ(stats.failedTransfers + stats.timeouts + stats.copyFailures, 0u);
  EXPECT_EQ(Quorel_GetLastError(handle_), 0) << "the allowance hides the short frame from the application";
}

TEST_F(StreamStatistics, AFailedFrameEndsTheRunAndIsCountedOnce) {
  Open("units=0;fps=max");
  std::vector<unsigned char> buffer(static_cast<size_t>(kWidth) * kHeight);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    return announced_ >= 2;
  }));
  ASSERT_EQ(QuorelSim_InjectFault(0, "fail-frame"), 1);
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    return failures_[QUOREL_ERR_TRANSFER_STOPPED] == 1;
  }));
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
  Drain();
  const QuorelStreamStats stats = Stats(handle_);
  EXPECT_EQ(stats.failedTransfers, 1u);
  EXPECT_EQ(stats.shortFrames + stats.timeouts + stats.copyFailures, 0u);
  EXPECT_EQ(stats.delivered, announced_);
  EXPECT_GE(stats.completed, stats.delivered + stats.dropped);
  EXPECT_LE(stats.completed, stats.delivered + stats.dropped + kRingSlots);
  EXPECT_EQ(Quorel_GetLastError(handle_), QUOREL_ERR_TRANSFER_STOPPED);
}

TEST_F(StreamStatistics, CopiesIntoATooSmallBufferAreCountedNotDelivered) {
  Open("units=0;fps=max");
  std::vector<unsigned char> buffer(static_cast<size_t>(kWidth) * kHeight - 1);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    return failures_[QUOREL_ERR_MEMORY] >= 3;
  }));
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
  Drain();
  const QuorelStreamStats stats = Stats(handle_);
  EXPECT_EQ(stats.copyFailures, failures_[QUOREL_ERR_MEMORY]);
  EXPECT_EQ(stats.delivered, 0u);
  EXPECT_EQ(announced_, 0u);
  // The image was converted all the same: Quorel_GetImage copies it, and
  // the metadata describes it.
  EXPECT_GE(Meta(handle_).sequence, 1u);
}

// In trigger mode frames are read one at a time; a read that lasts the whole
// trigger time-out counts as a time-out, and the triggered frames are
// numbered from 1.
TEST_F(StreamStatistics, TriggerModeCountsItsFramesAndItsTimeOuts) {
  Open("units=0");
  ASSERT_EQ(Quorel_Trigger(handle_, frames_, nullptr, 0, 1), 1);
  ASSERT_TRUE(WaitFor([&] { return Stats(handle_).timeouts == 1; }));
  ASSERT_EQ(QuorelSim_Trigger(0), 1);
  ASSERT_TRUE(WaitFor([&] {
    Drain();
    return announced_ == 1;
  }));
  const QuorelFrameMeta meta = Meta(handle_);
  EXPECT_EQ(meta.sequence, 1u);
  EXPECT_EQ(meta.status, static_cast<uint32_t>(QUOREL_FRAME_COMPLETE));
  const QuorelStreamStats stats = Stats(handle_);
  EXPECT_EQ(stats.completed, 1u);
  EXPECT_EQ(stats.delivered, 1u);
  EXPECT_EQ(stats.timeouts, 1u);
  EXPECT_EQ(stats.failedTransfers + stats.dropped + stats.shortFrames, 0u);
  ASSERT_EQ(Quorel_StopPreview(handle_), 1);
}

}  // namespace
