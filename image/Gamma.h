// Gamma tone filter: every significant sample is replaced by
// T[sample] = trunc((sample / scale)^gamma * max) from a table built per call.
//
// The exponent comes from the setting g (0 .. 200): (g - 100) / 10 + 1 above
// 100, g / 100 otherwise, so 100 is neutral and values below 100 brighten.
// 8-bit tables normalise by 255; 16-bit tables have 2^bits entries and
// normalise by 2^bits (not 2^bits - 1), and a sample beyond the table takes
// its last entry. GammaColor8 limits the exponent to 0.001 .. 99.999,
// GammaGray8 does not (gamma 0 turns every gray sample, 0 included, into 255).
//
// Kernel contract of PixelKernel.h with a ToneParams record. Colour variants
// touch blue, green and red only, never the fourth byte or word. Thread
// context: any thread; no shared state. Returns 1, or 0 for unusable arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

// The exponent for a gamma setting (double precision).
double GammaExponent(int32_t setting);

int GammaGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int GammaGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int GammaColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int GammaColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);

}  // namespace quorel
