// Format-conversion kernels used by the display, save and recording paths.
//
// All follow the pixel-kernel contract (image/PixelKernel.h), take no
// parameters and return 1; a kernel handed images of a depth it does not
// convert returns 0 and touches nothing. "Flip" kernels write destination row
// i from source row (bottom - 1 - i) of the rectangle, turning the picture
// upside down in memory as bottom-up files need. Shifts are by 4: they map
// the 12-bit samples of the 16-bit formats onto 8 bits (right shift, low 8
// bits kept) or onto the full 16-bit range (left shift).
//
// Thread context: plain functions over caller-owned memory; reentrant.
#pragma once

#include <cstdint>

#include "image/PixelKernel.h"

namespace quorel {

// Packed rows (width x bytes per sample each, back to back) moved in place to
// their stride positions, last row first. rect gives the image size; dst and
// src are the same memory.
int StrideRows8(const FrameView &dst, const ConstFrameView &src);
int StrideRows16(const FrameView &dst, const ConstFrameView &src);

// 16-bit gray to 8 bits (>> 4), straight or flipped.
int Gray16To8Shr4(const FrameView &dst, const ConstFrameView &src);
int Gray16To8Shr4Flip(const FrameView &dst, const ConstFrameView &src);
// 16-bit gray to 16 bits (<< 4).
int Gray16Shl4(const FrameView &dst, const ConstFrameView &src);
// 32-bit colour to 24 bits, fourth byte dropped.
int Color32To24(const FrameView &dst, const ConstFrameView &src);
// 48- or 64-bit colour to 24 bits (>> 4), straight or flipped.
int Color16To24Shr4(const FrameView &dst, const ConstFrameView &src);
int Color16To24Shr4Flip(const FrameView &dst, const ConstFrameView &src);
// 48- or 64-bit colour to 48 bits (<< 4), order kept or written red, green, blue.
int Color16To48Shl4(const FrameView &dst, const ConstFrameView &src);
int Color16To48Shl4Swap(const FrameView &dst, const ConstFrameView &src);
// 48- or 64-bit colour to 64 bits (<< 4), fourth word 0xFFFF; order kept or swapped.
int Color16To64Shl4(const FrameView &dst, const ConstFrameView &src);
int Color16To64Shl4Swap(const FrameView &dst, const ConstFrameView &src);
// 24- or 32-bit colour to 24 bits, flipped.
int Color24CopyFlip(const FrameView &dst, const ConstFrameView &src);
// Whole rows of any depth (the smaller of the two strides), flipped.
int RowCopyFlip(const FrameView &dst, const ConstFrameView &src);
// 24- or 32-bit colour to 24 bits written red, green, blue.
int Color24SwapRB(const FrameView &dst, const ConstFrameView &src);
// 32-bit to 32-bit, fourth byte replaced by 255 minus itself.
int Color32InvertFourth(const FrameView &dst, const ConstFrameView &src);

}  // namespace quorel
