// Tone filters, white balance and gray gains on a full 3488 x 2616 frame,
// single thread. Bytes processed are the bytes the kernel writes (the image
// it reads for the measurements), so the rates compare directly with
// BM_FrameCopy of bench_memcpy at the same depth.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/ToneFilters.h"
#include "image/WhiteBalance.h"

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
  for (auto _ : state) {
    const Frame &src = Filter == ToneFilter::kSharpness ? copy : image;
    benchmark::DoNotOptimize(Run(kernel, image, src, tone));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.bytes()));
}

void BM_HueSaturation(benchmark::State &state) {
  const int bpp = static_cast<int>(state.range(0));
  Frame image(bpp);
  const HueSaturationParams hue{40, 0, 80, 12};
  HueSaturationKernel kernel = HueSaturationKernelFor(TypeOf(bpp));
  for (auto _ : state) {
    benchmark::DoNotOptimize(Run(kernel, image, image, hue));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(image.bytes()));
}

#define TONE_BENCHMARK(filter) \
  BENCHMARK(BM_Tone<filter>)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond)

BENCHMARK(BM_HueSaturation)->Arg(3)->Arg(4)->Arg(6)->Arg(8)->Unit(benchmark::kMillisecond);
TONE_BENCHMARK(ToneFilter::kGamma);
TONE_BENCHMARK(ToneFilter::kContrast);
TONE_BENCHMARK(ToneFilter::kSharpness);
TONE_BENCHMARK(ToneFilter::kBrightness);

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
  for (auto _ : state) {
    benchmark::DoNotOptimize(Run(Luma24To8, gray, colour));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(gray.bytes()));
}
BENCHMARK(BM_Luma24To8)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond);

}  // namespace
