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
#include <utility>

#include "image/Lookup8.h"
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

// Checks the views every kernel relies on: pixel memory given, a non-empty
// source rectangle inside its image, a destination rectangle of the same size
// inside its image, pixel sizes of at least minDstBpp / minSrcBpp and strides
// that hold a row of the image. Returns false (the kernel then does nothing
// and returns 0) when one of them does not hold.
inline bool MakeFrame(const FrameView &dst, const ConstFrameView &src, int minDstBpp, int minSrcBpp, Frame &out) {
  if (dst.pixels == nullptr || src.pixels == nullptr) return false;
  const KernelRect &r = src.rect;
  const KernelRect &d = dst.rect;
  if (r.left < 0 || r.top < 0 || r.right <= r.left || r.bottom <= r.top) return false;
  if (r.right > src.width || r.bottom > src.height) return false;
  if (d.left < 0 || d.top < 0 || d.right > dst.width || d.bottom > dst.height) return false;
  if (int64_t{d.right} - d.left != int64_t{r.right} - r.left || int64_t{d.bottom} - d.top != int64_t{r.bottom} - r.top)
    return false;
  if (dst.bytesPerPixel < minDstBpp || src.bytesPerPixel < minSrcBpp) return false;
  if (dst.stride <= 0 || src.stride <= 0) return false;
  if (int64_t{dst.width} * dst.bytesPerPixel > dst.stride || int64_t{src.width} * src.bytesPerPixel > src.stride)
    return false;
  out.dst = dst.pixels;
  out.src = src.pixels;
  out.width = static_cast<size_t>(static_cast<int64_t>(r.right) - r.left);
  out.height = static_cast<size_t>(static_cast<int64_t>(r.bottom) - r.top);
  out.left = static_cast<size_t>(r.left);
  out.top = static_cast<size_t>(r.top);
  out.dstX = static_cast<size_t>(d.left);
  out.dstY = static_cast<size_t>(d.top);
  out.dstBpp = static_cast<size_t>(dst.bytesPerPixel);
  out.srcBpp = static_cast<size_t>(src.bytesPerPixel);
  out.dstStride = static_cast<size_t>(dst.stride);
  out.srcStride = static_cast<size_t>(src.stride);
  return true;
}

// The body shared by the kernels over a Frame: check the views, then run
// body(frame, params...), or return 0 when the views are unusable.
template <int MinDstBpp, int MinSrcBpp, auto Body, typename... Params>
int Checked(const FrameView &dst, const ConstFrameView &src, Params &&...params) {
  Frame f;
  if (!MakeFrame(dst, src, MinDstBpp, MinSrcBpp, f)) return 0;
  return Body(f, std::forward<Params>(params)...);
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

// MapSamples for a byte table: the first `Channels` bytes of every pixel
// replaced by table[byte], rows of packed samples and of four-byte colour
// pixels through the table lookups of image/Lookup8.h.
template <int Channels>
inline void LookupSamples8(const Frame &f, const uint8_t *table) {
  const bool packed = f.dstBpp == Channels && f.srcBpp == Channels;
  const bool fourBytes = Channels == 3 && f.dstBpp == 4 && f.srcBpp == 4;
  if (!packed && !fourBytes) {
    MapSamples<uint8_t, Channels>(f, [table](uint8_t v) { return table[v]; });
    return;
  }
  for (size_t y = 0; y < f.height; ++y) {
    if (packed)
      lookup8::Run(f.DstRow(y), f.SrcRow(y), f.width * Channels, table);
    else
      lookup8::FirstThreeOfFour(f.DstRow(y), f.SrcRow(y), f.width, table);
  }
}

}  // namespace quorel::kernel_rows
