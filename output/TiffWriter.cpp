#include "output/TiffWriter.h"

#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <tiffio.h>

#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "platform/SafeFile.h"

namespace quorel {

namespace {

struct TiffCloser {
  void operator()(TIFF *tiff) const {
    if (tiff != nullptr) TIFFClose(tiff);
  }
};

// 32-bit pixels written red, green, blue with the fourth byte left as the
// zero-filled strip has it: the shared swap kernel only writes 3-byte pixels.
int Color32SwapRBZeroFourth(const FrameView &dst, const ConstFrameView &src) {
  const KernelRect &rect = src.rect;
  const size_t width = static_cast<size_t>(rect.right - rect.left);
  for (int row = rect.top; row < rect.bottom; ++row) {
    const uint8_t *s =
        src.pixels + static_cast<size_t>(row) * static_cast<size_t>(src.stride) + static_cast<size_t>(rect.left) * 4;
    uint8_t *d = dst.pixels + static_cast<size_t>(dst.rect.top + (row - rect.top)) * static_cast<size_t>(dst.stride) +
                 static_cast<size_t>(dst.rect.left) * 4;
    for (size_t x = 0; x < width; ++x) {
      d[4 * x] = s[4 * x + 2];
      d[4 * x + 1] = s[4 * x + 1];
      d[4 * x + 2] = s[4 * x];
    }
  }
  return 1;
}

struct TiffLayout {
  uint16_t bitsPerSample;
  uint16_t photometric;
  uint16_t samplesPerPixel;
  PixelKernel<> kernel;  // null: rows copied as they stand
};

bool LayoutFor(int bitsPerPixel, TiffLayout *layout) {
  switch (bitsPerPixel) {
    case 8:
      *layout = {8, PHOTOMETRIC_MINISBLACK, 1, nullptr};
      return true;
    case 16:
      *layout = {16, PHOTOMETRIC_MINISBLACK, 1, Gray16Shl4};
      return true;
    case 24:
      *layout = {8, PHOTOMETRIC_RGB, 3, Color24SwapRB};
      return true;
    case 32:
      *layout = {8, PHOTOMETRIC_RGB, 4, Color32SwapRBZeroFourth};
      return true;
    case 48:
      *layout = {16, PHOTOMETRIC_RGB, 3, Color16To48Shl4Swap};
      return true;
    case 64:
      *layout = {16, PHOTOMETRIC_RGB, 4, Color16To64Shl4Swap};
      return true;
    default:
      return false;
  }
}

}  // namespace

int WriteTiff(const char *path, const DibImage &image) {
  if (path == nullptr || path[0] == '\0' || image.empty()) return 0;
  TiffLayout layout{};
  if (!LayoutFor(image.bitsPerPixel(), &layout)) return 0;

  const int fd = OpenRegularFileForWriting(path);
  if (fd < 0) return 0;
  // On success the TIFF owns the descriptor and closes it.
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFFdOpen(fd, path, "w"));
  if (!tiff) {
    ::close(fd);
    return 0;
  }

  const int width = image.width();
  const int height = image.height();
  const int bytesPerPixel = image.bytesPerPixel();
  // The strip holds rows without the buffer's padding: the kernels write
  // straight into it at that row length, so the image is copied only once.
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
  const size_t stripBytes = rowBytes * static_cast<size_t>(height);

  std::vector<uint8_t> strip;
  try {
    strip.assign(stripBytes, 0);
  } catch (const std::bad_alloc &) {
    return 0;
  }

  if (layout.kernel == nullptr) {
    for (int row = 0; row < height; ++row) {
      std::memcpy(strip.data() + static_cast<size_t>(row) * rowBytes,
                  image.pixels() + static_cast<size_t>(row) * static_cast<size_t>(image.stride()), rowBytes);
    }
  } else {
    const KernelRect whole{0, 0, width, height};
    const FrameView stripView{strip.data(), static_cast<int32_t>(rowBytes), width, height, bytesPerPixel, whole};
    if (layout.kernel(stripView, image.View()) == 0) return 0;
  }

  TIFF *t = tiff.get();
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) == 1 &&
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) == 1 &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample) == 1 &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric) == 1 &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel) == 1;
  if (ok) {
    const tmsize_t written = TIFFWriteEncodedStrip(t, 0, strip.data(), static_cast<tmsize_t>(stripBytes));
    ok = written == static_cast<tmsize_t>(stripBytes);
  }
  // The directory is written when the file is flushed; TIFFClose would swallow
  // a failure there (a full disk), so flush first and look at the result.
  if (ok) ok = TIFFFlush(t) == 1;
  return ok ? 1 : 0;
}

}  // namespace quorel
