// Internal to the defect-suppression kernels: the exact test and correction
// of one pixel, shared by the scalar walk and the SIMD walks (which only use
// a vector pre-screen to skip pixels that cannot be outliers). Inline and
// compiled for the baseline CPU; see image/DefectSuppression.h for the rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/BayerCell.h"

namespace quorel::bayer {

// Demosaic interpolation at (x, y), red and blue cut to their low 8 bits.
inline uint32_t EstimateColorAt(const uint8_t *mosaic, size_t stride, int x, int y, int pr, int pc, uint32_t kr,
                                uint32_t kb) {
  const auto sample = [mosaic, stride](int u, int v) -> uint32_t {
    return mosaic[static_cast<size_t>(v) * stride + static_cast<size_t>(u)];
  };
  const CellSums s = InterpolateCell(sample, x, y, pr, pc);
  const uint32_t red = ((s.red * kr) >> 11) & 0xFF;
  const uint32_t blue = ((s.blue * kb) >> 11) & 0xFF;
  return red << 16 | s.green << 8 | blue;
}

// The spread above which a pair of estimated channels counts as coloured.
inline constexpr int kColourSpread = 30;

// One 8-bit mosaic being corrected in place.
struct Defects8 {
  uint8_t *base;
  size_t stride;
  int pr, pc;
  uint32_t kr, kb;
  int threshold;

  // Tests (x, y) against the current samples and corrects it; true when the
  // sample was replaced.
  bool Fix(int x, int y) const {
    uint8_t *p = base + static_cast<size_t>(y) * stride + static_cast<size_t>(x);
    const int v = p[0];
    const int mean = (p[-2] + p[2] + p[-2 * static_cast<ptrdiff_t>(stride)] + p[2 * stride]) >> 2;
    if (v - mean < threshold) return false;
    const uint32_t rgb = EstimateColorAt(base, stride, x, y, pr, pc, kr, kb);
    const int red = static_cast<int>(rgb >> 16);
    const int green = static_cast<int>((rgb >> 8) & 0xFF);
    const int blue = static_cast<int>(rgb & 0xFF);
    const int coloured = (std::abs(red - green) > kColourSpread ? 1 : 0) +
                         (std::abs(red - blue) > kColourSpread ? 1 : 0) +
                         (std::abs(green - blue) > kColourSpread ? 1 : 0);
    if (coloured < 2) return false;
    p[0] = static_cast<uint8_t>(mean);
    return true;
  }
};

// One 16-bit mosaic being corrected in place; stride in samples.
struct Defects16 {
  uint16_t *base;
  size_t stride;
  int threshold;

  bool Fix(int x, int y) const {
    uint16_t *p = base + static_cast<size_t>(y) * stride + static_cast<size_t>(x);
    const ptrdiff_t s = static_cast<ptrdiff_t>(stride);
    const int v = p[0];
    const int mean = (p[-2] + p[2] + p[-2 * s] + p[2 * s]) >> 2;
    if (std::abs(v - mean) < threshold) return false;
    const ptrdiff_t neighbours[8] = {-s - 1, -s, -s + 1, -1, 1, s - 1, s, s + 1};
    for (const ptrdiff_t offset : neighbours) {
      if (std::abs(p[offset] - v) < threshold) return false;
    }
    p[0] = static_cast<uint16_t>(mean);
    return true;
  }
};

}  // namespace quorel::bayer
