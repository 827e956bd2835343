#include "Histogram.h"

#include <algorithm>
#include <cmath>

namespace quorel::viewer {
namespace {

inline uint8_t Bin12(uint16_t v) {
  return static_cast<uint8_t>(std::min<unsigned>(v >> 4, 255u));
}

inline uint16_t Word(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint8_t GrayOf(unsigned r, unsigned g, unsigned b) {
  return static_cast<uint8_t>((77 * r + 150 * g + 29 * b) >> 8);
}

}  // namespace

size_t FrameStride(int width, int bitCount) {
  if (width <= 0 || bitCount <= 0) return 0;
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(bitCount) / 8;
  return (bytes + 3) & ~size_t{3};
}

bool ComputeHistogram(const uint8_t *pixels, size_t size, int width, int height, int bitCount, int step,
                      Histogram &out) {
  out = Histogram{};
  if (pixels == nullptr || width <= 0 || height <= 0 || step <= 0) return false;
  int bytesPerPixel = 0;
  switch (bitCount) {
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      bytesPerPixel = bitCount / 8;
      break;
    default:
      return false;
  }
  const size_t stride = FrameStride(width, bitCount);
  if (size / stride < static_cast<size_t>(height)) return false;

  auto &blue = out.counts[0];
  auto &green = out.counts[1];
  auto &red = out.counts[2];
  auto &gray = out.counts[3];
  const bool wide = bitCount == 16 || bitCount >= 48;
  const bool colour = bitCount >= 24;
  const size_t pixelStep = static_cast<size_t>(bytesPerPixel) * static_cast<size_t>(step);
  for (int y = 0; y < height; y += step) {
    const uint8_t *row = pixels + static_cast<size_t>(y) * stride;
    const uint8_t *end = row + static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
    for (const uint8_t *p = row; p < end; p += pixelStep) {
      if (!colour) {
        const uint8_t v = wide ? Bin12(Word(p)) : p[0];
        ++gray[v];
      } else {
        const uint8_t b = wide ? Bin12(Word(p)) : p[0];
        const uint8_t g = wide ? Bin12(Word(p + 2)) : p[1];
        const uint8_t r = wide ? Bin12(Word(p + 4)) : p[2];
        ++blue[b];
        ++green[g];
        ++red[r];
        ++gray[GrayOf(r, g, b)];
      }
      ++out.pixels;
    }
  }
  if (!colour) blue = green = red = gray;
  return true;
}

std::array<double, Histogram::kBins> BarHeights(const Histogram &h, HistogramChannel c, HistogramScale scale) {
  std::array<double, Histogram::kBins> bars{};
  const auto &counts = h.channel(c);
  const uint32_t peak = *std::max_element(counts.begin(), counts.end());
  if (peak == 0) return bars;
  const double top = scale == HistogramScale::kLog ? std::log1p(static_cast<double>(peak)) : peak;
  for (int i = 0; i < Histogram::kBins; ++i) {
    const double v = scale == HistogramScale::kLog ? std::log1p(static_cast<double>(counts[i])) : counts[i];
    bars[i] = v / top;
  }
  return bars;
}

int HistogramStepFor(int width, int height, int64_t budget) {
  if (width <= 0 || height <= 0 || budget <= 0) return 1;
  const double pixels = static_cast<double>(width) * height;
  const int step = static_cast<int>(std::ceil(std::sqrt(pixels / static_cast<double>(budget))));
  return std::max(step, 1);
}

}  // namespace quorel::viewer
