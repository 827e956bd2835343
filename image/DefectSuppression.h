// Defective-pixel suppression on the raw Bayer mosaic, in place.
//
// Every pixel at least two pixels from each edge of the rectangle is visited
// row by row, left to right, and sees the corrections already made to the
// pixels before it. With v the sample and A the truncated mean of the four
// same-colour samples two pixels away along the row and the column:
//
//          .   .   A   .   .
//          .   n   n   n   .        n: the eight immediate neighbours
//          A   n   v   n   A
//          .   n   n   n   .
//          .   .   A   .   .
//
// 16-bit (12-bit values, threshold 480): v is replaced by A when |v - A| is
// at least the threshold and every one of the eight neighbours differs from
// v by at least the threshold too (an isolated outlier, bright or dark; two
// adjacent defects protect each other).
//
// 8-bit (threshold 30): only bright outliers, v - A at least the threshold,
// are considered; v is replaced by A when the colour estimated at the pixel
// (EstimateColor8) has at least two of |R - G|, |R - B|, |G - B| above 30.
//
// Kernel views (pixel-kernel contract, image/PixelKernel.h): the step runs
// in place, so both views must name the same memory with the same stride and
// the destination rectangle at the source rectangle; 1 (8-bit) or 2 (16-bit)
// bytes per pixel. The DemosaicParams record (effective mode and gains) is
// read by the 8-bit variant only; threshold is kDefectThreshold8 or
// kDefectThreshold16 in the pipeline. Arguments outside these rules leave the
// mosaic untouched. SuppressDefects8 returns the number of samples replaced
// (0 for rejected arguments); SuppressDefects16 always returns 0.
//
// Thread context: plain functions over caller-owned memory; reentrant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/Demosaic.h"
#include "image/PixelKernel.h"

namespace quorel {

inline constexpr int32_t kDefectThreshold8 = 30;
inline constexpr int32_t kDefectThreshold16 = 480;

// The demosaic interpolation at (x, y) of an 8-bit mosaic with rows `stride`
// bytes apart, packed as red << 16 | green << 8 | blue. Red and blue keep
// only the low 8 bits of (S * K) >> 11 (no clamp). (x, y) must lie at least
// two columns and rows from the left and top and one from the right and
// bottom of the mosaic.
uint32_t EstimateColor8(const uint8_t *mosaic, size_t stride, int x, int y, const DemosaicParams &params);

int SuppressDefects8(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params, int32_t threshold);
int SuppressDefects16(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params, int32_t threshold);

// The same steps one pixel at a time, without the SIMD pre-screening of
// candidates; identical results. For comparison and measurement.
int SuppressDefects8Scalar(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params,
                           int32_t threshold);
int SuppressDefects16Scalar(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params,
                            int32_t threshold);

}  // namespace quorel
