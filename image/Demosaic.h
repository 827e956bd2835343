// Bayer demosaicing: bilinear interpolation at the centre of each 2 x 2 cell,
// in integer arithmetic, with the red and blue gains folded into one multiply.
//
// Site classes. With the effective mode m, row phase pr = m & 1 and column
// phase pc = (m >> 1) & 1, the pixel in memory column x, row y has the row
// class a = (y + pr) & 1 and the column class b = (x + pc) & 1:
//
//   a b   colour            mode 0: G B G B    mode 1: R G R G
//   0 0   green                     R G R G            G B G B
//   0 1   blue              mode 2: B G B G    mode 3: G R G R
//   1 0   red                       G R G R            B G B G
//   1 1   green
//
// Output pixel (x, y) is the centre of the cell {x-1, x} x {y-1, y}:
//
//        x-2  x-1   x   x+1
//   y-2   .    .    .    .      The cell's red (or blue) site has weight 9;
//   y-1   .   [c]  [c]   .      the next site of that colour on the far side
//   y     .   [c]  [c]   .      of the cell centre along the row and the
//   y+1   .    .    .    .      column has 3, the diagonal one 1.
//
// Green is the truncated mean of the cell's two green sites. Red and blue are
// min((S * K) >> 11, max) with S the 9/3/3/1 weighted sum and K = gain * 128 /
// 100 (truncated), so gains of 100 give the truncated bilinear mean.
//
// Two passes: the interior pass covers every pixel at least two pixels from
// each edge of the rectangle without any bounds test; the border pass covers
// the two outer rows and columns on each side, where a neighbour outside the
// image is moved 4 pixels inwards (which keeps its colour).
//
// Small images: when the rectangle has fewer than 4 columns (or rows), moving
// by 4 would still land outside, so a neighbour outside is moved by 2 instead
// (also colour-preserving: column -1 of a 3-wide image reads column 1). Only a
// 1-pixel-wide (or -high) image cannot supply the other column (row) class at
// all; there the coordinate is clamped to the single column (row), so the
// missing colour is taken from the one sample present. No sample outside the
// rectangle is ever read.
//
// Kernels follow the pixel-kernel contract (image/PixelKernel.h). The
// source rectangle is the mosaic to demosaic: neighbours are taken within
// it; the classes come from absolute memory coordinates. The parameters are a
// DemosaicParams record. Pairs supported: 8-bit mosaic (source 1 byte per
// pixel) into 3 or 4 destination bytes per pixel, 16-bit mosaic (2 bytes,
// 12-bit values) into 6 or 8 bytes (16-bit words). The fourth byte or word of
// a 4- or 8-byte pixel is never written. Any other pair, null pixels, a
// rectangle outside either image, or a stride too short for the rectangle
// returns 0 and writes nothing; otherwise the kernels return 1.
//
// Thread context: plain functions over caller-owned memory; reentrant.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"

namespace quorel {

// The parameter record of the demosaic and defect kernels.
struct DemosaicParams {
  int32_t mode = 3;         // effective Bayer mode, 0 to 3 (only its low two bits are used)
  int32_t gainRed = 100;    // 0 to 400, 100 = unity; values outside are limited to that range
  int32_t gainGreen = 100;  // carried for the white balance; green is never scaled
  int32_t gainBlue = 100;   // 0 to 400
};

// The Bayer mode with the sensor's mirroring folded in: a vertical mirror
// exchanges modes 0/1 and 2/3, a horizontal one 0/2 and 1/3.
int EffectiveBayerMode(int bayerMode, int mirrorH, int mirrorV);

// Red or blue multiplier for a gain: trunc(gain * 1.28), computed exactly as
// gain * 128 / 100 after limiting the gain to 0..400 (so products of the
// weighted sums stay far inside 32 bits).
int BayerGainMultiplier(int gain);

// Which SIMD path the automatic demosaic and defect kernels use now: the
// active CPU path (image/CpuPath.h), AVX-512 taking the AVX2 code except in
// the interior of 8-bit mosaics, which has an AVX-512 pass. The fixed
// SIMD paths below fall back to SSE2 when this is not kAvx2.
enum class SimdPath { kScalar, kSse2, kAvx2 };
SimdPath ActiveSimdPath();

#define QUOREL_DECLARE_KERNEL(name) \
  int name(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params)

// The pipeline's kernels: the fastest path the CPU supports.
QUOREL_DECLARE_KERNEL(DemosaicInterior8);
QUOREL_DECLARE_KERNEL(DemosaicInterior16);
QUOREL_DECLARE_KERNEL(DemosaicBorder8);
QUOREL_DECLARE_KERNEL(DemosaicBorder16);

// Fixed paths of the interior kernels, for comparison and measurement. All
// give identical results; a SIMD path the CPU lacks falls back to the next
// narrower one.
QUOREL_DECLARE_KERNEL(DemosaicInterior8Scalar);
QUOREL_DECLARE_KERNEL(DemosaicInterior8Sse2);
QUOREL_DECLARE_KERNEL(DemosaicInterior8Avx2);
QUOREL_DECLARE_KERNEL(DemosaicInterior8Avx512);
QUOREL_DECLARE_KERNEL(DemosaicInterior16Scalar);
QUOREL_DECLARE_KERNEL(DemosaicInterior16Sse2);
QUOREL_DECLARE_KERNEL(DemosaicInterior16Avx2);

#undef QUOREL_DECLARE_KERNEL

}  // namespace quorel
