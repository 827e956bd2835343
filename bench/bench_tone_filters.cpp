// Tone filters, white balance and gray gains on a full 3488 x 2616 frame,
// single thread, on the fastest path the processor has (QUOREL_CPU limits
// it). Bytes processed are the bytes the kernel writes (the image it reads
// for the measurements). Each benchmark also reports its ratio to yardsticks
// timed in the same run (bench/Yardstick.h): "x_memcpy" a memcpy of the
// bytes the kernel writes, and with OpenCV installed its nearest equivalent
// on one thread (cv::LUT, the BGR -> HSV -> BGR round trip, BGR -> GRAY,
// filter2D with a 3 x 3 kernel).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

#include "bench/Yardstick.h"
#include "image/ToneFilters.h"
#include "image/WhiteBalance.h"

#ifdef QUOREL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using namespace quorel;

constexpr int kWidth = 3488;
constexpr int kHeight = 2616;

struct Frame {
  int bpp;
  int stride;
  std::vector<uint8_t> pixels;

  explicit Frame(int bytesPerPixel) : bpp(bytesPerPixel), stride((kWidth * bytesPerPixel + 3) / 4 * 4) {
    pixels.resize(static_cast<size_t>(stride) * kHeight);
    // A smooth picture with some noise, 12-bit values in 16-bit samples.
    uint32_t noise = 12345;
    const bool wide = bpp == 2 || bpp >= 6;
    const int samples = wide ? bpp / 2 : bpp;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < samples; ++c) {
          noise = noise * 1103515245u + 12345u;
          const uint32_t v = ((x * (c + 1) / 14 + y / 11 + (noise >> 28)) & 0xFF);
          const size_t at = static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bpp;
          if (wide) {
            const uint16_t w = static_cast<uint16_t>(v * 16 + (noise >> 20 & 15));
            std::memcpy(&pixels[at + 2 * c], &w, 2);
          } else {
            pixels[at + c] = static_cast<uint8_t>(v);
          }
        }
  }
  size_t bytes() const { return pixels.size(); }
};

template <typename... Params>
int Run(PixelKernel<Params...> kernel, Frame &dst, const Frame &src, std::type_identity_t<Params>... params) {
  const KernelRect whole{0, 0, kWidth, kHeight};
  return kernel(FrameView{dst.pixels.data(), dst.stride, kWidth, kHeight, dst.bpp, whole},
                ConstFrameView{src.pixels.data(), src.stride, kWidth, kHeight, src.bpp, whole}, params...);
}

// Colour-mode type of each bytes-per-pixel argument.
int TypeOf(int bpp) {
  switch (bpp) {
    case 1:
      return 0;
    case 2:
      return 1;
    case 3:
      return 2;
    case 4:
      return 3;
    case 6:
      return 4;
    default:
      return 5;
  }
}

// A memcpy of `bytes` bytes between two buffers of their own.
std::function<void()> Memcpy(size_t bytes) {
  auto from = std::make_shared<std::vector<uint8_t>>(bytes, 1);
  auto to = std::make_shared<std::vector<uint8_t>>(bytes);
  return [from, to] { std::memcpy(to->data(), from->data(), from->size()); };
}

#ifdef QUOREL_HAVE_OPENCV
// An OpenCV matrix over a frame's pixels (samples of 8 bits).
cv::Mat MatOf(Frame &f) {
  return cv::Mat(kHeight, kWidth, CV_8UC(f.bpp), f.pixels.data(), static_cast<size_t>(f.stride));
}
#endif

template <ToneFilter Filter>
void BM_Tone(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame image(bpp);
  Frame copy = image;  // the source of the sharpness filter
  ToneParams tone{0, 12};
  switch (Filter) {
    case ToneFilter::kGamma:
      tone.value = 150;
      break;
    case ToneFilter::kContrast:
      tone.value = 40;
      break;
    case ToneFilter::kSharpness:
      tone.value = 15;
      break;
    case ToneFilter::kBrightness:
      tone.value = 60;
      break;
  }
  ToneKernel kernel = ToneKernelFor(Filter, TypeOf(bpp));
  if (kernel == nullptr) {
    state.SkipWithError("no kernel for this depth");
    return;
  }
  bench::Yardsticks yardsticks = {{"memcpy", Memcpy(image.bytes())}};
#ifdef QUOREL_HAVE_OPENCV
  cv::setNumThreads(1);
  Frame other(bpp);
  const bool eightBit = bpp == 1 || bpp == 3;
  if (eightBit && Filter != ToneFilter::kSharpness) {
    cv::Mat table(1, 256, CV_8U);
    for (int i = 0; i < 256; ++i) table.at<uint8_t>(i) = static_cast<uint8_t>(255 - i);
    yardsticks.push_back({"cvLUT", [&image, &other, table] {
                            cv::Mat out = MatOf(other);
                            cv::LUT(MatOf(image), table, out);
                          }});
  }
  if (eightBit && Filter == ToneFilter::kSharpness) {
    const cv::Mat box = cv::Mat::ones(3, 3, CV_32F) / 9.0f;
    yardsticks.push_back({"cvFilter2D3x3", [&image, &other, box] {
                            cv::Mat out = MatOf(other);
                            cv::filter2D(MatOf(image), out, -1, box);
                          }});
  }
#endif
  const Frame &src = Filter == ToneFilter::kSharpness ? copy : image;
  bench::Compare(
      state, [&] { benchmark::DoNotOptimize(Run(kernel, image, src, tone)); }, yardsticks);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.bytes()));
}

void BM_HueSaturation(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame image(bpp);
  const HueSaturationParams hue{40, 0, 80, 12};
  HueSaturationKernel kernel = HueSaturationKernelFor(TypeOf(bpp));
  bench::Yardsticks yardsticks = {{"memcpy", Memcpy(image.bytes())}};
#ifdef QUOREL_HAVE_OPENCV
  cv::setNumThreads(1);
  Frame hsv(3), back(3);
  if (bpp == 3)
    yardsticks.push_back({"cvHsvRoundTrip", [&image, &hsv, &back] {
                            cv::Mat h = MatOf(hsv), b = MatOf(back);
                            cv::cvtColor(MatOf(image), h, cv::COLOR_BGR2HSV);
                            cv::cvtColor(h, b, cv::COLOR_HSV2BGR);
                          }});
#endif
  bench::Compare(
      state, [&] { benchmark::DoNotOptimize(Run(kernel, image, image, hue)); }, yardsticks);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.bytes()));
}

#define QUOREL_TONE_BENCHMARK(filter)            \
  BENCHMARK(BM_Tone<filter>)                     \
      ->Arg(1)                                   \
      ->Arg(2)                                   \
      ->Arg(3)                                   \
      ->Arg(4)                                   \
      ->Arg(6)                                   \
      ->Arg(8)                                   \
      ->UseManualTime()                          \
      ->ComputeStatistics("min", bench::Fastest) \
      ->Unit(benchmark::kMillisecond)

BENCHMARK(BM_HueSaturation)
    ->Arg(3)
    ->Arg(4)
    ->Arg(6)
    ->Arg(8)
    ->UseManualTime()
    ->ComputeStatistics("min", bench::Fastest)
    ->Unit(benchmark::kMillisecond);
QUOREL_TONE_BENCHMARK(ToneFilter::kGamma);
QUOREL_TONE_BENCHMARK(ToneFilter::kContrast);
QUOREL_TONE_BENCHMARK(ToneFilter::kSharpness);
QUOREL_TONE_BENCHMARK(ToneFilter::kBrightness);

void BM_BalanceMeans(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame mosaic(bpp);
  PixelKernel<WhiteBalanceParams &> kernel = bpp == 1 ? BalanceMeans8 : BalanceMeans16;
  for (auto _ : state) {
    WhiteBalanceParams p = MakeWhiteBalanceParams(3);
    benchmark::DoNotOptimize(Run(kernel, mosaic, mosaic, p));
    benchmark::DoNotOptimize(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(mosaic.bytes()));
}
BENCHMARK(BM_BalanceMeans)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_GrayBalance(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame mosaic(bpp);
  for (auto _ : state) {
    GrayParams p;
    p.mode = 3;
    p.bits = bpp == 1 ? 8 : 12;
    benchmark::DoNotOptimize(Run(GrayBalance, mosaic, mosaic, p));
    benchmark::DoNotOptimize(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(mosaic.bytes()));
}
BENCHMARK(BM_GrayBalance)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_GrayGainOffset(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame mosaic(bpp);
  GrayParams p;
  p.mode = 3;
  p.bits = bpp == 1 ? 8 : 12;
  const int32_t gains[4] = {140, 128, 129, 200};
  const int32_t offsets[4] = {-3, 0, 2, 5};
  for (int i = 0; i < 4; ++i) p.gains[i] = gains[i], p.offsets[i] = offsets[i];
  PixelKernel<const GrayParams &> kernel = bpp == 1 ? GrayGainOffset8 : GrayGainOffset16;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Run(kernel, mosaic, mosaic, p));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(mosaic.bytes()));
}
BENCHMARK(BM_GrayGainOffset)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Luma24To8(benchmark::State &state) {
  Frame colour(static_cast<int>(state.range(0)));
  Frame gray(1);
  bench::Yardsticks yardsticks = {{"memcpy", Memcpy(gray.bytes())}};
#ifdef QUOREL_HAVE_OPENCV
  cv::setNumThreads(1);
  Frame other(1);
  if (colour.bpp == 3)
    yardsticks.push_back({"cvBgr2Gray", [&colour, &other] {
                            cv::Mat out = MatOf(other);
                            cv::cvtColor(MatOf(colour), out, cv::COLOR_BGR2GRAY);
                          }});
#endif
  bench::Compare(
      state, [&] { benchmark::DoNotOptimize(Run(Luma24To8, gray, colour)); }, yardsticks);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gray.bytes()));
}
BENCHMARK(BM_Luma24To8)
    ->Arg(3)
    ->Arg(4)
    ->UseManualTime()
    ->ComputeStatistics("min", bench::Fastest)
    ->Unit(benchmark::kMillisecond);

}  // namespace
