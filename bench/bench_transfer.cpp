// Frames per second the transfer engine delivers to a consumer at the full
// 3488 x 2616 window, 8- and 16-bit, with the virtual camera's frame side
// running free (fps=max, chart scene), and the transfer thread's CPU time
// per frame. The consumer copies each frame's window out, as the preview
// worker does; BM_WindowCopyAlone is that copy with nothing else running.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "device/PacketLayer.h"
#include "device/TransferEngine.h"
#include "tests/fakes/SimFrameBackend.h"

namespace {

using quorel::TransferEngine;

void BM_TransferToConsumer(benchmark::State &state) {
  const bool depth16 = state.range(0) != 0;
  quorel::sim::SimFrameSourceOptions options;  // chart scene, fps=max
  auto backend = std::make_shared<quorel::test::SimFrameBackend>(options);
  auto previous = quorel::SetDriverBackendOverride(backend);
  backend->sensor().SetWindow(0, 0, 3488, 2616, 0);
  backend->sensor().SetDepth16(depth16);
  const size_t frameBytes = quorel::sim::ProgrammedTransferBytes(backend->sensor());
  const size_t slotBytes = 2 * quorel::sim::ProgrammedTransferSamples(backend->sensor());
  const size_t imageBytes = size_t{3488} * 2616 * (depth16 ? 2 : 1);
  std::vector<std::vector<uint8_t>> storage(4, std::vector<uint8_t>(slotBytes));
  std::vector<uint8_t *> slots;
  for (auto &slot : storage) slots.push_back(slot.data());
  std::vector<uint8_t> dest(imageBytes);
  TransferEngine engine(nullptr, [imageBytes](uint8_t *d, const uint8_t *raw) {
    std::memcpy(d, raw, imageBytes);
    return 0;
  });

  // The first frame of a setting is rendered; later ones are copies. Render
  // it outside the measurement.
  if (engine.StartTransfer(quorel::test::SimFrameBackend::kPath, slots, slotBytes, frameBytes, true) != 0) {
    state.SkipWithError("transfer did not start");
    return;
  }
  while (engine.FramesPublished() < 2) {
  }
  engine.StopTransfer();

  engine.StartTransfer(quorel::test::SimFrameBackend::kPath, slots, slotBytes, frameBytes, true);
  for (auto _ : state) {
    int r;
    while ((r = engine.WaitNewestFrame()) != 3) {
      if (r == 1 || r == 0) {
        state.SkipWithError("transfer failed");
        break;
      }
    }
    engine.ConvertNewest(dest.data());
    benchmark::DoNotOptimize(dest.data());
  }
  const uint64_t published = engine.FramesPublished();
  const uint64_t cpuNs = engine.ThreadCpuNanoseconds();
  engine.StopTransfer();
  quorel::SetDriverBackendOverride(previous);

  state.counters["consumed_fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["produced_fps"] = benchmark::Counter(static_cast<double>(published), benchmark::Counter::kIsRate);
  state.counters["thread_cpu_ms_per_frame"] =
      published > 0 ? static_cast<double>(cpuNs) / 1e6 / static_cast<double>(published) : 0.0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(imageBytes));
}
// The same window copy without any transfer running, as the baseline the
// consumer's figures are read against in one run.
void BM_WindowCopyAlone(benchmark::State &state) {
  const size_t bytes = size_t{3488} * 2616 * static_cast<size_t>(state.range(0) + 1);
  std::vector<uint8_t> src(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WindowCopyAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferToConsumer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
