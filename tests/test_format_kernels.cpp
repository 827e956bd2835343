#include "image/FormatKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "image/DibImage.h"
#include "image/ScaleKernels.h"

namespace quorel {
namespace {

// Sample c of pixel (x, y) of an asymmetric test picture: every row, column
// and channel differs, so flips, swaps and shifted rows show.
uint16_t Pattern(int x, int y, int c) {
  return static_cast<uint16_t>(0x100 * y + 0x10 * x + c + 1);
}

uint16_t Word(const DibImage &image, int x, int y, int c) {
  uint16_t v;
  std::memcpy(&v, image.pixels() + static_cast<size_t>(y) * image.stride() + x * image.bytesPerPixel() + 2 * c, 2);
  return v;
}

uint8_t Byte(const DibImage &image, int x, int y, int c) {
  return image.pixels()[static_cast<size_t>(y) * image.stride() + x * image.bytesPerPixel() + c];
}

// Fills every sample (bytes or 16-bit words) with the pattern, channels in memory order.
void Fill(DibImage &image, int samplesPerPixel, bool words) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      for (int c = 0; c < samplesPerPixel; ++c) {
        uint8_t *p = image.pixels() + static_cast<size_t>(y) * image.stride() + x * image.bytesPerPixel();
        if (words) {
          const uint16_t v = Pattern(x, y, c);
          std::memcpy(p + 2 * c, &v, 2);
        } else {
          p[c] = static_cast<uint8_t>(Pattern(x, y, c));
        }
      }
}

DibImage Make(int w, int h, int bpp) {
  DibImage image;
  EXPECT_EQ(image.Create(w, h, bpp), 1);
  return image;
}

constexpr int kW = 5;
constexpr int kH = 3;

TEST(StrideRows, PackedRowsMoveToTheirStridePositionsInPlace) {
  DibImage gray = Make(kW, kH, 8);  // stride 8, packed rows of 5
  for (int i = 0; i < kW * kH; ++i) gray.pixels()[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(gray.ApplyKernel(StrideRows8, gray, nullptr, 0, 0), 1);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) EXPECT_EQ(Byte(gray, x, y, 0), y * kW + x + 1) << x << "," << y;

  DibImage wide = Make(3, 4, 16);  // stride 8, packed rows of 6 bytes
  for (int i = 0; i < 12; ++i) {
    const uint16_t v = static_cast<uint16_t>(0x0F00 + i);
    std::memcpy(wide.pixels() + 2 * i, &v, 2);
  }
  ASSERT_EQ(wide.ApplyKernel(StrideRows16, wide, nullptr, 0, 0), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Word(wide, x, y, 0), 0x0F00 + y * 3 + x) << x << "," << y;
}

TEST(StrideRows, AlreadySpacedRowsStayAndWrongDepthIsRefused) {
  DibImage gray = Make(8, 2, 8);
  Fill(gray, 1, false);
  std::vector<uint8_t> before(gray.pixels(), gray.pixels() + gray.pixelBytes());
  ASSERT_EQ(gray.ApplyKernel(StrideRows8, gray, nullptr, 0, 0), 1);
  EXPECT_EQ(std::memcmp(before.data(), gray.pixels(), before.size()), 0);
  // The 16-bit variant on an 8-bit image would move rows past its end.
  DibImage odd = Make(5, 3, 8);
  EXPECT_EQ(odd.ApplyKernel(StrideRows16, odd, nullptr, 0, 0), 0);
}

TEST(GrayKernels, ShiftsKeepTheLowBitsAndFlipReversesRows) {
  DibImage src = Make(kW, kH, 16);
  Fill(src, 1, true);
  DibImage straight = Make(kW, kH, 8), flipped = Make(kW, kH, 8), shifted = Make(kW, kH, 16);
  ASSERT_EQ(straight.ApplyKernel(Gray16To8Shr4, src, nullptr, 0, 0), 1);
  ASSERT_EQ(flipped.ApplyKernel(Gray16To8Shr4Flip, src, nullptr, 0, 0), 1);
  ASSERT_EQ(shifted.ApplyKernel(Gray16Shl4, src, nullptr, 0, 0), 1);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      EXPECT_EQ(Byte(straight, x, y, 0), static_cast<uint8_t>(Pattern(x, y, 0) >> 4));
      EXPECT_EQ(Byte(flipped, x, y, 0), static_cast<uint8_t>(Pattern(x, kH - 1 - y, 0) >> 4));
      EXPECT_EQ(Word(shifted, x, y, 0), static_cast<uint16_t>(Pattern(x, y, 0) << 4));
    }
  // A sample above 12 bits keeps only the low 8 bits of the shifted value.
  const uint16_t big = 0x1234;
  std::memcpy(src.pixels(), &big, 2);
  straight.ApplyKernel(Gray16To8Shr4, src, nullptr, 0, 0);
  shifted.ApplyKernel(Gray16Shl4, src, nullptr, 0, 0);
  EXPECT_EQ(straight.pixels()[0], 0x23);
  EXPECT_EQ(Word(shifted, 0, 0, 0), 0x2340);
}

TEST(ColourKernels, EightBitCopiesKeepOrSwapChannelsAndFlip) {
  for (int srcBpp : {24, 32}) {
    SCOPED_TRACE(srcBpp);
    DibImage src = Make(kW, kH, srcBpp);
    Fill(src, srcBpp / 8, false);
    DibImage copy = Make(kW, kH, 24), flip = Make(kW, kH, 24), swap = Make(kW, kH, 24);
    if (srcBpp == 32) {
      ASSERT_EQ(copy.ApplyKernel(Color32To24, src, nullptr, 0, 0), 1);
    }
    ASSERT_EQ(flip.ApplyKernel(Color24CopyFlip, src, nullptr, 0, 0), 1);
    ASSERT_EQ(swap.ApplyKernel(Color24SwapRB, src, nullptr, 0, 0), 1);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        for (int c = 0; c < 3; ++c) {
          if (srcBpp == 32) {
            EXPECT_EQ(Byte(copy, x, y, c), static_cast<uint8_t>(Pattern(x, y, c)));
          }
          EXPECT_EQ(Byte(flip, x, y, c), static_cast<uint8_t>(Pattern(x, kH - 1 - y, c)));
          EXPECT_EQ(Byte(swap, x, y, c), static_cast<uint8_t>(Pattern(x, y, 2 - c)));
        }
      }
    }
  }
}

TEST(ColourKernels, InvertFourthCopiesColourAndInvertsTheFourthByte) {
  DibImage src = Make(kW, kH, 32), dst = Make(kW, kH, 32);
  Fill(src, 4, false);
  ASSERT_EQ(dst.ApplyKernel(Color32InvertFourth, src, nullptr, 0, 0), 1);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      for (int c = 0; c < 3; ++c) EXPECT_EQ(Byte(dst, x, y, c), static_cast<uint8_t>(Pattern(x, y, c)));
      EXPECT_EQ(Byte(dst, x, y, 3), 255 - static_cast<uint8_t>(Pattern(x, y, 3)));
    }
}

TEST(ColourKernels, SixteenBitSamplesShiftPerChannel) {
  for (int srcBpp : {48, 64}) {
    SCOPED_TRACE(srcBpp);
    DibImage src = Make(kW, kH, srcBpp);
    Fill(src, srcBpp / 16, true);
    DibImage to24 = Make(kW, kH, 24), to24Flip = Make(kW, kH, 24);
    DibImage to48 = Make(kW, kH, 48), to48Swap = Make(kW, kH, 48);
    DibImage to64 = Make(kW, kH, 64), to64Swap = Make(kW, kH, 64);
    ASSERT_EQ(to24.ApplyKernel(Color16To24Shr4, src, nullptr, 0, 0), 1);
    ASSERT_EQ(to24Flip.ApplyKernel(Color16To24Shr4Flip, src, nullptr, 0, 0), 1);
    ASSERT_EQ(to48.ApplyKernel(Color16To48Shl4, src, nullptr, 0, 0), 1);
    ASSERT_EQ(to48Swap.ApplyKernel(Color16To48Shl4Swap, src, nullptr, 0, 0), 1);
    ASSERT_EQ(to64.ApplyKernel(Color16To64Shl4, src, nullptr, 0, 0), 1);
    ASSERT_EQ(to64Swap.ApplyKernel(Color16To64Shl4Swap, src, nullptr, 0, 0), 1);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        for (int c = 0; c < 3; ++c) {
          EXPECT_EQ(Byte(to24, x, y, c), static_cast<uint8_t>(Pattern(x, y, c) >> 4));
          EXPECT_EQ(Byte(to24Flip, x, y, c), static_cast<uint8_t>(Pattern(x, kH - 1 - y, c) >> 4));
          EXPECT_EQ(Word(to48, x, y, c), static_cast<uint16_t>(Pattern(x, y, c) << 4));
          EXPECT_EQ(Word(to48Swap, x, y, c), static_cast<uint16_t>(Pattern(x, y, 2 - c) << 4));
          EXPECT_EQ(Word(to64, x, y, c), static_cast<uint16_t>(Pattern(x, y, c) << 4));
          EXPECT_EQ(Word(to64Swap, x, y, c), static_cast<uint16_t>(Pattern(x, y, 2 - c) << 4));
        }
        EXPECT_EQ(Word(to64, x, y, 3), 0xFFFF);
        EXPECT_EQ(Word(to64Swap, x, y, 3), 0xFFFF);
      }
    }
  }
}

TEST(RowCopyFlip, CopiesWholeRowsOfTheSmallerStrideUpsideDown) {
  DibImage src = Make(kW, kH, 8), dst = Make(kW, kH, 8);  // stride 8 with 3 padding bytes
  for (size_t i = 0; i < src.pixelBytes(); ++i) src.pixels()[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(dst.ApplyKernel(RowCopyFlip, src, nullptr, 0, 0), 1);
  for (int y = 0; y < kH; ++y)
    EXPECT_EQ(std::memcmp(dst.pixels() + y * dst.stride(), src.pixels() + (kH - 1 - y) * src.stride(), 8), 0);
  DibImage colour = Make(kW, kH, 24);
  EXPECT_EQ(colour.ApplyKernel(RowCopyFlip, src, nullptr, 0, 0), 0);
}

TEST(ConversionKernels, DepthsTheyDoNotConvertAreRefusedUntouched) {
  DibImage gray8 = Make(kW, kH, 8), gray16 = Make(kW, kH, 16), c24 = Make(kW, kH, 24), c48 = Make(kW, kH, 48);
  Fill(c24, 3, false);
  EXPECT_EQ(gray8.ApplyKernel(Color16To24Shr4, c24, nullptr, 0, 0), 0);
  EXPECT_EQ(c24.ApplyKernel(Gray16To8Shr4, gray16, nullptr, 0, 0), 0);
  EXPECT_EQ(c24.ApplyKernel(Color32To24, c24, nullptr, 0, 0), 0);
  EXPECT_EQ(c48.ApplyKernel(Color16To64Shl4, c48, nullptr, 0, 0), 0);
  EXPECT_EQ(c24.ApplyKernel(Color24CopyFlip, c48, nullptr, 0, 0), 0);
  EXPECT_EQ(Byte(c24, 1, 1, 2), static_cast<uint8_t>(Pattern(1, 1, 2)));
}

TEST(ScaleKernels, NearestNeighbourReadsFlippedRows) {
  DibImage src = Make(4, 2, 24);
  Fill(src, 3, false);
  DibImage big = Make(8, 4, 24);
  ASSERT_EQ(big.ApplyScaleKernel(ScaleNearestColor, src, nullptr, nullptr), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(Byte(big, x, y, c), static_cast<uint8_t>(Pattern(x / 2, 1 - y / 2, c))) << x << "," << y;

  DibImage gray = Make(6, 4, 8);
  Fill(gray, 1, false);
  DibImage small = Make(3, 2, 8);
  ASSERT_EQ(small.ApplyScaleKernel(ScaleNearestGray, gray, nullptr, nullptr), 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Byte(small, x, y, 0), static_cast<uint8_t>(Pattern(2 * x, 3 - 2 * y, 0)));
}

TEST(ScaleKernels, PartialRectanglesReadAndWriteOnlyInside) {
  DibImage src = Make(6, 6, 8);
  Fill(src, 1, false);
  DibImage dst = Make(4, 4, 8);
  const KernelRect from{2, 1, 4, 3};  // 2 x 2 at columns 2..3, memory rows 1..2
  const KernelRect to{1, 1, 3, 3};
  ASSERT_EQ(dst.ApplyScaleKernel(ScaleNearestGray, src, &from, &to), 1);
  // Rows are read upwards from the rectangle's bottom.
  EXPECT_EQ(Byte(dst, 1, 1, 0), static_cast<uint8_t>(Pattern(2, 2, 0)));
  EXPECT_EQ(Byte(dst, 2, 1, 0), static_cast<uint8_t>(Pattern(3, 2, 0)));
  EXPECT_EQ(Byte(dst, 2, 2, 0), static_cast<uint8_t>(Pattern(3, 1, 0)));
  EXPECT_EQ(Byte(dst, 0, 0, 0), 0);
  EXPECT_EQ(Byte(dst, 3, 3, 0), 0);
}

}  // namespace
// The word-wide copies of the scaling must give exactly the formula's bytes
// for any pair of rectangles, never write outside the destination rectangle
// and never read outside the source (exact-size buffers, so a sanitizer
// build sees an overread at the last pixel of a row without padding).
TEST(ScaleKernels, AnyRectanglesGiveTheFormulasBytesAndNothingElse) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    const int bytes = round % 2 == 0 ? 3 : 1;
    // Every tenth round is tall enough for the rows to be split into bands.
    const unsigned tall = round % 10 == 0 ? 90 : 9;
    const int srcW = 1 + static_cast<int>(rng() % 41), srcH = 1 + static_cast<int>(rng() % tall);
    const int dstW = 1 + static_cast<int>(rng() % 67), dstH = 1 + static_cast<int>(rng() % tall);
    const int srcStride = (srcW * bytes + 3) & ~3, dstStride = (dstW * bytes + 3) & ~3;
    std::vector<uint8_t> src(static_cast<size_t>(srcStride) * srcH);
    for (uint8_t &b : src) b = static_cast<uint8_t>(rng());
    std::vector<uint8_t> dst(static_cast<size_t>(dstStride) * dstH, 0xA5);
    auto rect = [&rng](int w, int h) {
      const int left = static_cast<int>(rng() % static_cast<unsigned>(w));
      const int top = static_cast<int>(rng() % static_cast<unsigned>(h));
      return KernelRect{left, top, left + 1 + static_cast<int>(rng() % static_cast<unsigned>(w - left)),
                        top + 1 + static_cast<int>(rng() % static_cast<unsigned>(h - top))};
    };
    const bool whole = rng() % 3 == 0;
    const KernelRect from = whole ? KernelRect{0, 0, srcW, srcH} : rect(srcW, srcH);
    const KernelRect to = whole ? KernelRect{0, 0, dstW, dstH} : rect(dstW, dstH);
    const FrameView d{dst.data(), dstStride, dstW, dstH, bytes, to};
    const ConstFrameView s{src.data(), srcStride, srcW, srcH, bytes, from};
    ASSERT_EQ((bytes == 3 ? ScaleNearestColor : ScaleNearestGray)(d, s), 1);

    const int w = to.right - to.left, h = to.bottom - to.top;
    const float sx = static_cast<float>(from.right - from.left) / static_cast<float>(w);
    const float sy = static_cast<float>(from.bottom - from.top) / static_cast<float>(h);
    for (int y = 0; y < dstH; ++y)
      for (int x = 0; x < dstW; ++x)
        for (int c = 0; c < bytes; ++c) {
          uint8_t want = 0xA5;
          if (x >= to.left && x < to.right && y >= to.top && y < to.bottom) {
            const int column = std::min(from.left + static_cast<int>(static_cast<float>(x - to.left) * sx), srcW - 1);
            const int r = std::min(static_cast<int>(static_cast<float>(y - to.top) * sy), srcH - 1);
            want = src[static_cast<size_t>(from.bottom - r - 1) * srcStride + static_cast<size_t>(column) * bytes + c];
          }
          ASSERT_EQ(dst[static_cast<size_t>(y) * dstStride + static_cast<size_t>(x) * bytes + c], want)
              << "round " << round << " pixel " << x << "," << y << " channel " << c;
        }
  }
}

}  // namespace quorel
