// The calling contract shared by every pixel kernel of the image pipeline.
//
// A kernel receives destination and source pixel memory (the same memory for
// an in-place step), the rectangle to process in source memory coordinates
// (left, top, right, bottom; right and bottom exclusive), the destination
// position matching the rectangle's top left, bytes per pixel and strides of
// both images, and two parameter pointers whose meaning each kernel defines.
// It returns 1 unless the kernel documents another result. Kernels never
// allocate image memory.
#pragma once

#include <cstdint>

namespace quorel {

struct KernelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

using PixelKernel = int (*)(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                            int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *p1,
                            void *p2);

// Scaling kernels (preview) take destination and source rectangles instead.
using ScaleKernel = int (*)(uint8_t *dst, const uint8_t *src, const KernelRect &dstRect, const KernelRect &srcRect,
                            int dstWidth, int dstHeight, int srcWidth, int srcHeight, int dstBytesPerPixel,
                            int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2);

}  // namespace quorel
