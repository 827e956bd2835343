// Turns device-independent rows (8-bit palette indices, or 24-bit blue,
// green, red) into the pixel layout of an X visual, one pass per row.
//
// The layout is a TrueColor visual's: channel masks and the bits per pixel
// of its ZPixmap format (16, 24 or 32), pixels stored least significant
// byte first. The common 32-bit layout with red 0xff0000, green 0xff00 and
// blue 0xff has a fast path; every other layout goes through per-channel
// lookup tables.
//
// Thread context: immutable after construction; Convert is reentrant.
#pragma once

#include <array>
#include <cstdint>

#include "platform/GuiModule.h"

namespace quorel::gui {

struct PixelLayout {
  int bitsPerPixel = 32;
  uint32_t redMask = 0xff0000;
  uint32_t greenMask = 0x00ff00;
  uint32_t blueMask = 0x0000ff;

  // Masks that are contiguous, non-empty and fit the pixel size.
  bool Valid() const;
};

class PixelConverter {
 public:
  explicit PixelConverter(const PixelLayout &layout);

  const PixelLayout &layout() const { return layout_; }
  int BytesPerPixel() const { return layout_.bitsPerPixel / 8; }

  // Writes the top-left width x height pixels of `image` (as it appears on
  // screen, honouring bottomUp) into dst, whose rows are dstStride bytes.
  // The caller guarantees width <= image width and height <= image height.
  void Convert(const QuorelGuiImage &image, int width, int height, uint8_t *dst, int dstStride) const;

 private:
  uint32_t Pack(uint8_t red, uint8_t green, uint8_t blue) const;
  void Store(uint8_t *dst, uint32_t pixel) const;

  PixelLayout layout_;
  bool bgrx32_ = false;
  // Each channel's 8-bit value already shifted into place.
  std::array<uint32_t, 256> red_{};
  std::array<uint32_t, 256> green_{};
  std::array<uint32_t, 256> blue_{};
};

}  // namespace quorel::gui
