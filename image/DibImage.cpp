#include "image/DibImage.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "platform/SafeFile.h"

namespace quorel {

static_assert(std::endian::native == std::endian::little, "BMP headers are written as held in memory");

namespace {

// Rows of equal depth, memory row order kept (both images are bottom-up, so
// bitmap and memory rows run in the same direction between them).
int CopyRowsKernel(const FrameView &dst, const ConstFrameView &src) {
  const KernelRect &rect = src.rect;
  const size_t rowBytes = static_cast<size_t>(rect.right - rect.left) * static_cast<size_t>(src.bytesPerPixel);
  for (int row = rect.top; row < rect.bottom; ++row) {
    const uint8_t *s = src.pixels + static_cast<size_t>(row) * static_cast<size_t>(src.stride) +
                       static_cast<size_t>(rect.left) * static_cast<size_t>(src.bytesPerPixel);
    uint8_t *d = dst.pixels + static_cast<size_t>(dst.rect.top + (row - rect.top)) * static_cast<size_t>(dst.stride) +
                 static_cast<size_t>(dst.rect.left) * static_cast<size_t>(dst.bytesPerPixel);
    std::memmove(d, s, rowBytes);
  }
  return 1;
}

// 8-bit palette indices to 24-bit blue, green, red through a colour table.
int PaletteTo24Kernel(const FrameView &dst, const ConstFrameView &src, const RgbQuad *table) {
  const KernelRect &rect = src.rect;
  const size_t width = static_cast<size_t>(rect.right - rect.left);
  for (int row = rect.top; row < rect.bottom; ++row) {
    const uint8_t *s =
        src.pixels + static_cast<size_t>(row) * static_cast<size_t>(src.stride) + static_cast<size_t>(rect.left);
    uint8_t *d = dst.pixels + static_cast<size_t>(dst.rect.top + (row - rect.top)) * static_cast<size_t>(dst.stride) +
                 static_cast<size_t>(dst.rect.left) * 3;
    for (size_t i = 0; i < width; ++i) {
      const RgbQuad &c = table[s[i]];
      d[3 * i] = c.blue;
      d[3 * i + 1] = c.green;
      d[3 * i + 2] = c.red;
    }
  }
  return 1;
}

struct Span {
  int64_t left, top, right, bottom;
};

}  // namespace

DibImage::DibImage() = default;

DibImage::~DibImage() = default;

DibImage::DibImage(DibImage &&other) noexcept {
  *this = std::move(other);
}

DibImage &DibImage::operator=(DibImage &&other) noexcept {
  if (this != &other) {
    info_ = other.info_;
    pixels_ = std::move(other.pixels_);
    width_ = other.width_;
    height_ = other.height_;
    stride_ = other.stride_;
    bitsPerPixel_ = other.bitsPerPixel_;
    other.Release();
  }
  return *this;
}

int DibImage::StrideFor(int width, int bitsPerPixel) {
  if (width <= 0 || bitsPerPixel <= 0) return 0;
  const int64_t stride = (static_cast<int64_t>(width) * (bitsPerPixel / 8) + 3) & ~int64_t{3};
  if (stride > INT32_MAX) return 0;
  return static_cast<int>(stride);
}

int DibImage::CopyFrom(const DibImage &source) {
  if (&source == this) return empty() ? 0 : 1;
  if (source.empty()) {
    Release();
    return 0;
  }
  if (empty() || pixelBytes() != source.pixelBytes()) {
    Release();
    // Uninitialised memory: every byte is overwritten below.
    pixels_ = AllocateZeroed(source.pixelBytes());
    if (!pixels_) return 0;
  }
  info_ = source.info_;
  width_ = source.width_;
  height_ = source.height_;
  stride_ = source.stride_;
  bitsPerPixel_ = source.bitsPerPixel_;
  std::memcpy(pixels_.get(), source.pixels_.get(), source.pixelBytes());
  return 1;
}

void DibImage::Release() {
  pixels_.reset();
  width_ = 0;
  height_ = 0;
  stride_ = 0;
  bitsPerPixel_ = 0;
  info_ = BitmapInfo{};
  info_.header.size = 40;
}

bool DibImage::Allocate() {
  if (bitsPerPixel_ == 8) SetPalette(kPaletteGray);
  const size_t bytes = pixelBytes();
  pixels_ = AllocateZeroed(bytes);
  if (!pixels_) {
    Release();
    return false;
  }
  return true;
}

int DibImage::Create(int width, int height, int bitsPerPixel) {
  if (width <= 0 || height <= 0 || !DibImage::IsSupportedDepth(bitsPerPixel)) return 0;
  const int stride = StrideFor(width, bitsPerPixel);
  if (stride == 0) return 0;
  if (static_cast<size_t>(height) > kMaxPixelBytes / static_cast<size_t>(stride)) return 0;

  Release();
  info_.header.size = 40;
  info_.header.width = width;
  info_.header.height = height;
  info_.header.planes = 1;
  info_.header.bitCount = static_cast<uint16_t>(bitsPerPixel);
  width_ = width;
  height_ = height;
  stride_ = stride;
  bitsPerPixel_ = static_cast<uint16_t>(bitsPerPixel);
  return Allocate() ? 1 : 0;
}

int DibImage::CopyFormat(const DibImage *source) {
  if (source == nullptr || source == this || source->empty() || source->width_ <= 0 || source->height_ <= 0 ||
      source->bitsPerPixel_ == 0) {
    return 0;
  }
  const BitmapInfoHeader header = source->info_.header;
  const int32_t width = source->width_;
  const int32_t height = source->height_;
  const int32_t stride = source->stride_;
  const uint16_t bits = source->bitsPerPixel_;
  Release();
  info_.header = header;
  width_ = width;
  height_ = height;
  stride_ = stride;
  bitsPerPixel_ = bits;
  return Allocate() ? 1 : 0;
}

int DibImage::SetPalette(int mode, const RgbQuad *colors, int start, int count) {
  if (mode == kPaletteGray) {
    for (int i = 0; i < 256; ++i) {
      const uint8_t v = static_cast<uint8_t>(i);
      info_.colors[i] = RgbQuad{v, v, v, 0};
    }
  } else if (mode == kPaletteEntries && colors != nullptr) {
    for (int i = 0; i < count; ++i) {
      const int64_t entry = static_cast<int64_t>(start) + i;
      if (entry >= 0 && entry < 256) info_.colors[entry] = colors[i];
    }
  }
  return 1;
}

FrameView DibImage::View() {
  return FrameView{pixels_.get(), stride_, width_, height_, bytesPerPixel(), KernelRect{0, 0, width_, height_}};
}

ConstFrameView DibImage::View() const {
  return ConstFrameView{pixels_.get(), stride_, width_, height_, bytesPerPixel(), KernelRect{0, 0, width_, height_}};
}

bool DibImage::KernelViews(const DibImage &source, const KernelRect *rect, int x, int y, FrameView &dst,
                           ConstFrameView &src) {
  if (empty() || source.empty()) return false;
  const KernelRect whole{0, 0, source.width_, source.height_};
  const KernelRect &r = rect != nullptr ? *rect : whole;
  if (r.right <= r.left || r.bottom <= r.top) return false;

  // Destination = source + offset. Intersect the rectangle with the source
  // and with the destination seen from the source, so that both rectangles
  // keep the same size and the same correspondence even when the rectangle
  // reaches past an edge of the source.
  const int64_t offX = static_cast<int64_t>(x) - r.left;
  const int64_t offY = static_cast<int64_t>(y) - r.top;
  Span s{r.left, r.top, r.right, r.bottom};
  s.left = std::max<int64_t>({s.left, 0, -offX});
  s.top = std::max<int64_t>({s.top, 0, -offY});
  s.right = std::min<int64_t>({s.right, source.width_, width_ - offX});
  s.bottom = std::min<int64_t>({s.bottom, source.height_, height_ - offY});
  if (s.right <= s.left || s.bottom <= s.top) return false;
  const Span d{s.left + offX, s.top + offY, s.right + offX, s.bottom + offY};

  // Bitmap rows count from the last memory row.
  src = source.View();
  src.rect = KernelRect{static_cast<int32_t>(s.left), static_cast<int32_t>(source.height_ - s.bottom),
                        static_cast<int32_t>(s.right), static_cast<int32_t>(source.height_ - s.top)};
  dst = View();
  const auto dstLeft = static_cast<int32_t>(d.left);
  const auto dstTop = static_cast<int32_t>(height_ - d.bottom);
  dst.rect = KernelRect{dstLeft, dstTop, dstLeft + src.RectWidth(), dstTop + src.RectHeight()};
  return true;
}

int DibImage::ApplyScaleKernel(ScaleKernel kernel, const DibImage &source, const KernelRect *sourceRect,
                               const KernelRect *destRect) {
  if (kernel == nullptr || empty() || source.empty()) return 0;
  const KernelRect wholeSource{0, 0, source.width_, source.height_};
  const KernelRect wholeDest{0, 0, width_, height_};
  const KernelRect &s = sourceRect != nullptr ? *sourceRect : wholeSource;
  const KernelRect &d = destRect != nullptr ? *destRect : wholeDest;
  // The scaling kernels trust their rectangles; one reaching outside either
  // image would make them read or write outside the pixel memory.
  auto inside = [](const KernelRect &k, int w, int h) {
    return k.left >= 0 && k.top >= 0 && k.left < k.right && k.top < k.bottom && k.right <= w && k.bottom <= h;
  };
  if (!inside(s, source.width_, source.height_) || !inside(d, width_, height_)) return 0;
  FrameView dst = View();
  dst.rect = d;
  ConstFrameView src = source.View();
  src.rect = s;
  return kernel(dst, src);
}

int DibImage::Draw(const DibImage &source, const KernelRect *rect, int x, int y) {
  // A copy within one image could read rows it has already overwritten.
  if (empty() || source.empty() || &source == this) return 0;
  if (source.bitsPerPixel_ == bitsPerPixel_) {
    ApplyKernel(CopyRowsKernel, source, rect, x, y);
    return 1;
  }
  if (source.bitsPerPixel_ == 8 && bitsPerPixel_ == 24) {
    ApplyKernel(PaletteTo24Kernel, source, rect, x, y, source.info_.colors);
    return 1;
  }
  return 0;
}

int DibImage::StretchMirrorFrom(const DibImage &source) {
  if (empty() || source.empty() || &source == this) return 0;
  if (source.width_ != width_ || source.height_ != height_) return 0;
  const size_t w = static_cast<size_t>(width_);
  for (int row = 0; row < height_; ++row) {
    const uint8_t *s =
        source.pixels_.get() + static_cast<size_t>(height_ - 1 - row) * static_cast<size_t>(source.stride_);
    uint8_t *d = pixels_.get() + static_cast<size_t>(row) * static_cast<size_t>(stride_);
    if (source.bitsPerPixel_ == bitsPerPixel_) {
      std::memcpy(d, s, w * static_cast<size_t>(bytesPerPixel()));
    } else if (source.bitsPerPixel_ == 32 && bitsPerPixel_ == 24) {
      for (size_t i = 0; i < w; ++i) {
        d[3 * i] = s[4 * i];
        d[3 * i + 1] = s[4 * i + 1];
        d[3 * i + 2] = s[4 * i + 2];
      }
    } else if (source.bitsPerPixel_ == 8 && bitsPerPixel_ == 24) {
      for (size_t i = 0; i < w; ++i) {
        const RgbQuad &c = source.info_.colors[s[i]];
        d[3 * i] = c.blue;
        d[3 * i + 1] = c.green;
        d[3 * i + 2] = c.red;
      }
    } else {
      return 0;
    }
  }
  return 1;
}

namespace {
struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

void PutLe16(uint8_t *p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

int DibImage::WriteBmp(const char *path) const {
  if (path == nullptr || path[0] == '\0' || empty()) return 0;
  std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFileStream(path));
  if (!file) return 0;

  const bool withTable = bitsPerPixel_ <= 8;
  const uint32_t offset = withTable ? 1078u : 54u;
  const size_t bytes = pixelBytes();  // at most kMaxPixelBytes, so the sum fits 32 bits
  uint8_t fileHeader[14] = {};
  PutLe16(fileHeader, 0x4D42);
  PutLe32(fileHeader + 2, offset + static_cast<uint32_t>(bytes));
  PutLe32(fileHeader + 10, offset);
  std::fwrite(fileHeader, 1, sizeof fileHeader, file.get());
  std::fwrite(&info_.header, 1, sizeof info_.header, file.get());
  if (withTable) std::fwrite(info_.colors, 1, sizeof info_.colors, file.get());
  std::fwrite(pixels_.get(), 1, bytes, file.get());
  return 1;
}

bool DibImage::IsSupportedDepth(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
    case 16:
    case 24:
    case 32:
    case 48:
    case 64:
      return true;
    default:
      return false;
  }
}

}  // namespace quorel
