// The transfer engine under concurrency (run under ThreadSanitizer): a
// consumer converting frames while the ring keeps turning, and while the
// controlling thread starts and stops the transfer over and over. Every
// converted frame is checked whole against the virtual camera's counter
// scene, so a slot rewritten during its conversion shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/PacketLayer.h"
#include "device/TransferEngine.h"
#include "device/sim/SimFrameGenerator.h"
#include "tests/fakes/SimFrameBackend.h"

namespace quorel {
namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 64;

class TransferConcurrencyTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    sim::SimFrameSourceOptions options;
    options.scene.kind = sim::SceneKind::kCounter;
    backend_ = std::make_shared<test::SimFrameBackend>(options);
    previous_ = SetDriverBackendOverride(backend_);
    depth16_ = GetParam();
    backend_->sensor().SetWindow(0, 0, kWidth, kHeight, 0);
    backend_->sensor().SetDepth16(depth16_);
    frameBytes_ = sim::ProgrammedTransferBytes(backend_->sensor());
    slotBytes_ = 2 * sim::ProgrammedTransferSamples(backend_->sensor());
    storage_.assign(4, std::vector<uint8_t>(slotBytes_, 0));
    for (auto &slot : storage_) slots_.push_back(slot.data());
  }
  void TearDown() override { SetDriverBackendOverride(previous_); }

  // The window copy of the device library for this geometry (packed rows);
  // `slowUs` makes the consumer slow, so that the ring turns during a copy.
  TransferEngine::CopyWindowFn CopyWindow(int slowUs) const {
    const size_t bytes = static_cast<size_t>(kWidth) * kHeight * (depth16_ ? 2 : 1);
    return [bytes, slowUs](uint8_t *dest, const uint8_t *raw) {
      const size_t half = bytes / 2;
      std::memcpy(dest, raw, half);
      if (slowUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(slowUs));
      std::memcpy(dest + half, raw + half, bytes - half);
      return 0;
    };
  }

  // Empty when the converted frame is one whole counter-scene frame, else
  // where it is not.
  std::string CheckWhole(const std::vector<uint8_t> &frame, uint32_t *number) const {
    auto sample = [&](int x, int y) {
      const size_t i = static_cast<size_t>(y) * kWidth + static_cast<size_t>(x);
      return depth16_ ? frame[2 * i] | frame[2 * i + 1] << 8 : frame[i];
    };
    *number = 0;
    for (int i = 0; i < 4; ++i) *number |= static_cast<uint32_t>(sample(i, 0)) << (8 * i);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        if (sample(x, y) != sim::SimFrameGenerator::CounterSample(*number, x, y, depth16_)) {
          return "frame " + std::to_string(*number) + " differs at " + std::to_string(x) + "," + std::to_string(y);
        }
      }
    }
    return {};
  }

  // Converts frames until `stop`, counting the frames checked in *checked.
  void Consume(TransferEngine &engine, const std::atomic<bool> &stop, bool requireIncreasing,
               std::atomic<int> *checked) {
    std::vector<uint8_t> dest(static_cast<size_t>(kWidth) * kHeight * 2);
    uint32_t last = 0;
    bool any = false;
    while (!stop.load()) {
      const int r = engine.WaitNewestFrame();
      if (r != 3) {
        if (r == 0) std::this_thread::yield();
        continue;
      }
      if (engine.ConvertNewest(dest.data()) != 0) continue;
      uint32_t number = 0;
      const std::string fault = CheckWhole(dest, &number);
      EXPECT_TRUE(fault.empty()) << fault;
      if (!fault.empty()) return;
      if (requireIncreasing && any) {
        EXPECT_GT(number, last) << "an older frame was handed out after a newer one";
      }
      last = number;
      any = true;
      ++*checked;
    }
  }

  std::shared_ptr<test::SimFrameBackend> backend_;
  std::shared_ptr<DriverBackend> previous_;
  bool depth16_ = false;
  size_t frameBytes_ = 0;
  size_t slotBytes_ = 0;
  std::vector<std::vector<uint8_t>> storage_;
  std::vector<uint8_t *> slots_;
};

TEST_P(TransferConcurrencyTest, SlowConsumerNeverSeesATornFrame) {
  TransferEngine engine(nullptr, CopyWindow(300));
  ASSERT_EQ(engine.StartTransfer(test::SimFrameBackend::kPath, slots_, slotBytes_, frameBytes_, false), 0);
  std::atomic<bool> stop{false};
  std::atomic<int> checked{0};
  std::thread consumer([&] { Consume(engine, stop, true, &checked); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (checked < 100 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  stop = true;
  consumer.join();
  EXPECT_EQ(engine.StopTransfer(), 0);
  EXPECT_GE(checked, 100);
  // The thread outran the consumer, so frames were skipped, not queued.
  EXPECT_LT(static_cast<uint64_t>(checked), engine.FramesPublished());
}

TEST_P(TransferConcurrencyTest, StartStopManyTimesWhileConverting) {
  TransferEngine engine(nullptr, CopyWindow(0));
  std::atomic<bool> stop{false};
  std::atomic<int> checked{0};
  std::thread consumer([&] { Consume(engine, stop, false, &checked); });
  for (int run = 0; run < 500; ++run) {
    ASSERT_EQ(engine.StartTransfer(test::SimFrameBackend::kPath, slots_, slotBytes_, frameBytes_, false), 0)
        << "run " << run;
    if (run % 50 == 0) {
      // Now and then let a run go on long enough for frames to be taken.
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
      while (engine.FramesPublished() < 8 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
    ASSERT_EQ(engine.StopTransfer(), 0) << "run " << run;
  }
  stop = true;
  consumer.join();
  EXPECT_GT(checked, 0);
}

INSTANTIATE_TEST_SUITE_P(Depths, TransferConcurrencyTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &param) { return param.param ? "16bit" : "8bit"; });

}  // namespace
}  // namespace quorel
