// Internal to the demosaic and defect kernels: the interpolation of one 2 x 2
// Bayer cell, written once for every sample access (direct, folded at the
// border), and the description of one demosaic run shared by the scalar and
// SIMD paths. See image/Demosaic.h for the site classes and the weights.
//
// Everything here is inline and compiled for the baseline CPU: the AVX2 unit
// includes it before it switches its own target on, so no copy of these
// functions is ever built for a wider instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorel::bayer {

// Weighted sums of one cell before scaling: red and blue 9/3/3/1 sums and the
// green mean (not yet limited).
struct CellSums {
  uint32_t red;
  uint32_t green;
  uint32_t blue;
};

// The cell whose centre is (x - 1/2, y - 1/2). sample(u, v) returns the
// mosaic value at column u, row v; pr and pc are the mode's row and column
// phases.
//
// The red site has class (1, 0): it lies in row y when a == 1, else y - 1,
// and in column x when b == 0, else x - 1. Its partners lie two pixels
// further on the far side of the cell centre: x - 2 when the site is in
// column x, else x + 1 (likewise for rows). Blue, class (0, 1), is the
// mirror case. Greens are the cell's diagonal through (x, y) when (x, y) is
// green (a == b), else the other diagonal.
template <class Sample>
inline CellSums InterpolateCell(const Sample &sample, int x, int y, int pr, int pc) {
  const int a = (y + pr) & 1;
  const int b = (x + pc) & 1;
  const int redY = a == 1 ? y : y - 1;
  const int redX = b == 0 ? x : x - 1;
  const int blueY = a == 0 ? y : y - 1;
  const int blueX = b == 1 ? x : x - 1;
  const auto weighted = [&](int sx, int sy) {
    const int farX = sx == x ? x - 2 : x + 1;
    const int farY = sy == y ? y - 2 : y + 1;
    return 9u * sample(sx, sy) + 3u * sample(farX, sy) + 3u * sample(sx, farY) + 1u * sample(farX, farY);
  };
  CellSums sums;
  sums.red = weighted(redX, redY);
  sums.blue = weighted(blueX, blueY);
  sums.green = a == b ? (sample(x, y) + sample(x - 1, y - 1)) >> 1 : (sample(x, y - 1) + sample(x - 1, y)) >> 1;
  return sums;
}

// (sum * k) >> 11 limited to maxValue. The limit test is the product against
// (maxValue + 1) << 11, i.e. 0x80000 for 8-bit and 0x800000 for 12-bit
// samples. sum <= 16 * 65535 and k <= 512 keep the product below 2^30.
inline uint32_t ScaleChannel(uint32_t sum, uint32_t k, uint32_t maxValue) {
  const uint32_t product = sum * k;
  return product >= ((maxValue + 1) << 11) ? maxValue : product >> 11;
}

// One demosaic run over the rectangle [left, right) x [top, bottom) of the
// mosaic, written to dst with the rectangle's top left at (dstX, dstY).
struct DemosaicJob {
  uint8_t *dst;
  const uint8_t *src;
  size_t dstStride;
  size_t srcStride;
  int left, top, right, bottom;
  int dstX, dstY;
  int dstBytesPerPixel;  // 3 or 4 for 8-bit samples, 6 or 8 for 16-bit samples
  int pr, pc;            // row and column phase of the effective mode
  uint32_t kr, kb;       // red and blue multipliers, 0..512

  uint8_t *DstPixel(int x, int y) const {
    return dst + static_cast<size_t>(dstY + (y - top)) * dstStride +
           static_cast<size_t>(dstX + (x - left)) * static_cast<size_t>(dstBytesPerPixel);
  }
  template <class T>
  const T *SrcRow(int y) const {
    return reinterpret_cast<const T *>(src + static_cast<size_t>(y) * srcStride);
  }
};

// Stores blue, green, red at p; the fourth byte or word is left alone.
template <class T>
inline void StorePixel(uint8_t *p, uint32_t blue, uint32_t green, uint32_t red) {
  T *out = reinterpret_cast<T *>(p);
  out[0] = static_cast<T>(blue);
  out[1] = static_cast<T>(green);
  out[2] = static_cast<T>(red);
}

// One pixel at least two pixels from every edge of the rectangle: all
// neighbours are read directly.
template <class T>
inline void DemosaicInteriorPixel(const DemosaicJob &job, int x, int y) {
  constexpr uint32_t kMax = sizeof(T) == 1 ? 255 : 4095;
  const auto sample = [&job](int u, int v) -> uint32_t { return job.SrcRow<T>(v)[u]; };
  const CellSums s = InterpolateCell(sample, x, y, job.pr, job.pc);
  StorePixel<T>(job.DstPixel(x, y), ScaleChannel(s.blue, job.kb, kMax), s.green < kMax ? s.green : kMax,
                ScaleChannel(s.red, job.kr, kMax));
}

}  // namespace quorel::bayer
