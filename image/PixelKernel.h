// The calling contract shared by every pixel kernel of the image pipeline.
//
// A kernel receives a view of the destination image and a view of the source
// image (the same memory for an in-place step) and then its own typed
// parameters, if any. Each view names the image's pixel memory, row stride,
// size, bytes per pixel and the rectangle of it to process, in memory
// coordinates (left, top, right, bottom; right and bottom exclusive). The
// source rectangle is the area the kernel reads and converts; the destination
// rectangle starts at the position matching the source rectangle's top left
// and has the same size. A kernel returns 1 unless it documents another
// result, and 0 without touching anything for arguments it cannot use.
// Kernels never allocate image memory.
#pragma once

#include <cstdint>
#include <type_traits>

namespace quorel {

struct KernelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// One image as a kernel sees it.
template <typename Byte>
struct BasicFrameView {
  Byte *pixels = nullptr;
  int32_t stride = 0;         // bytes from one memory row to the next
  int32_t width = 0;          // the whole image, in pixels
  int32_t height = 0;         // the whole image, in rows
  int32_t bytesPerPixel = 0;  // the depth, 1 to 8 bytes
  KernelRect rect;            // the pixels to process, in memory coordinates

  int32_t RectWidth() const { return rect.right - rect.left; }
  int32_t RectHeight() const { return rect.bottom - rect.top; }

  // A writable view is also a read-only one.
  operator BasicFrameView<const Byte>() const requires(!std::is_const_v<Byte>) {
    return BasicFrameView<const Byte>{pixels, stride, width, height, bytesPerPixel, rect};
  }
};

using FrameView = BasicFrameView<uint8_t>;
using ConstFrameView = BasicFrameView<const uint8_t>;

// A kernel with the parameters Params (references to its parameter records,
// or plain values); PixelKernel<> takes none.
template <typename... Params>
using PixelKernel = int (*)(const FrameView &dst, const ConstFrameView &src, Params... params);

// Scaling kernels (preview) read the source view's rectangle and fill the
// destination view's rectangle, which may differ in size.
using ScaleKernel = int (*)(const FrameView &dst, const ConstFrameView &src);

}  // namespace quorel
