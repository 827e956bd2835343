// Contrast tone filter with the setting c (-127 .. 127), through a table built
// per call.
//
// 8-bit: T[i] = 0 below c, 255 above 255 - c, otherwise
// trunc(256 / (256 - 2c) * (i - c)). A positive c stretches, a negative one
// compresses toward the middle.
// 16-bit, N = 2^bits, o = c * 2^(bits - 8): T[i] = 0 below o, N - 1 above
// N - o - 1, otherwise trunc(N / (N - 2o) * (i - o)); the whole table is 0
// when o exceeds N / 2 - 1. A sample of N or more becomes N - 1.
//
// Kernel contract of PixelKernel.h with a ToneParams record. Colour variants
// touch blue, green and red only. Thread context: any thread; no shared state.
// Returns 1, or 0 for unusable arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

int ContrastGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int ContrastGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int ContrastColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int ContrastColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);

}  // namespace quorel
