// Conversion of device-independent rows into X visual layouts, headless:
// every layout must give the same colours as a per-pixel reference, for
// widths that exercise the sixteen-pixel steps and their tails.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gui/PixelConverter.h"

namespace {

using quorel::gui::PixelConverter;
using quorel::gui::PixelLayout;

uint32_t Scale(uint8_t value, uint32_t mask) {
  const int shift = __builtin_ctz(mask);
  const int bits = __builtin_popcount(mask);
  const uint32_t v = bits >= 8 ? static_cast<uint32_t>(value) << (bits - 8) : value >> (8 - bits);
  return (v << shift) & mask;
}

uint32_t Read(const uint8_t *p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

struct Case {
  PixelLayout layout;
  int bits;
  bool palette;
};

TEST(PixelConverter, EveryLayoutMatchesThePerPixelReference) {
  const PixelLayout bgrx{32, 0xff0000, 0x00ff00, 0x0000ff};
  const PixelLayout rgbx{32, 0x0000ff, 0x00ff00, 0xff0000};
  const PixelLayout rgb565{16, 0xf800, 0x07e0, 0x001f};
  const PixelLayout packed24{24, 0xff0000, 0x00ff00, 0x0000ff};
  const Case cases[] = {{bgrx, 24, false},   {bgrx, 8, false},  {bgrx, 8, true},       {rgbx, 24, false},
                        {rgb565, 24, false}, {rgb565, 8, true}, {packed24, 24, false}, {packed24, 8, false}};
  std::vector<uint8_t> palette(1024);
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = static_cast<uint8_t>(255 - i);  // blue
    palette[4 * i + 1] = static_cast<uint8_t>(i / 2);
    palette[4 * i + 2] = static_cast<uint8_t>(i);
  }
  for (const Case &c : cases) {
    ASSERT_TRUE(c.layout.Valid());
    const PixelConverter converter(c.layout);
    for (const int width : {1, 15, 16, 17, 33, 203}) {
      const int height = 5;
      const int stride = (width * c.bits / 8 + 3) & ~3;
      std::vector<uint8_t> src(static_cast<size_t>(stride) * height);
      for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
      const int outBytes = c.layout.bitsPerPixel / 8;
      const int outStride = width * outBytes + 8;
      for (int bottomUp = 0; bottomUp <= 1; ++bottomUp) {
        std::vector<uint8_t> out(static_cast<size_t>(outStride) * height, 0xEE);
        const QuorelGuiImage image{src.data(), width, height, stride, c.bits, c.palette ? palette.data() : nullptr,
                                   bottomUp};
        converter.Convert(image, width, height, out.data(), outStride);
        for (int y = 0; y < height; ++y) {
          const uint8_t *row = src.data() + static_cast<size_t>(bottomUp ? height - 1 - y : y) * stride;
          for (int x = 0; x < width; ++x) {
            uint8_t r, g, b;
            if (c.bits == 8) {
              const uint8_t i = row[x];
              b = c.palette ? palette[4 * i] : i;
              g = c.palette ? palette[4 * i + 1] : i;
              r = c.palette ? palette[4 * i + 2] : i;
            } else {
              b = row[3 * x];
              g = row[3 * x + 1];
              r = row[3 * x + 2];
            }
            const uint32_t want =
                Scale(r, c.layout.redMask) | Scale(g, c.layout.greenMask) | Scale(b, c.layout.blueMask);
            const uint32_t got = Read(out.data() + static_cast<size_t>(y) * outStride + x * outBytes, outBytes);
            ASSERT_EQ(got & (c.layout.redMask | c.layout.greenMask | c.layout.blueMask), want)
                << "bpp " << c.layout.bitsPerPixel << " from " << c.bits << " bits, width " << width << " at (" << x
                << ", " << y << ")";
          }
          // Nothing written past the row.
          EXPECT_EQ(out[static_cast<size_t>(y) * outStride + width * outBytes], 0xEE);
        }
      }
    }
  }
}

TEST(PixelConverter, LayoutsThatCannotBeServedAreInvalid) {
  EXPECT_FALSE((PixelLayout{8, 0xe0, 0x1c, 0x03}).Valid());           // 8 bits per pixel
  EXPECT_FALSE((PixelLayout{32, 0xff0000, 0xff0000, 0xff}).Valid());  // overlapping
  EXPECT_FALSE((PixelLayout{32, 0xf0f000, 0xff00, 0xff}).Valid());    // not contiguous
  EXPECT_FALSE((PixelLayout{16, 0xff0000, 0xff00, 0xff}).Valid());    // wider than the pixel
  EXPECT_FALSE((PixelLayout{32, 0, 0xff00, 0xff}).Valid());
}

}  // namespace
