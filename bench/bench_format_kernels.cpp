// Format-conversion and scaling kernels at the full 3488 x 2616 frame, run
// through DibImage::ApplyKernel as the save, display and recording paths do.
// Goal: each within 2x of a plain copy of its output (bench_memcpy's
// BM_FrameCopy at the output's bytes per pixel).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "image/ScaleKernels.h"

namespace {

using quorel::DibImage;
using PlainKernel = quorel::PixelKernel<>;

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

void FillPattern(DibImage &image) {
  for (size_t i = 0; i < image.pixelBytes(); ++i) image.pixels()[i] = static_cast<uint8_t>(i * 31 + 7);
}

void RunKernel(benchmark::State &state, PlainKernel kernel, int srcBits, int dstBits) {
  DibImage src, dst;
  if (src.Create(kWidth, kHeight, srcBits) == 0 || dst.Create(kWidth, kHeight, dstBits) == 0) {
    state.SkipWithError("image allocation failed");
    return;
  }
  FillPattern(src);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dst.ApplyKernel(kernel, src, nullptr, 0, 0));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(dst.pixelBytes()));
}

// The row-spacing kernels run in place on a packed frame; an odd width makes
// every row move. Re-packing between runs is not timed.
void RunStrideRows(benchmark::State &state, PlainKernel kernel, int bits) {
  DibImage image;
  if (image.Create(kWidth - 1, kHeight, bits) == 0) {
    state.SkipWithError("image allocation failed");
    return;
  }
  FillPattern(image);
  for (auto _ : state) {
    benchmark::DoNotOptimize(image.ApplyKernel(kernel, image, nullptr, 0, 0));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.pixelBytes()));
}

void RunScale(benchmark::State &state, quorel::ScaleKernel kernel, int bits, int dstWidth, int dstHeight) {
  DibImage src, dst;
  if (src.Create(kWidth, kHeight, bits) == 0 || dst.Create(dstWidth, dstHeight, bits) == 0) {
    state.SkipWithError("image allocation failed");
    return;
  }
  FillPattern(src);
  for (auto _ : state) {
    benchmark::DoNotOptimize(dst.ApplyScaleKernel(kernel, src, nullptr, nullptr));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(dst.pixelBytes()));
}

BENCHMARK_CAPTURE(RunKernel, Gray16To8Shr4, quorel::Gray16To8Shr4, 16, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Gray16To8Shr4Flip, quorel::Gray16To8Shr4Flip, 16, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Gray16Shl4, quorel::Gray16Shl4, 16, 16)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color32To24, quorel::Color32To24, 32, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To24Shr4_48, quorel::Color16To24Shr4, 48, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To24Shr4_64, quorel::Color16To24Shr4, 64, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To24Shr4Flip, quorel::Color16To24Shr4Flip, 48, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To48Shl4, quorel::Color16To48Shl4, 48, 48)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To48Shl4Swap, quorel::Color16To48Shl4Swap, 64, 48)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To64Shl4, quorel::Color16To64Shl4, 64, 64)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color16To64Shl4Swap, quorel::Color16To64Shl4Swap, 48, 64)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color24CopyFlip_24, quorel::Color24CopyFlip, 24, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color24CopyFlip_32, quorel::Color24CopyFlip, 32, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, RowCopyFlip, quorel::RowCopyFlip, 24, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color24SwapRB, quorel::Color24SwapRB, 24, 24)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunKernel, Color32InvertFourth, quorel::Color32InvertFourth, 32, 32)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(RunStrideRows, StrideRows8, quorel::StrideRows8, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunStrideRows, StrideRows16, quorel::StrideRows16, 16)->Unit(benchmark::kMillisecond);

// Preview scaling onto a typical window.
BENCHMARK_CAPTURE(RunScale, ScaleNearestColor, quorel::ScaleNearestColor, 24, 1280, 960)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunScale, ScaleNearestGray, quorel::ScaleNearestGray, 8, 1280, 960)->Unit(benchmark::kMillisecond);

}  // namespace
