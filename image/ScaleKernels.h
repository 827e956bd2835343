// Nearest-neighbour scaling kernels of the preview, run through
// DibImage::ApplyScaleKernel. The output is flipped vertically: destination
// row y of the rectangle reads source memory row (source bottom - r - 1).
//
// For destination pixel (x, y) of the destination view's rectangle, with
// sx = source width / destination width and sy = source height / destination
// height of the rectangles, both in single precision, the source column is
// source left + trunc(x * sx) and the source row index r = trunc(y * sy), each
// limited to the source image. The destination image size is not read.
//
// Thread context: plain functions over caller-owned memory; reentrant.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"

namespace quorel {

// Copies 3 bytes per pixel (24-bit colour).
int ScaleNearestColor(const FrameView &dst, const ConstFrameView &src);

// Copies 1 byte per pixel (8-bit gray).
int ScaleNearestGray(const FrameView &dst, const ConstFrameView &src);

}  // namespace quorel
