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
// Kernel contract of PixelKernel.h; p1 points to a ToneParams. Colour variants
// touch blue, green and red only. Thread context: any thread; no shared state.
// Returns 1, or 0 for unusable arguments.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"
#include "image/ToneParams.h"

namespace quorel {

int ContrastGray8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                  int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2);
int ContrastGray16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                   int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2);
int ContrastColor8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                   int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2);
int ContrastColor16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2);

}  // namespace quorel
