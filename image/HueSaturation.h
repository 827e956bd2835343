// Hue and saturation tone filter for colour images, in the fixed-point hue,
// lightness and saturation model: a hue circle of 1530 steps (six sextants of
// 255), lightness carried as max + min, chroma as max - min.
//
// The hue setting (degrees, -360 .. 360) rotates every pixel around the hue
// circle; the saturation setting S (-255 .. 255) scales its chroma by
// (S + 256) / 256, limited so that the pixel stays within range. Gray pixels
// stay gray.
//
// HueSaturationColor16 works on the top 8 of the significant bits of each
// sample and stores each channel shifted back, so the low (bits - 8) bits of
// its results are 0.
//
// Tables. The fixed tables (gray levels, reciprocals) are built once per
// process. The tables that depend on the saturation are immutable and shared:
// the set built last is kept behind a mutex, and a call whose saturation
// differs builds and publishes a new set while calls still holding the old one
// finish with it. Every call therefore sees tables built for its own
// saturation, also when several cameras convert frames at the same time.
//
// Kernel contract of PixelKernel.h with a HueSaturationParams record. Only
// blue, green and red are written; the fourth byte or word of 32- and 64-bit
// pixels is never touched. Thread context: any thread. Returns 1, or 0 for
// unusable arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

int HueSaturationColor8(const FrameView &dst, const ConstFrameView &src, const HueSaturationParams &p);
int HueSaturationColor16(const FrameView &dst, const ConstFrameView &src, const HueSaturationParams &p);

}  // namespace quorel
