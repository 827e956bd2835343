// Reference figure for every kernel benchmark: a plain copy of one full frame
// at each output depth. Kernel goals are stated as ratios to these.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

void BM_FrameCopy(benchmark::State &state) {
  const size_t bytes = static_cast<size_t>(kWidth) * kHeight * static_cast<size_t>(state.range(0));
  std::vector<unsigned char> src(bytes, 1), dst(bytes);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_FrameCopy)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
