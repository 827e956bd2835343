// Internal to the sharpness kernel: its rows, written so that the compiler
// vectorises them, and the entry points of the same rows compiled for wider
// vector units (image/VectorRows*.cpp). Everything in the unnamed namespace
// has internal linkage, so each unit compiles its own copy for its own
// target; include this header after any target switch, and every other
// header before it.
#pragma once

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/KernelRows.h"

namespace quorel::sharpen {
namespace {

using kernel_rows::Frame;
using kernel_rows::kBlock;
using kernel_rows::Load;
using kernel_rows::Store;

// Sums of four source rows, per sample; 8-bit sums fit 16 bits.
template <typename Sample>
using ColumnSum = std::conditional_t<sizeof(Sample) == 1, uint16_t, uint32_t>;

template <typename Sample>
void SumFourRows(const uint8_t *r0, const uint8_t *r1, const uint8_t *r2, const uint8_t *r3, size_t n,
                 ColumnSum<Sample> *__restrict out) {
  constexpr size_t kSize = sizeof(Sample);
  using Sum = ColumnSum<Sample>;
  size_t i = 0;
  for (; i + kBlock <= n; i += kBlock)
    for (size_t j = 0; j < kBlock; ++j) {
      const size_t k = (i + j) * kSize;
      out[i + j] = static_cast<Sum>(Sum{Load<Sample>(r0 + k)} + Load<Sample>(r1 + k) + Load<Sample>(r2 + k) +
                                    Load<Sample>(r3 + k));
    }
  for (; i < n; ++i) {
    const size_t k = i * kSize;
    out[i] = static_cast<Sum>(Sum{Load<Sample>(r0 + k)} + Load<Sample>(r1 + k) + Load<Sample>(r2 + k) +
                              Load<Sample>(r3 + k));
  }
}

// Moves four-row sums one row down: adds row `in`, drops row `out`. The
// same integers as summing the four rows afresh, with half the loads.
template <typename Sample>
void SlideFourRows(const uint8_t *out, const uint8_t *in, size_t n, ColumnSum<Sample> *__restrict sums) {
  constexpr size_t kSize = sizeof(Sample);
  using Sum = ColumnSum<Sample>;
  for (size_t i = 0; i < n; ++i) {
    const size_t k = i * kSize;
    sums[i] = static_cast<Sum>(sums[i] + Load<Sample>(in + k) - Load<Sample>(out + k));
  }
}

// o + trunc(s * (o - b) / 10) limited to 0 .. max, with b the 4 x 4 box mean
// from four column sums, in a form the compiler vectorises:
// - 8-bit samples in 16-bit lanes (strength kept to -128 .. 128 so that
//   s * (o - b) fits), divided by 10 with a high-half multiply;
// - 16-bit samples in 32-bit lanes (strength kept to -64 .. 64, so that
//   |s * (o - b)| <= 2^22), divided by 10 as trunc(x * 0.1f), which equals the
//   integer quotient for every |x| <= 2^22.
// The setting range is 0 .. 30, well inside both limits.
template <typename Sample>
struct Unsharp {
  using Int = std::conditional_t<sizeof(Sample) == 1, int16_t, int32_t>;
  static constexpr int32_t kStrengthLimit = sizeof(Sample) == 1 ? 128 : 64;
  Int strength;
  Int max;
  Sample operator()(Sample o, ColumnSum<Sample> c0, ColumnSum<Sample> c1, ColumnSum<Sample> c2,
                    ColumnSum<Sample> c3) const {
    const Int b = static_cast<Int>(static_cast<ColumnSum<Sample>>(c0 + c1 + c2 + c3) >> 4);
    const Int product = static_cast<Int>(strength * static_cast<Int>(static_cast<Int>(o) - b));
    Int quotient;
    if constexpr (sizeof(Sample) == 1)
      quotient = static_cast<Int>(product / 10);
    else
      quotient = static_cast<Int>(static_cast<float>(product) * 0.1f);
    const Int r = static_cast<Int>(static_cast<Int>(o) + quotient);
    return static_cast<Sample>(r < 0 ? 0 : (r > max ? max : r));
  }
};

// One row where pixels are `Step` samples apart on both sides: one run of
// samples with neighbours Step apart. Writes every sample of the pixels
// 2 .. width - 3 of `d`.
template <typename Sample, size_t Step>
void SharpenPackedRow(uint8_t *__restrict d, const uint8_t *__restrict o, const ColumnSum<Sample> *cs, size_t width,
                      Unsharp<Sample> op) {
  constexpr size_t kSize = sizeof(Sample);
  const size_t begin = 2 * Step;
  const size_t end = (width - 2) * Step;
  size_t i = begin;
  for (; i + kBlock <= end; i += kBlock)
    for (size_t j = 0; j < kBlock; ++j) {
      const size_t k = i + j;
      Store<Sample>(d + k * kSize,
                    op(Load<Sample>(o + k * kSize), cs[k - 2 * Step], cs[k - Step], cs[k], cs[k + Step]));
    }
  for (; i < end; ++i)
    Store<Sample>(d + i * kSize, op(Load<Sample>(o + i * kSize), cs[i - 2 * Step], cs[i - Step], cs[i], cs[i + Step]));
}

// Pixels of four samples of which the first three are significant: the row is
// sharpened whole into a scratch row, then blue, green and red are copied out,
// so the destination's fourth sample is never written.
template <typename Sample>
void SharpenFourSampleRow(uint8_t *d, const uint8_t *o, const ColumnSum<Sample> *cs, size_t width, Unsharp<Sample> op,
                          uint8_t *__restrict scratch) {
  constexpr size_t kSize = sizeof(Sample);
  constexpr size_t kPixel = 4 * kSize;
  SharpenPackedRow<Sample, 4>(scratch, o, cs, width, op);
  for (size_t x = 2; x + 2 < width; ++x) std::memcpy(d + x * kPixel, scratch + x * kPixel, 3 * kSize);
}

// Any pixel sizes: the first `Channels` samples of each pixel.
template <typename Sample, int Channels>
void SharpenGenericRow(uint8_t *d, const uint8_t *o, const ColumnSum<Sample> *cs, size_t width, size_t dstStep,
                       size_t srcStep, Unsharp<Sample> op) {
  constexpr size_t kSize = sizeof(Sample);
  for (size_t x = 2; x + 2 < width; ++x)
    for (size_t c = 0; c < Channels; ++c) {
      const size_t k = x * srcStep + c;
      Store<Sample>(d + (x * dstStep + c) * kSize,
                    static_cast<Sample>(
                        op(Load<Sample>(o + k * kSize), cs[k - 2 * srcStep], cs[k - srcStep], cs[k], cs[k + srcStep])));
    }
}

// Every row of the frame at least two inside each edge, with op.
template <typename Sample, int Channels>
void Rows(const Frame &f, Unsharp<Sample> op) {
  constexpr size_t kSize = sizeof(Sample);
  const size_t srcStep = f.srcBpp / kSize;
  const size_t dstStep = f.dstBpp / kSize;
  const bool packed = srcStep == Channels && dstStep == Channels;
  const bool fourSamples = Channels == 3 && srcStep == 4 && dstStep == 4;

  std::vector<ColumnSum<Sample>> sums(f.width * srcStep);
  std::vector<uint8_t> scratch(fourSamples ? f.width * f.srcBpp : 0);
  for (size_t y = 2; y + 2 < f.height; ++y) {
    if (y == 2) {
      SumFourRows<Sample>(f.SrcRow(0), f.SrcRow(1), f.SrcRow(2), f.SrcRow(3), sums.size(), sums.data());
    } else {
      SlideFourRows<Sample>(f.SrcRow(y - 3), f.SrcRow(y + 1), sums.size(), sums.data());
    }
    if (packed)
      SharpenPackedRow<Sample, Channels>(f.DstRow(y), f.SrcRow(y), sums.data(), f.width, op);
    else if (fourSamples)
      SharpenFourSampleRow<Sample>(f.DstRow(y), f.SrcRow(y), sums.data(), f.width, op, scratch.data());
    else
      SharpenGenericRow<Sample, Channels>(f.DstRow(y), f.SrcRow(y), sums.data(), f.width, dstStep, srcStep, op);
  }
}

// Rows for the kernel's sample size and channel count (1 or 3).
template <typename Sample>
void RowsFor(const Frame &f, int channels, int32_t strength, int32_t max) {
  using Int = typename Unsharp<Sample>::Int;
  const Unsharp<Sample> op{static_cast<Int>(strength), static_cast<Int>(max)};
  if (channels == 1)
    Rows<Sample, 1>(f, op);
  else
    Rows<Sample, 3>(f, op);
}

}  // namespace
}  // namespace quorel::sharpen
