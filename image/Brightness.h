// Brightness tone filter: a gain in single precision.
//
// The factor for the setting v (-255 .. 255) is 1 - |v| / 255 below 0 and
// 1 + 10v / 255 above 0 (computed in double, kept as float), so -255 gives 0
// and 255 gives 11. Every significant sample becomes trunc(sample * factor),
// limited to 0 .. 255 (8-bit) or 0 .. 2^bits - 1 (16-bit).
//
// Kernel contract of PixelKernel.h with a ToneParams record. Colour variants
// touch blue, green and red only. Thread context: any thread; no shared state.
// Returns 1, or 0 for unusable arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

// The single-precision factor for a brightness setting.
float BrightnessFactor(int32_t setting);

int BrightnessGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int BrightnessGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int BrightnessColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int BrightnessColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);

}  // namespace quorel
