#include "PictureLayout.h"

#include <algorithm>

#include "Histogram.h"

namespace quorel::viewer {

PictureRect LayoutPicture(int areaWidth, int areaHeight, int imageWidth, int imageHeight, bool fit) {
  if (areaWidth <= 0 || areaHeight <= 0 || imageWidth <= 0 || imageHeight <= 0) return {};
  PictureRect r;
  if (fit) {
    // Compare aw/iw with ah/ih without rounding: aw*ih against ah*iw.
    const int64_t wide = int64_t{areaWidth} * imageHeight;
    const int64_t tall = int64_t{areaHeight} * imageWidth;
    if (wide <= tall) {
      r.width = areaWidth;
      r.height = static_cast<int>(std::max<int64_t>(1, int64_t{areaWidth} * imageHeight / imageWidth));
    } else {
      r.height = areaHeight;
      r.width = static_cast<int>(std::max<int64_t>(1, int64_t{areaHeight} * imageWidth / imageHeight));
    }
  } else {
    r.width = imageWidth;
    r.height = imageHeight;
  }
  r.x = (areaWidth - r.width) / 2;
  r.y = (areaHeight - r.height) / 2;
  return r;
}

namespace {

inline uint8_t Level(const uint8_t *p, bool wide) {
  if (!wide) return p[0];
  const unsigned v = static_cast<unsigned>(p[0] | (p[1] << 8)) >> 4;
  return static_cast<uint8_t>(std::min(v, 255u));
}

}  // namespace

bool MakeDisplayImage(const uint8_t *frame, size_t size, int width, int height, int bitCount, bool topDown,
                      int maxWidth, int maxHeight, DisplayImage &out) {
  out = DisplayImage{};
  if (frame == nullptr || width <= 0 || height <= 0 || maxWidth <= 0 || maxHeight <= 0) return false;
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32 && bitCount != 48 && bitCount != 64) {
    return false;
  }
  const size_t stride = FrameStride(width, bitCount);
  if (size / stride < static_cast<size_t>(height)) return false;
  const PictureRect fit = LayoutPicture(maxWidth, maxHeight, width, height, true);
  out.width = std::min(width, fit.width);
  out.height = std::min(height, fit.height);
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height));
  const bool wide = bitCount == 16 || bitCount >= 48;
  const size_t bytesPerPixel = static_cast<size_t>(bitCount / 8);
  const size_t sampleBytes = wide ? 2 : 1;
  const bool colour = bitCount >= 24;
  for (int y = 0; y < out.height; ++y) {
    const int sy = static_cast<int>(int64_t{y} * height / out.height);
    const int row = topDown ? sy : height - 1 - sy;
    const uint8_t *src = frame + static_cast<size_t>(row) * stride;
    uint32_t *dst = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(out.width);
    for (int x = 0; x < out.width; ++x) {
      const size_t sx = static_cast<size_t>(int64_t{x} * width / out.width);
      const uint8_t *p = src + sx * bytesPerPixel;
      uint32_t r, g, b;
      if (colour) {
        b = Level(p, wide);
        g = Level(p + sampleBytes, wide);
        r = Level(p + 2 * sampleBytes, wide);
      } else {
        r = g = b = Level(p, wide);
      }
      dst[x] = (r << 16) | (g << 8) | b;
    }
  }
  return true;
}

}  // namespace quorel::viewer
