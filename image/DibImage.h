// The image buffer that holds every converted image: pixel memory the kernels
// address directly, the bitmap description written into BMP files, and the
// clipped dispatch of pixel kernels over it.
//
// Pixel memory is zeroed heap memory at every depth (untouched pages cost
// nothing until used). Rows are `stride`
// bytes long (width x bytes per pixel raised to a multiple of 4), memory row 0
// first. The header's positive height marks the image as bottom-up, so in
// bitmap coordinates (the rectangles of Draw and ApplyKernel) row 0 is the
// last memory row.
//
// Thread context: not synchronised; the owner (the camera object's frame lock,
// or a local temporary) guards each image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "image/PixelKernel.h"
#include "platform/ZeroedBytes.h"

namespace quorel {

#pragma pack(push, 1)
// Field for field the 40-byte bitmap header of BMP files, little-endian.
struct BitmapInfoHeader {
  uint32_t size = 40;
  int32_t width = 0;
  int32_t height = 0;
  uint16_t planes = 0;
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xPelsPerMeter = 0;
  int32_t yPelsPerMeter = 0;
  uint32_t clrUsed = 0;
  uint32_t clrImportant = 0;
};

struct RgbQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
};

struct BitmapInfo {
  BitmapInfoHeader header;
  RgbQuad colors[256];
};
#pragma pack(pop)

static_assert(sizeof(BitmapInfoHeader) == 40, "bitmap header must be 40 bytes");
static_assert(sizeof(RgbQuad) == 4, "colour table entry must be 4 bytes");
static_assert(sizeof(BitmapInfo) == 1064, "header plus colour table must be 1064 bytes");

class DibImage {
 public:
  // Largest pixel memory an image may own (height x stride). A full frame at
  // 64 bits per pixel is about 73 MB; anything near this cap is a bad size.
  static constexpr size_t kMaxPixelBytes = size_t{1} << 30;

  // SetPalette modes.
  static constexpr int kPaletteGray = 0;
  static constexpr int kPaletteEntries = 2;

  DibImage();
  ~DibImage();
  DibImage(const DibImage &) = delete;
  DibImage &operator=(const DibImage &) = delete;
  DibImage(DibImage &&other) noexcept;
  DibImage &operator=(DibImage &&other) noexcept;

  // Sizes the image anew with zeroed pixels; an 8-bit image gets the gray
  // palette. Returns 0 and leaves the image as it was for a width or height
  // <= 0, a depth other than 8, 16, 24, 32, 48 or 64, or a size whose pixel
  // memory would overflow or exceed kMaxPixelBytes. Returns 0 and leaves the
  // image empty when memory runs out; 1 on success.
  int Create(int width, int height, int bitsPerPixel);

  // Same header, width, height, stride and depth as source (not its colour
  // table, not its pixels; an 8-bit copy gets the gray palette). Returns 0
  // when source is null or empty, leaving this image as it was.
  int CopyFormat(const DibImage *source);

  // Makes this image an exact copy of source: header, colour table, size,
  // stride and pixels. Keeps its own pixel memory when the size matches
  // (one pass over the pixels), else allocates anew. Returns 0 and leaves
  // this image empty when source is empty or memory runs out; 1 on success.
  int CopyFrom(const DibImage &source);

  // Frees the pixel memory and zeroes every field; the header size stays 40.
  void Release();

  // Mode 0 writes the gray ramp into all 256 entries; mode 2 sets `count`
  // entries from `start` to the given colours (entries outside 0..255 and a
  // null colour array are ignored). Other modes do nothing. Returns 1.
  int SetPalette(int mode, const RgbQuad *colors = nullptr, int start = 0, int count = 256);

  // Block copy of rect of source (null: the whole source) to (x, y) of this
  // image, both in bitmap coordinates, clipped against both images. Supports
  // equal depths and 8-bit palette to 24 bits (through source's colour
  // table). Returns 1 on success (also when clipping leaves nothing), 0 for
  // an empty image, source being this image, or an unsupported pair of depths.
  int Draw(const DibImage &source, const KernelRect *rect, int x, int y);

  // Whole-image copy mirrored vertically (this row i = source row height-1-i)
  // between images of equal width and height: equal depths, 32 to 24 bits
  // (the fourth byte is dropped) and 8 bits to 24 through the colour table.
  // Returns 1 on success, 0 for a size or depth mismatch.
  int StretchMirrorFrom(const DibImage &source);

  // Runs kernel with this image as destination and the given parameters;
  // rect (null: the whole source) and (x, y) are bitmap coordinates, clipped
  // against both images and converted to memory rows. Returns 0 without
  // calling the kernel when nothing remains or kernel is null, otherwise the
  // kernel's result.
  template <typename... Params>
  int ApplyKernel(PixelKernel<Params...> kernel, const DibImage &source, const KernelRect *rect, int x, int y,
                  std::type_identity_t<Params>... params) {
    FrameView dst;
    ConstFrameView src;
    if (kernel == nullptr || !KernelViews(source, rect, x, y, dst, src)) return 0;
    return kernel(dst, src, params...);
  }

  // The views ApplyKernel hands to a kernel: false when nothing remains after
  // clipping (or either image is empty), leaving dst and src unspecified.
  bool KernelViews(const DibImage &source, const KernelRect *rect, int x, int y, FrameView &dst, ConstFrameView &src);

  // Views of the whole image, rectangle included.
  FrameView View();
  ConstFrameView View() const;

  // Runs a scaling kernel without clipping; null rectangles mean the whole
  // image. Returns 0 for a null kernel or an empty image, else its result.
  int ApplyScaleKernel(ScaleKernel kernel, const DibImage &source, const KernelRect *sourceRect,
                       const KernelRect *destRect);

  // Writes the image as a BMP file (14-byte file header, the 40-byte header,
  // the colour table for 8 bits, then height x stride bytes memory row 0
  // first). Returns 1 once the file is open, 0 when it cannot be opened or
  // the image is empty.
  int WriteBmp(const char *path) const;

  uint8_t *pixels() { return pixels_.get(); }
  const uint8_t *pixels() const { return pixels_.get(); }
  int width() const { return width_; }
  int height() const { return height_; }
  int stride() const { return stride_; }
  int bitsPerPixel() const { return bitsPerPixel_; }
  int bytesPerPixel() const { return bitsPerPixel_ / 8; }
  size_t pixelBytes() const { return static_cast<size_t>(height_) * static_cast<size_t>(stride_); }
  bool empty() const { return pixels_ == nullptr; }
  const BitmapInfoHeader &header() const { return info_.header; }
  const BitmapInfo &info() const { return info_; }

  // Stride of a row of `width` pixels at `bitsPerPixel`, 0 when it would not
  // fit a signed 32-bit integer.
  static int StrideFor(int width, int bitsPerPixel);
  // The depths an image can have: 8, 16, 24, 32, 48 and 64 bits per pixel.
  static bool IsSupportedDepth(int bitsPerPixel);

 private:
  bool Allocate();

  BitmapInfo info_;
  ZeroedBytes pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t stride_ = 0;
  uint16_t bitsPerPixel_ = 0;
};

}  // namespace quorel
