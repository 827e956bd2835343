#include "output/StillImageWriter.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "output/JpegWriter.h"
#include "output/PngWriter.h"
#include "output/TiffWriter.h"
#include "platform/SafeFile.h"

namespace quorel {

namespace {

struct FileCloser {
  void operator()(std::FILE *file) const {
    if (file != nullptr) std::fclose(file);
  }
};

// Converts source into a new image of the same format, rows in the order the
// kernel gives them.
bool ConvertSameFormat(const DibImage &source, PixelKernel<> kernel, DibImage *converted) {
  if (converted->CopyFormat(&source) == 0) return false;
  return converted->ApplyKernel(kernel, source, nullptr, 0, 0) != 0;
}

// The pixel memory as held, memory row 0 first, no header.
int WriteRaw(const char *path, const DibImage &image) {
  std::unique_ptr<std::FILE, FileCloser> file(OpenRegularFileStream(path));
  if (!file) return 0;
  const size_t bytes = image.pixelBytes();
  const bool written = std::fwrite(image.pixels(), 1, bytes, file.get()) == bytes;
  const bool closed = std::fclose(file.release()) == 0;
  return written && closed ? 1 : 0;
}

// The image writes its own BMP but reports success once the file is open,
// whatever its writes did. A short regular file means the disk filled up (or
// a file-size limit was hit): that is no saved image.
int WriteBmpChecked(const char *path, const DibImage &flipped) {
  if (flipped.WriteBmp(path) == 0) return 0;
  struct stat info {};
  if (::stat(path, &info) != 0) return 0;
  if (!S_ISREG(info.st_mode)) return 0;
  const size_t headerBytes = flipped.bitsPerPixel() <= 8 ? 1078 : 54;
  return static_cast<size_t>(info.st_size) == headerBytes + flipped.pixelBytes() ? 1 : 0;
}

int SaveBmp(const char *path, const DibImage &image) {
  // A bottom-up bitmap stores the bottom line first.
  DibImage flipped;
  if (!ConvertSameFormat(image, RowCopyFlip, &flipped)) return 0;
  return WriteBmpChecked(path, flipped);
}

int SaveJpeg(const char *path, const DibImage &image, int quality) {
  // The JPEG writer feeds the last memory row first, so the temporary holds
  // the picture upside down: 8 bits for the gray depths, 24 for colour.
  const int bits = image.bitsPerPixel();
  const bool gray = bits == 8 || bits == 16;
  DibImage flipped;
  if (flipped.Create(image.width(), image.height(), gray ? 8 : 24) == 0) return 0;
  PixelKernel<> kernel = nullptr;
  switch (bits) {
    case 8:
      kernel = RowCopyFlip;
      break;
    case 16:
      kernel = Gray16To8Shr4Flip;
      break;
    case 24:
    case 32:
      kernel = Color24CopyFlip;  // drops the fourth byte of 32-bit pixels
      break;
    default:
      kernel = Color16To24Shr4Flip;
      break;
  }
  if (flipped.ApplyKernel(kernel, image, nullptr, 0, 0) == 0) return 0;
  return WriteJpeg(path, flipped, quality, true);
}

int SavePng(const char *path, const DibImage &image) {
  const int bits = image.bitsPerPixel();
  if (bits == 8 || bits == 24) {
    return WritePng(path, image.pixels(), image.width(), image.height(), bits);
  }
  PixelKernel<> kernel = nullptr;
  switch (bits) {
    case 16:
      kernel = Gray16Shl4;
      break;
    case 32:
      kernel = Color32InvertFourth;  // alpha = 255 - fourth byte
      break;
    case 48:
      kernel = Color16To48Shl4;
      break;
    default:
      kernel = Color16To64Shl4;  // alpha 65535
      break;
  }
  DibImage converted;
  if (!ConvertSameFormat(image, kernel, &converted)) return 0;
  return WritePng(path, converted.pixels(), converted.width(), converted.height(), bits);
}

int JpegQuality(int fileType) {
  switch (fileType) {
    case kStillJpeg70:
      return 70;
    case kStillJpeg20:
      return 20;
    default:
      return 100;
  }
}

}  // namespace

SaveResult SaveStillImage(const DibImage *image, const char *path, int fileType) noexcept {
  SaveResult result;
  if (image == nullptr || image->empty()) {
    result.errorCode = 1;
    return result;
  }
  if (fileType < kStillBmp || fileType > kStillTiff) return result;
  if (path == nullptr || path[0] == '\0' || !DibImage::IsSupportedDepth(image->bitsPerPixel())) return result;

  try {
    switch (fileType) {
      case kStillBmp:
        result.saved = SaveBmp(path, *image);
        break;
      case kStillRaw:
        result.saved = WriteRaw(path, *image);
        break;
      case kStillJpeg100:
      case kStillJpeg70:
      case kStillJpeg20:
        result.saved = SaveJpeg(path, *image, JpegQuality(fileType));
        break;
      case kStillPng:
        result.saved = SavePng(path, *image);
        break;
      default:
        result.saved = WriteTiff(path, *image);
        break;
    }
  } catch (...) {
    // Nothing below is meant to throw; an allocation failure in a library
    // is a failed save, never an exception leaving the camera's lock held.
    result.saved = 0;
  }
  return result;
}

}  // namespace quorel
