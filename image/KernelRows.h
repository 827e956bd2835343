// Row addressing and argument checks shared by the tone, balance and gray-gain
// kernels. Internal to the image library.
//
// Kernels address pixels as raw bytes: 16-bit samples are read and written
// with memcpy, which compiles to plain (possibly unaligned) loads and stores
// and keeps the accesses free of type-punning.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "image/PixelKernel.h"

namespace quorel::kernel_rows {

template <typename T>
inline T Load(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
inline void Store(uint8_t *p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// The kernel arguments after validation, with sizes in size_t.
struct Frame {
  uint8_t *dst = nullptr;
  const uint8_t *src = nullptr;
  size_t width = 0;   // rectangle width in pixels
  size_t height = 0;  // rectangle height in pixels
  size_t left = 0;    // rectangle origin in source memory coordinates
  size_t top = 0;
  size_t dstX = 0;
  size_t dstY = 0;
  size_t dstBpp = 0;
  size_t srcBpp = 0;
  size_t dstStride = 0;
  size_t srcStride = 0;

  uint8_t *DstRow(size_t row) const { return dst + (dstY + row) * dstStride + dstX * dstBpp; }
  const uint8_t *SrcRow(size_t row) const { return src + (top + row) * srcStride + left * srcBpp; }
};

// Checks the arguments every kernel relies on: both pointers given, a
// non-empty rectangle at non-negative coordinates, a non-negative destination
// position, pixel sizes of at least minDstBpp / minSrcBpp and strides that hold
// a rectangle row. Returns false (the kernel then does nothing and returns 0)
// when one of them does not hold.
inline bool MakeFrame(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBpp,
                      int srcBpp, int dstStride, int srcStride, int minDstBpp, int minSrcBpp, Frame &out) {
  if (dst == nullptr || src == nullptr) return false;
  if (rect.left < 0 || rect.top < 0 || rect.right <= rect.left || rect.bottom <= rect.top) return false;
  if (dstX < 0 || dstY < 0 || dstBpp < minDstBpp || srcBpp < minSrcBpp) return false;
  if (dstStride <= 0 || srcStride <= 0) return false;
  out.dst = dst;
  out.src = src;
  out.width = static_cast<size_t>(static_cast<int64_t>(rect.right) - rect.left);
  out.height = static_cast<size_t>(static_cast<int64_t>(rect.bottom) - rect.top);
  out.left = static_cast<size_t>(rect.left);
  out.top = static_cast<size_t>(rect.top);
  out.dstX = static_cast<size_t>(dstX);
  out.dstY = static_cast<size_t>(dstY);
  out.dstBpp = static_cast<size_t>(dstBpp);
  out.srcBpp = static_cast<size_t>(srcBpp);
  out.dstStride = static_cast<size_t>(dstStride);
  out.srcStride = static_cast<size_t>(srcStride);
  if (out.width * out.dstBpp > out.dstStride || out.width * out.srcBpp > out.srcStride) return false;
  return true;
}

// Significant bits of 16-bit samples, limited to 8 .. 16.
inline int LimitBits(int32_t bits) {
  return bits < 8 ? 8 : (bits > 16 ? 16 : bits);
}

// Whether the destination and source rectangles share any byte.
inline bool Overlaps(const Frame &f) {
  const auto dBegin = reinterpret_cast<uintptr_t>(f.DstRow(0));
  const auto dEnd = reinterpret_cast<uintptr_t>(f.DstRow(f.height - 1) + f.width * f.dstBpp);
  const auto sBegin = reinterpret_cast<uintptr_t>(f.SrcRow(0));
  const auto sEnd = reinterpret_cast<uintptr_t>(f.SrcRow(f.height - 1) + f.width * f.srcBpp);
  return dBegin < sEnd && sBegin < dEnd;
}

// Applies op to n consecutive samples of type Sample, reading s and writing d
// (in place when d == s). The fixed-size inner block lets the compiler
// vectorise ops that allow it without a run-time alias check or epilogue.
constexpr size_t kBlock = 16;

template <typename Sample, typename Op>
inline size_t MapBlocksDisjoint(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n, Op op) {
  constexpr size_t kSize = sizeof(Sample);
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    uint8_t *p = d + i * kSize;
    const uint8_t *q = s + i * kSize;
    for (size_t j = 0; j < kBlock; ++j) Store<Sample>(p + j * kSize, op(Load<Sample>(q + j * kSize)));
  }
  return i;
}

template <typename Sample, typename Op>
inline void MapRun(uint8_t *d, const uint8_t *s, size_t n, Op op) {
  constexpr size_t kSize = sizeof(Sample);
  const auto da = reinterpret_cast<uintptr_t>(d);
  const auto sa = reinterpret_cast<uintptr_t>(s);
  size_t i = 0;
  if (d == s) {
    for (; i + kBlock <= n; i += kBlock) {
      uint8_t *p = d + i * kSize;
      for (size_t j = 0; j < kBlock; ++j) Store<Sample>(p + j * kSize, op(Load<Sample>(p + j * kSize)));
    }
  } else if (da + n * kSize <= sa || sa + n * kSize <= da) {
    i = MapBlocksDisjoint<Sample>(d, s, n, op);
  }
  // Tail, and partly overlapping runs, sample by sample in order.
  for (; i < n; ++i) Store<Sample>(d + i * kSize, op(Load<Sample>(s + i * kSize)));
}

// Applies op to the first `Channels` samples of every pixel of the frame and
// leaves any further sample of a pixel (the fourth byte or word) untouched.
// Rows whose pixels are exactly `Channels` samples wide on both sides are
// treated as one run of samples. With `ViaScratch`, rows of four-sample
// pixels are mapped whole into a scratch block (so the op vectorises) and
// the first three samples of each pixel copied out; worth it for arithmetic
// ops, not for table lookups.
template <typename Sample, int Channels, bool ViaScratch = false, typename Op>
inline void MapSamples(const Frame &f, Op op) {
  constexpr size_t kSize = sizeof(Sample);
  constexpr size_t kChunk = 64;  // pixels per scratch block
  const bool packed = f.dstBpp == Channels * kSize && f.srcBpp == Channels * kSize;
  const bool fourSamples = ViaScratch && Channels == 3 && f.dstBpp == 4 * kSize && f.srcBpp == 4 * kSize;
  for (size_t y = 0; y < f.height; ++y) {
    uint8_t *d = f.DstRow(y);
    const uint8_t *s = f.SrcRow(y);
    if (packed) {
      MapRun<Sample>(d, s, f.width * Channels, op);
      continue;
    }
    if (fourSamples) {
      alignas(16) uint8_t scratch[kChunk * 4 * kSize];
      for (size_t x0 = 0; x0 < f.width; x0 += kChunk) {
        const size_t n = std::min(kChunk, f.width - x0);
        MapRun<Sample>(scratch, s + x0 * 4 * kSize, n * 4, op);
        for (size_t x = 0; x < n; ++x) std::memcpy(d + (x0 + x) * 4 * kSize, scratch + x * 4 * kSize, 3 * kSize);
      }
      continue;
    }
    for (size_t x = 0; x < f.width; ++x) {
      uint8_t *dp = d + x * f.dstBpp;
      const uint8_t *sp = s + x * f.srcBpp;
      for (int c = 0; c < Channels; ++c) Store<Sample>(dp + c * kSize, op(Load<Sample>(sp + c * kSize)));
    }
  }
}

}  // namespace quorel::kernel_rows
