// Per-channel corrections on the Bayer mosaic: the automatic white balance
// that measures the red and blue Bayer gains for demosaicing, and the gray
// filter modes with their per-site gains and offsets, automatic gray balance
// and luminance.
//
// Site classes. With the effective Bayer mode m (the Bayer mode with the
// mirror settings folded in), the pixel at memory column x and row y has the
// row class a = (y + (m & 1)) & 1 and the column class b = (x + (m >> 1 & 1)) & 1.
// The two families name the non-green sites differently:
//
//   a b   white balance / demosaic   gray gains, offsets, gray balance
//   0 0   green                      G1
//   0 1   blue                       R
//   1 0   red                        B
//   1 1   green                      G2
//
// The kernels follow the contract of PixelKernel.h and take their parameter
// record by reference; coordinates for the site classes are the source memory
// coordinates of the rectangle. They return 0 without touching anything for
// unusable arguments.
//
// Write-back. The functions after the kernels carry the rules by which the
// frame pipeline turns measurements into camera settings; they read and write
// the camera's filter block and must run where the pipeline runs, under the
// camera's frame lock. Each setting is read and written with one relaxed
// 32-bit atomic operation, as the application may use it at the same time.
//
// Automatic white balance, inside Demosaic when bayerGainAuto is set:
//   WhiteBalanceParams p = MakeWhiteBalanceParams(effectiveMode);
//   int measured = <run BalanceMeans8 or BalanceMeans16 on the mosaic, with p>;
//   if (StoreWhiteBalance(filters, p, measured == 1)) <refresh an open filter dialog>;
//   <demosaic with the gains now in filters>
//
// Gray mode "Bayer convert" (types 0 and 1):
//   GrayParams g = MakeGrayParams(filters, effectiveMode, type == 0 ? 8 : 12);
//   if (GrayAutoGainPending(filters)) {
//     <run GrayBalance on the output mosaic, with g>;
//     StoreGrayParams(filters, g);  <refresh an open filter dialog>;
//     ConsumeGrayAutoGain(filters);
//   }
//   if (!GrayGainsNeutral(g)) <run GrayGainOffset8 or GrayGainOffset16 in place, with g>;
//
// Gray mode "Grayscale": demosaic image8 into image24 (with the white balance
// above), then run Luma24To8 from image24 into image8.
#pragma once

#include <array>
#include <cstdint>

#include "image/PixelKernel.h"
#include "settings/CameraSettings.h"

namespace quorel {

// Record of BalanceMeans8/16: the kernel reads `mode` and writes the gains.
struct WhiteBalanceParams {
  int32_t blueGain = 100;
  int32_t greenGain = 100;
  int32_t redGain = 100;
  int32_t mode = 0;  // effective Bayer mode 0 .. 3
};
static_assert(sizeof(WhiteBalanceParams) == 16);

// Gray sites in the order of the gray parameter record.
enum GraySite : int { kGrayR = 0, kGrayG1 = 1, kGrayG2 = 2, kGrayB = 3 };

// Gray parameter record: effective mode, gains R, G1, G2, B (128 = unity),
// offsets R, G1, G2, B, significant bits (8 for image8, 12 for image16).
struct GrayParams {
  int32_t mode = 0;
  int32_t gains[4] = {128, 128, 128, 128};
  int32_t offsets[4] = {0, 0, 0, 0};
  int32_t bits = 8;
};
static_assert(sizeof(GrayParams) == 40);

// Highest sample value for a significant bit count: 255 for 8, 1023 for 10,
// 4095 for 12, 16383 for 14, otherwise 65535.
int32_t GraySaturationValue(int32_t bits);

// Automatic white balance measurement over the mosaic (8- or 16-bit samples).
// Sums every sample into its class (green, blue, red), then with the class
// means mG, mB, mR and S = mG + mB + mR, t = S / mG / 3:
//   blue = trunc(S / mB / 3 * 100 / t), red = trunc(S / mR / 3 * 100 / t),
//   green = 100
// (100 * mG / mB and 100 * mG / mR, evaluated in that order). A gain that has
// no upper bound (its class averages 0) is written as INT32_MAX; the store
// limits it to 400. Returns 1 with the gains written, or 0 leaving the record
// unchanged when a class has no sample or no gain is defined (every class
// averages 0). Thread context: any thread; no shared state.
int BalanceMeans8(const FrameView &dst, const ConstFrameView &src, WhiteBalanceParams &p);
int BalanceMeans16(const FrameView &dst, const ConstFrameView &src, WhiteBalanceParams &p);

// The two balance measurements split into sums and gains, for pipelines that
// measure in row bands: the sums of each site class (index a * 2 + b) over a
// view's rectangle (8- or 16-bit samples by its pixel size; nothing for other
// sizes or unusable views), added up over the bands, then the gains from the
// totals. BalanceMeans and GrayBalance are BalanceGains(BalanceSums) and
// GrayBalanceGains(GrayBalanceSums) over their rectangle, with the same
// results.
struct SiteSums {
  std::array<uint64_t, 4> sum{};
  std::array<uint64_t, 4> count{};
  void Add(const SiteSums &other);
};
SiteSums BalanceSums(const ConstFrameView &mosaic, int32_t mode);
int BalanceGains(const SiteSums &sums, WhiteBalanceParams &p);
SiteSums GrayBalanceSums(const ConstFrameView &mosaic, const GrayParams &p);
int GrayBalanceGains(const SiteSums &sums, GrayParams &p);

// Automatic gray balance over the gray mosaic (8-bit or 16-bit samples, by the
// source pixel size). Leaves out samples equal to 0 or to the saturation value
// of the record's bits; with H the largest class mean, each gain becomes
// trunc(H / mean * 128) (128 or more, no upper limit). When a class has no
// usable sample nothing is changed. Returns 1.
int GrayBalance(const FrameView &dst, const ConstFrameView &src, GrayParams &p);

// Gray gain and offset per site: offset + (gain * sample) / 128 (truncating
// toward zero), limited to 0 .. 255 (8-bit) or 0 .. GraySaturationValue(bits)
// (16-bit). Run in place on image8 / image16. Returns 1.
int GrayGainOffset8(const FrameView &dst, const ConstFrameView &src, const GrayParams &p);
int GrayGainOffset16(const FrameView &dst, const ConstFrameView &src, const GrayParams &p);

// Luminance of a 24- or 32-bit colour image into an 8-bit image:
// Y = (30 R + 59 G + 11 B) / 100. No parameters. Returns 1.
int Luma24To8(const FrameView &dst, const ConstFrameView &src);

// --- Write-back rules -------------------------------------------------------

// A record for BalanceMeans8/16 with unity gains and the effective mode.
WhiteBalanceParams MakeWhiteBalanceParams(int effectiveMode);

// Whether the white balance is to stop after one measurement: both awbOnce
// flags are non-zero.
bool AwbOnceSet(FilterBlock &filters);

// Ends one automatic white balance. When `measured`, stores bayerGainRed and
// bayerGainBlue limited to 0 .. 400 and bayerGainGreen = 100. Then, when
// awbOnce is set, clears bayerGainAuto and both awbOnce flags (also after a
// frame that could not be measured, so a "Once" request never lingers).
// Returns true when the gains were stored: the caller then refreshes an open
// image-filter dialog.
bool StoreWhiteBalance(FilterBlock &filters, const WhiteBalanceParams &measured, bool wasMeasured);

// A gray parameter record from the camera's gray gains and offsets.
GrayParams MakeGrayParams(FilterBlock &filters, int effectiveMode, int bits);

// Whether the automatic gray balance is to run on this frame (grayAutoGain
// non-zero: 1 for once, -1 for every frame).
bool GrayAutoGainPending(FilterBlock &filters);

// Counts one gray balance measurement: grayAutoGain decreases by 1, so 1
// becomes 0 and -1 keeps counting down; it stops at the lowest 32-bit value
// instead of wrapping round to a positive count.
void ConsumeGrayAutoGain(FilterBlock &filters);

// Copies the record's four gains and four offsets back into the camera.
void StoreGrayParams(FilterBlock &filters, const GrayParams &params);

// True when all four gains are exactly 128: the gain and offset step is then
// skipped, offsets included.
bool GrayGainsNeutral(const GrayParams &params);

}  // namespace quorel
