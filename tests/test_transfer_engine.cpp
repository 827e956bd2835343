// The frame transfer engine against a scripted device: ring stepping, the
// newest-frame hand-over, start/stop results, the short-frame allowance,
// failures, time-outs, and single capture (also against the virtual
// camera's trigger wait).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "device/PacketLayer.h"
#include "device/TransferEngine.h"
#include "platform/Clock.h"
#include "tests/fakes/ScriptedFrameBackend.h"
#include "tests/fakes/SimFrameBackend.h"

namespace quorel {
namespace {

using test::ScriptedFrameBackend;
using Outcome = ScriptedFrameBackend::Outcome;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrameBytes = 4096;

class TransferEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<ScriptedFrameBackend>();
    previous_ = SetDriverBackendOverride(backend_);
    storage_.assign(4, std::vector<uint8_t>(kFrameBytes, 0));
    for (auto &slot : storage_) slots_.push_back(slot.data());
  }
  void TearDown() override {
    backend_->SetFreeRunning(true);  // never leave a thread waiting on a read
    engine_.reset();
    SetDriverBackendOverride(previous_);
  }

  TransferEngine &Engine(int frameWaitMs = TransferEngine::kDefaultFrameWaitMs) {
    engine_ = std::make_unique<TransferEngine>(
        [this] { return ++prepares_, 0; },
        [](uint8_t *dest, const uint8_t *raw) { return std::memcpy(dest, raw, kFrameBytes), 0; }, frameWaitMs);
    return *engine_;
  }
  int Start(TransferEngine &engine, const char *path = ScriptedFrameBackend::kPath) {
    return engine.StartTransfer(path, slots_, kFrameBytes, kFrameBytes, false);
  }
  // Waits (at most 10 s) until the engine has published n frames in this run.
  static bool WaitPublished(const TransferEngine &engine, uint64_t n) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (engine.FramesPublished() < n) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  static bool WaitStopped(const TransferEngine &engine) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!engine.Stopped()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }
  int64_t SlotFrame(int i) const {
    return ScriptedFrameBackend::FrameIn(storage_[static_cast<size_t>(i)].data(), kFrameBytes);
  }

  std::shared_ptr<ScriptedFrameBackend> backend_;
  std::shared_ptr<DriverBackend> previous_;
  std::vector<std::vector<uint8_t>> storage_;
  std::vector<uint8_t *> slots_;
  std::atomic<int> prepares_{0};
  std::unique_ptr<TransferEngine> engine_;
};

TEST_F(TransferEngineTest, ThreadStepsOverTheSlotAtReadIndex) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine), 0);
  EXPECT_EQ(prepares_, 1);
  backend_->Release(1);
  ASSERT_TRUE(WaitPublished(engine, 1));
  ASSERT_EQ(engine.WaitNewestFrame(), 3);
  ASSERT_EQ(engine.ReadIndex(), 0);  // the consumer holds slot 0 (frame 1)
  const int expectedWrite[] = {2, 3, 1, 2, 3, 1};
  for (int i = 0; i < 6; ++i) {
    backend_->Release(1);
    ASSERT_TRUE(WaitPublished(engine, static_cast<uint64_t>(i) + 2));
    EXPECT_EQ(engine.WriteIndex(), expectedWrite[i]) << "after frame " << i + 2;
  }
  EXPECT_EQ(SlotFrame(0), 1);  // never refilled while held
  EXPECT_EQ(engine.ReadIndex(), 0);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, WaitReturnsTwoWhenAFrameArrivesThenThree) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine), 0);
  std::atomic<bool> released{false};
  std::atomic<int> result{-1};
  std::thread consumer([&] {
    result = engine.WaitNewestFrame();
    EXPECT_TRUE(released.load()) << "returned before any frame";
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  released = true;
  backend_->Release(1);
  consumer.join();
  EXPECT_EQ(result, 2);
  EXPECT_EQ(engine.WaitNewestFrame(), 3);
  EXPECT_EQ(engine.ReadIndex(), 0);
  std::vector<uint8_t> dest(kFrameBytes);
  EXPECT_EQ(engine.ConvertNewest(dest.data()), 0);
  EXPECT_EQ(ScriptedFrameBackend::FrameIn(dest.data(), kFrameBytes), 1);
  EXPECT_EQ(engine.ReadIndex(), 1);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, NewestOfThreeFramesIsTaken) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine), 0);
  backend_->Release(3);
  ASSERT_TRUE(WaitPublished(engine, 3));
  EXPECT_EQ(engine.WaitNewestFrame(), 3);
  EXPECT_EQ(engine.ReadIndex(), 2);
  std::vector<uint8_t> dest(kFrameBytes);
  ASSERT_EQ(engine.ConvertNewest(dest.data()), 0);
  EXPECT_EQ(ScriptedFrameBackend::FrameIn(dest.data(), kFrameBytes), 3);
  // Nothing newer: ReadIndex now names the slot being filled, which is not
  // handed out.
  EXPECT_EQ(engine.ConvertNewest(dest.data()), kSdkFrameFailed);
  EXPECT_EQ(engine.ConvertNewest(nullptr), kSdkNoDestination);
  EXPECT_EQ(engine.ReadIndex(), 3);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

// Sequence numbers, completion times and the drop count, frame by frame. The
// backend numbers every read, the short one included, so frame n of the
// backend is sequence n - 1 here.
TEST_F(TransferEngineTest, EveryFrameIsNumberedAndOverwrittenOnesAreCountedAsDropped) {
  TransferEngine &engine = Engine();
  std::vector<uint8_t> dest(kFrameBytes);
  RawFrameMeta meta;
  auto take = [&] {
    EXPECT_EQ(engine.WaitNewestFrame(), 3);
    EXPECT_EQ(engine.ConvertNewest(dest.data(), &meta), 0);
    EXPECT_EQ(ScriptedFrameBackend::FrameIn(dest.data(), kFrameBytes), static_cast<int64_t>(meta.sequence) + 1);
  };
  backend_->Script({Outcome::kShort});
  const uint64_t before = MonotonicNanoseconds();
  ASSERT_EQ(Start(engine), 0);
  backend_->Release(2);
  ASSERT_TRUE(WaitPublished(engine, 1));
  take();  // slot 0 (read again after the short transfer)
  EXPECT_EQ(meta.sequence, 1u);
  EXPECT_EQ(meta.status, RawFrameMeta::kAfterShort);
  EXPECT_GE(meta.timestampNs, before);
  EXPECT_LE(meta.timestampNs, MonotonicNanoseconds());
  const uint64_t first = meta.timestampNs;

  backend_->Release(3);  // sequences 2, 3, 4 into slots 1, 2, 3
  ASSERT_TRUE(WaitPublished(engine, 4));
  take();  // the newest: 2 and 3 stay untaken
  EXPECT_EQ(meta.sequence, 4u);
  EXPECT_EQ(meta.status, RawFrameMeta::kComplete);
  EXPECT_GT(meta.timestampNs, first);
  EXPECT_EQ(engine.Counters().dropped, 0u);

  backend_->Release(3);  // 5, 6, 7 into slots 0, 1, 2: 2 and 3 are overwritten
  ASSERT_TRUE(WaitPublished(engine, 7));
  take();
  EXPECT_EQ(meta.sequence, 7u);
  TransferCounters counters = engine.Counters();
  EXPECT_EQ(counters.completed, 7u);
  EXPECT_EQ(counters.dropped, 2u);
  EXPECT_EQ(counters.shortFrames, 1u);
  EXPECT_EQ(counters.failedTransfers, 0u);
  EXPECT_EQ(counters.timeouts, 0u);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);

  // A new run counts and numbers from the start again.
  backend_->SetFreeRunning(false);
  ASSERT_EQ(Start(engine), 0);
  counters = engine.Counters();
  EXPECT_EQ(counters.completed + counters.dropped + counters.shortFrames, 0u);
  backend_->Release(1);
  ASSERT_TRUE(WaitPublished(engine, 1));
  EXPECT_EQ(engine.WaitNewestFrame(), 3);
  EXPECT_EQ(engine.ConvertNewest(dest.data(), &meta), 0);
  EXPECT_EQ(meta.sequence, 1u);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

// The failed read that ends a run is published to keep the ring in step; its
// slot holds no frame and is never converted as one.
TEST_F(TransferEngineTest, FailedReadIsCountedAndItsSlotIsNeverHandedOn) {
  TransferEngine &engine = Engine();
  backend_->Script({Outcome::kFull, Outcome::kFail});
  ASSERT_EQ(Start(engine), 0);
  backend_->Release(2);
  ASSERT_TRUE(WaitStopped(engine));
  const TransferCounters counters = engine.Counters();
  EXPECT_EQ(counters.completed, 1u);
  EXPECT_EQ(counters.failedTransfers, 1u);
  std::vector<uint8_t> dest(kFrameBytes, 0xEE);
  RawFrameMeta meta;
  ASSERT_EQ(engine.ConvertNewest(dest.data(), &meta), 0);  // slot 0: the good frame
  EXPECT_EQ(meta.sequence, 1u);
  std::fill(dest.begin(), dest.end(), 0xEE);
  EXPECT_EQ(engine.ConvertNewest(dest.data(), &meta), kSdkFrameFailed);  // slot 1: the failed read
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_EQ(engine.StopTransfer(), kSdkFrameFailed);
}

TEST_F(TransferEngineTest, StartStopResults) {
  TransferEngine &engine = Engine();
  EXPECT_EQ(engine.StopTransfer(), 0);  // never started
  EXPECT_EQ(engine.WaitNewestFrame(), 0);
  std::vector<uint8_t> dest(kFrameBytes);
  EXPECT_EQ(engine.ConvertNewest(dest.data()), kSdkFrameFailed);  // no ring yet
  ASSERT_EQ(Start(engine), 0);
  EXPECT_EQ(Start(engine), kSdkTransferRunning);
  backend_->SetFreeRunning(true);
  ASSERT_TRUE(WaitPublished(engine, 5));
  EXPECT_EQ(engine.StopTransfer(), 0);
  EXPECT_TRUE(engine.Stopped());
  EXPECT_EQ(engine.WaitNewestFrame(), 0);
  // Exactly two requests per frame: the capture command with DIRECT_OUT on
  // pipe 0, then the frame with DIRECT_IN on pipe 2.
  const auto requests = backend_->Requests();
  ASSERT_GE(requests.size(), 10u);
  for (size_t i = 0; i + 1 < requests.size(); i += 2) {
    EXPECT_EQ(requests[i], std::make_pair(IOCTL_PIPE_DIRECT_OUT, static_cast<uint8_t>(kPipeCommand)));
    EXPECT_EQ(requests[i + 1], std::make_pair(IOCTL_PIPE_DIRECT_IN, static_cast<uint8_t>(kPipeData)));
  }
  // Bad arguments are refused without starting anything.
  std::vector<uint8_t *> one = {slots_[0]};
  EXPECT_EQ(engine.StartTransfer(ScriptedFrameBackend::kPath, one, kFrameBytes, kFrameBytes, false), kSdkRingTooSmall);
  std::vector<uint8_t *> withNull = {slots_[0], nullptr};
  EXPECT_EQ(engine.StartTransfer(ScriptedFrameBackend::kPath, withNull, kFrameBytes, kFrameBytes, false),
            kSdkRingTooSmall);
  EXPECT_EQ(engine.StartTransfer(ScriptedFrameBackend::kPath, slots_, kFrameBytes, kFrameBytes + 1, false),
            kSdkNoDestination);
  EXPECT_EQ(engine.StartTransfer(nullptr, slots_, kFrameBytes, kFrameBytes, false), kSdkNoDestination);
  EXPECT_TRUE(engine.Stopped());
  // Large frames are read with the large request.
  ASSERT_EQ(engine.StartTransfer(ScriptedFrameBackend::kPath, slots_, kFrameBytes, kFrameBytes, true), 0);
  ASSERT_TRUE(WaitPublished(engine, 2));
  EXPECT_EQ(engine.StopTransfer(), 0);
  EXPECT_EQ(backend_->Requests().back().first, IOCTL_PIPE_DIRECT_IN_LARGE);
}

TEST_F(TransferEngineTest, OneShortFrameIsRetriedASecondEndsTheRun) {
  TransferEngine &engine = Engine();
  backend_->Script({Outcome::kShort, Outcome::kFull, Outcome::kFull, Outcome::kShort});
  ASSERT_EQ(Start(engine), 0);
  backend_->Release(4);
  ASSERT_TRUE(WaitStopped(engine));
  EXPECT_TRUE(engine.Failed());
  EXPECT_EQ(engine.TransferStatus(), kSdkFrameFailed);
  // The short first frame was read again into slot 0; the failing one is
  // published like any other.
  EXPECT_EQ(engine.FramesPublished(), 3u);
  EXPECT_EQ(SlotFrame(0), 2);
  const TransferCounters counters = engine.Counters();
  EXPECT_EQ(counters.completed, 2u);
  EXPECT_EQ(counters.shortFrames, 2u);
  EXPECT_EQ(counters.failedTransfers, 0u);
  EXPECT_EQ(engine.WaitNewestFrame(), 1);
  EXPECT_EQ(engine.StopTransfer(), kSdkFrameFailed);
  EXPECT_FALSE(engine.Failed());
  EXPECT_EQ(engine.StopTransfer(), 0);

  // The allowance belongs to a run: the next run survives one short frame again.
  backend_->Script({Outcome::kShort});
  ASSERT_EQ(Start(engine), 0);
  backend_->Release(3);
  ASSERT_TRUE(WaitPublished(engine, 2));
  EXPECT_FALSE(engine.Failed());
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, FailedReadEndsTheRunAndWakesTheConsumer) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine), 0);
  std::atomic<int> result{-1};
  std::thread consumer([&] {
    while (true) {
      const int r = engine.WaitNewestFrame();
      if (r != 2) {
        result = r;
        return;
      }
    }
  });
  backend_->Script({Outcome::kFail});
  const auto start = Clock::now();
  backend_->Release(1);
  consumer.join();
  EXPECT_EQ(result, 1);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // not the whole frame wait
  EXPECT_EQ(engine.StopTransfer(), kSdkFrameFailed);
}

TEST_F(TransferEngineTest, UnopenableDeviceEndsWithStatusTenAndCanBeRestarted) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine, "/dev/absent"), 0);
  ASSERT_TRUE(WaitStopped(engine));
  EXPECT_EQ(engine.TransferStatus(), kSdkNoDevice);
  EXPECT_FALSE(engine.Failed());
  EXPECT_EQ(engine.WaitNewestFrame(), 0);
  EXPECT_EQ(engine.StopTransfer(), 0);
  // The ended thread was reaped: a new run starts and streams.
  ASSERT_EQ(Start(engine), 0);
  backend_->SetFreeRunning(true);
  ASSERT_TRUE(WaitPublished(engine, 2));
  EXPECT_EQ(engine.StopTransfer(), 0);
  EXPECT_EQ(engine.TransferStatus(), 0);
  // And without StopTransfer in between as well.
  ASSERT_EQ(Start(engine, "/dev/absent"), 0);
  ASSERT_TRUE(WaitStopped(engine));
  ASSERT_EQ(Start(engine), 0);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, NoFrameWithinTheFrameWaitReturnsOne) {
  TransferEngine &engine = Engine(100);
  ASSERT_EQ(Start(engine), 0);
  const auto start = Clock::now();
  EXPECT_EQ(engine.WaitNewestFrame(), 1);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(engine.Counters().timeouts, 1u);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, DefaultFrameWaitIsSixSeconds) {
  TransferEngine &engine = Engine();
  ASSERT_EQ(Start(engine), 0);
  const auto start = Clock::now();
  EXPECT_EQ(engine.WaitNewestFrame(), 1);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(6000));
  EXPECT_LT(waited, std::chrono::milliseconds(9000));
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.StopTransfer(), 0);
}

TEST_F(TransferEngineTest, DestructionStopsARunningTransfer) {
  TransferEngine &engine = Engine();
  backend_->SetFreeRunning(true);
  ASSERT_EQ(Start(engine), 0);
  ASSERT_TRUE(WaitPublished(engine, 3));
  engine_.reset();  // must not hang or leave the thread behind
  const int reads = backend_->Reads();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(backend_->Reads(), reads);
}

TEST_F(TransferEngineTest, SingleCaptureKeepsItsHandleUntilAFailure) {
  TransferEngine &engine = Engine();
  std::vector<uint8_t> raw(kFrameBytes), dest(kFrameBytes);
  backend_->SetFreeRunning(true);
  EXPECT_EQ(engine.CaptureFrame("/dev/absent", raw.data(), raw.size(), kFrameBytes, false), kSdkNoDevice);
  EXPECT_FALSE(engine.CaptureHandleOpen());
  ASSERT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, raw.data(), raw.size(), kFrameBytes, false), 0);
  ASSERT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, raw.data(), raw.size(), kFrameBytes, false), 0);
  EXPECT_EQ(backend_->Opens(), 1);
  EXPECT_EQ(prepares_, 2);
  EXPECT_TRUE(engine.CaptureHandleOpen());
  EXPECT_EQ(engine.ConvertCaptured(nullptr, raw.data()), kSdkNoDestination);
  EXPECT_EQ(engine.ConvertCaptured(dest.data(), raw.data()), 0);
  EXPECT_EQ(ScriptedFrameBackend::FrameIn(dest.data(), kFrameBytes), 2);
  // The capture command goes with DIRECT_IN outside streaming.
  EXPECT_EQ(backend_->Requests()[0], std::make_pair(IOCTL_PIPE_DIRECT_IN, static_cast<uint8_t>(kPipeCommand)));

  backend_->Script({Outcome::kShort});
  EXPECT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, raw.data(), raw.size(), kFrameBytes, false),
            kSdkFrameFailed);
  EXPECT_FALSE(engine.CaptureHandleOpen());
  ASSERT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, raw.data(), raw.size(), kFrameBytes, true), 0);
  EXPECT_EQ(backend_->Opens(), 2);
  EXPECT_EQ(backend_->Requests().back().first, IOCTL_PIPE_DIRECT_IN_LARGE);
  engine.ReleaseCaptureHandle();
  EXPECT_FALSE(engine.CaptureHandleOpen());
  // A frame larger than the buffer, or no buffer, is refused before any read.
  const int reads = backend_->Reads();
  EXPECT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, raw.data(), raw.size(), kFrameBytes + 1, false),
            kSdkNoDestination);
  EXPECT_EQ(engine.CaptureFrame(ScriptedFrameBackend::kPath, nullptr, 0, kFrameBytes, false), kSdkNoDestination);
  EXPECT_EQ(backend_->Reads(), reads);
}

TEST(TransferEngineSim, CaptureInTriggerModeTimesOutAsFailed) {
  sim::SimFrameSourceOptions options;
  options.scene.kind = sim::SceneKind::kCounter;
  auto backend = std::make_shared<test::SimFrameBackend>(options);
  auto previous = SetDriverBackendOverride(backend);
  backend->sensor().SetWindow(0, 0, 64, 48, 0);
  backend->sensor().SetPort(sim::kPortTrigger, sim::kTriggerOn);
  backend->SetTimeoutMs(100);
  const size_t bytes = sim::ProgrammedTransferBytes(backend->sensor());
  std::vector<uint8_t> raw(bytes);
  TransferEngine engine(nullptr, nullptr);
  const auto start = Clock::now();
  EXPECT_EQ(engine.CaptureFrame(test::SimFrameBackend::kPath, raw.data(), raw.size(), bytes, false), kSdkFrameFailed);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_FALSE(engine.CaptureHandleOpen());
  // With a pulse the triggered frame arrives.
  backend->source().Trigger();
  EXPECT_EQ(engine.CaptureFrame(test::SimFrameBackend::kPath, raw.data(), raw.size(), bytes, false), 0);
  EXPECT_EQ(raw[0], 0);  // counter scene: first frame delivered
  SetDriverBackendOverride(previous);
}

TEST(TransferEngineSim, StallBeyondTheFrameWaitTimesOutAndStreamingGoesOn) {
  sim::SimFrameSourceOptions options;
  options.scene.kind = sim::SceneKind::kCounter;
  auto backend = std::make_shared<test::SimFrameBackend>(options);
  auto previous = SetDriverBackendOverride(backend);
  backend->sensor().SetWindow(0, 0, 64, 48, 0);
  const size_t bytes = sim::ProgrammedTransferBytes(backend->sensor());
  std::vector<std::vector<uint8_t>> storage(4, std::vector<uint8_t>(bytes));
  std::vector<uint8_t *> slots;
  slots.reserve(storage.size());
  for (auto &slot : storage) slots.push_back(slot.data());
  std::vector<uint8_t> dest(bytes);
  TransferEngine engine(
      nullptr, [bytes](uint8_t *d, const uint8_t *raw) { return std::memcpy(d, raw, bytes), 0; }, 100);
  ASSERT_EQ(engine.StartTransfer(test::SimFrameBackend::kPath, slots, bytes, bytes, false), 0);
  while (engine.FramesPublished() < 2) std::this_thread::yield();
  ASSERT_TRUE(backend->source().InjectFault("stall=400"));
  auto takeUntil = [&](int wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    int r = -1;
    while (r != wanted && Clock::now() < deadline) {
      r = engine.WaitNewestFrame();
      if (r == 3) engine.ConvertNewest(dest.data());
    }
    return r;
  };
  EXPECT_EQ(takeUntil(1), 1);  // the stalled frame outlasts the 100 ms wait
  EXPECT_FALSE(engine.Failed());
  EXPECT_EQ(takeUntil(3), 3);  // then frames come again
  EXPECT_EQ(engine.StopTransfer(), 0);
  SetDriverBackendOverride(previous);
}

}  // namespace
}  // namespace quorel
