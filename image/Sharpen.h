// Sharpness tone filter (unsharp masking) with the setting s (0 .. 30).
//
// For every pixel at least two pixels inside each edge of the rectangle, and
// each significant sample o of it, with b the mean (sum >> 4) of the 4 x 4
// source samples at columns x-2 .. x+1 and rows y-2 .. y+1:
//   result = o + trunc(s * (o - b) / 10), limited to 0 .. max
// (max 255, or 2^bits - 1 for 16-bit samples). The two outermost rows and
// columns of the destination are not written.
//
//   . . . .      the box of (x, y) marked X: two columns and rows before it,
//   . . . .      one after
//   . . X .
//   . . . .
//
// The source must be a separate copy of the image (the frame pipeline passes
// sharpenCopy): a call whose destination overlaps its source does nothing and
// returns 0, since the box means would read samples already sharpened.
//
// Kernel contract of PixelKernel.h with a ToneParams record. Colour variants
// touch blue, green and red only. Allocates one row of column sums per call
// (and, for 32- and 64-bit pixels, one scratch row). The strength is kept to
// -128 .. 128 (8-bit) or -64 .. 64 (16-bit), beyond the setting range.
// Thread context: any thread; no shared state. Returns 1, or 0 for unusable
// arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

int SharpenGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int SharpenGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int SharpenColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);
int SharpenColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p);

}  // namespace quorel
