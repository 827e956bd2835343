// Demosaicing and defect suppression on one full 3488 x 2616 frame, single
// thread: scalar against SIMD paths for every destination depth, the two
// steps together as the frame pipeline runs them, and, when OpenCV is
// present, its bilinear Bayer-to-BGR conversion of the same mosaic, so the
// goals (8-bit demosaic no slower than it, suppression plus demosaic within
// 1.5 times it) read as ratios from one run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bench/Yardstick.h"
#include "image/DefectSuppression.h"
#include "image/Demosaic.h"

#ifdef QUOREL_HAVE_OPENCV
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-enum-enum-conversion"
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#pragma GCC diagnostic pop
#endif

namespace {

using namespace quorel;

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

// A plausible raw frame: smooth shading with some texture, a little sensor
// noise and one defective pixel (hot or dead) in about 10,000. maxValue is
// 255 or 4095.
std::vector<uint16_t> SceneSamples(unsigned maxValue) {
  std::mt19937 rng(42);
  std::vector<uint16_t> samples(static_cast<size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const double shade = 0.5 + 0.3 * std::sin(x * 0.003) * std::cos(y * 0.004) + 0.1 * std::sin(x * 0.05 + y * 0.03);
      double v = shade * maxValue + (static_cast<int>(rng() % 9) - 4) * (maxValue / 255.0);
      const unsigned r = rng() % 10000;
      if (r == 0) v = maxValue;
      if (r == 1) v = 0;
      samples[static_cast<size_t>(y) * kWidth + x] = static_cast<uint16_t>(std::clamp(v, 0.0, double(maxValue)));
    }
  }
  return samples;
}

const std::vector<uint8_t> &Mosaic8() {
  static const std::vector<uint8_t> mosaic = [] {
    const std::vector<uint16_t> s = SceneSamples(255);
    return std::vector<uint8_t>(s.begin(), s.end());
  }();
  return mosaic;
}

const std::vector<uint16_t> &Mosaic16() {
  static const std::vector<uint16_t> mosaic = SceneSamples(4095);
  return mosaic;
}

int StrideOf(int bytesPerPixel) {
  return (kWidth * bytesPerPixel + 3) & ~3;
}

const KernelRect kFrame{0, 0, kWidth, kHeight};

using DemosaicKernel = PixelKernel<const DemosaicParams &>;
using DefectKernel = PixelKernel<const DemosaicParams &, int32_t>;

FrameView View(uint8_t *pixels, int bytesPerPixel) {
  return FrameView{pixels, StrideOf(bytesPerPixel), kWidth, kHeight, bytesPerPixel, kFrame};
}

ConstFrameView ConstView(const uint8_t *pixels, int bytesPerPixel) {
  return ConstFrameView{pixels, StrideOf(bytesPerPixel), kWidth, kHeight, bytesPerPixel, kFrame};
}

void Demosaic(DemosaicKernel interior, DemosaicKernel border, uint8_t *dst, const uint8_t *src, int dstBytes,
              int srcBytes, const DemosaicParams &params) {
  interior(View(dst, dstBytes), ConstView(src, srcBytes), params);
  border(View(dst, dstBytes), ConstView(src, srcBytes), params);
}

// Interior plus border, 8-bit mosaic, into range(0) bytes per pixel.
template <DemosaicKernel kInterior>
void BM_Demosaic8(benchmark::State &state) {
  const int dstBytes = static_cast<int>(state.range(0));
  std::vector<uint8_t> dst(static_cast<size_t>(StrideOf(dstBytes)) * kHeight);
  DemosaicParams params{3, 110, 100, 140};
  const uint8_t *src = Mosaic8().data();  // built before timing starts
  for (auto _ : state) {
    Demosaic(kInterior, DemosaicBorder8, dst.data(), src, dstBytes, 1, params);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Demosaic8<DemosaicInterior8Scalar>)
    ->Name("Demosaic8/scalar")
    ->Arg(3)
    ->Arg(4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demosaic8<DemosaicInterior8Sse2>)->Name("Demosaic8/sse2")->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demosaic8<DemosaicInterior8Avx2>)->Name("Demosaic8/avx2")->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demosaic8<DemosaicInterior8>)->Name("Demosaic8/auto")->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

template <DemosaicKernel kInterior>
void BM_Demosaic16(benchmark::State &state) {
  const int dstBytes = static_cast<int>(state.range(0));
  std::vector<uint8_t> dst(static_cast<size_t>(StrideOf(dstBytes)) * kHeight);
  DemosaicParams params{3, 110, 100, 140};
  const auto *src = reinterpret_cast<const uint8_t *>(Mosaic16().data());
  for (auto _ : state) {
    Demosaic(kInterior, DemosaicBorder16, dst.data(), src, dstBytes, 2, params);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Demosaic16<DemosaicInterior16Scalar>)
    ->Name("Demosaic16/scalar")
    ->Arg(6)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demosaic16<DemosaicInterior16Sse2>)
    ->Name("Demosaic16/sse2")
    ->Arg(6)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Demosaic16<DemosaicInterior16>)->Name("Demosaic16/auto")->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);

// The border pass alone (part of every figure above).
void BM_DemosaicBorder8(benchmark::State &state) {
  std::vector<uint8_t> dst(static_cast<size_t>(StrideOf(3)) * kHeight);
  DemosaicParams params{3, 110, 100, 140};
  const uint8_t *src = Mosaic8().data();
  for (auto _ : state) {
    DemosaicBorder8(View(dst.data(), 3), ConstView(src, 1), params);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DemosaicBorder8)->Unit(benchmark::kMillisecond);

// Defect suppression works in place, so each pass starts from a fresh copy
// of the frame (the copy is not timed).
template <DefectKernel kSuppress, class T>
void RunSuppress(benchmark::State &state, const std::vector<T> &frame, int32_t threshold) {
  std::vector<T> work(frame);
  DemosaicParams params{3, 110, 100, 140};
  auto *bytes = reinterpret_cast<uint8_t *>(work.data());
  constexpr int kBytes = static_cast<int>(sizeof(T));
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), frame.data(), frame.size() * sizeof(T));
    state.ResumeTiming();
    benchmark::DoNotOptimize(kSuppress(View(bytes, kBytes), ConstView(bytes, kBytes), params, threshold));
    benchmark::ClobberMemory();
  }
}

template <DefectKernel kSuppress>
void BM_SuppressDefects8(benchmark::State &state) {
  RunSuppress<kSuppress>(state, Mosaic8(), kDefectThreshold8);
}
BENCHMARK(BM_SuppressDefects8<SuppressDefects8Scalar>)->Name("SuppressDefects8/scalar")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuppressDefects8<SuppressDefects8>)->Name("SuppressDefects8/auto")->Unit(benchmark::kMillisecond);

template <DefectKernel kSuppress>
void BM_SuppressDefects16(benchmark::State &state) {
  RunSuppress<kSuppress>(state, Mosaic16(), kDefectThreshold16);
}
BENCHMARK(BM_SuppressDefects16<SuppressDefects16Scalar>)
    ->Name("SuppressDefects16/scalar")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SuppressDefects16<SuppressDefects16>)->Name("SuppressDefects16/auto")->Unit(benchmark::kMillisecond);

// The 24-bit colour frame as the pipeline makes it: suppression, then both
// demosaic passes.
void BM_SuppressAndDemosaic8(benchmark::State &state) {
  std::vector<uint8_t> work(Mosaic8());
  std::vector<uint8_t> dst(static_cast<size_t>(StrideOf(3)) * kHeight);
  DemosaicParams params{3, 110, 100, 140};
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), Mosaic8().data(), work.size());
    state.ResumeTiming();
    SuppressDefects8(View(work.data(), 1), ConstView(work.data(), 1), params, kDefectThreshold8);
    Demosaic(DemosaicInterior8, DemosaicBorder8, dst.data(), work.data(), 3, 1, params);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SuppressAndDemosaic8)->Unit(benchmark::kMillisecond);

#ifdef QUOREL_HAVE_OPENCV
// The yardstick: OpenCV's bilinear Bayer conversion on one thread, same
// mosaic, same frame size, 24-bit output.
void BM_OpenCvBayerGR2BGR(benchmark::State &state) {
  cv::setNumThreads(1);
  const cv::Mat mosaic(kHeight, kWidth, CV_8UC1, const_cast<uint8_t *>(Mosaic8().data()));
  cv::Mat bgr(kHeight, kWidth, CV_8UC3);
  for (auto _ : state) {
    cv::cvtColor(mosaic, bgr, cv::COLOR_BayerGR2BGR);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_OpenCvBayerGR2BGR)->Unit(benchmark::kMillisecond);
#endif

// Both passes of the 8-bit demosaic into 24 bits on the active path, with its
// ratios to a memcpy of the output and (with OpenCV) to its Bayer conversion
// from the same run, in thread processor time.
void BM_Demosaic8Ratio(benchmark::State &state) {
  std::vector<uint8_t> dst(static_cast<size_t>(StrideOf(3)) * kHeight);
  std::vector<uint8_t> other(dst.size()), from(dst.size(), 1);
  const DemosaicParams params{3, 110, 100, 140};
  const uint8_t *src = Mosaic8().data();
  bench::Yardsticks yardsticks = {{"memcpy", [&] { std::memcpy(other.data(), from.data(), other.size()); }}};
#ifdef QUOREL_HAVE_OPENCV
  cv::setNumThreads(1);
  const cv::Mat mosaic(kHeight, kWidth, CV_8UC1, const_cast<uint8_t *>(src));
  cv::Mat bgr(kHeight, kWidth, CV_8UC3);
  yardsticks.push_back({"cvBayer2Bgr", [&] { cv::cvtColor(mosaic, bgr, cv::COLOR_BayerGR2BGR); }});
#endif
  bench::Compare(
      state, [&] { Demosaic(DemosaicInterior8, DemosaicBorder8, dst.data(), src, 3, 1, params); }, yardsticks);
}
BENCHMARK(BM_Demosaic8Ratio)->UseManualTime()->ComputeStatistics("min", bench::Fastest)->Unit(benchmark::kMillisecond);

}  // namespace
