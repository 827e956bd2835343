// Tone filters at the ends of their setting ranges, with values worked out by
// hand from the filters' arithmetic.
#include "image/ToneFilters.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/KernelTestImage.h"

namespace quorel {
namespace {

using test::KernelTestImage;
using test::RunInPlace;

// One 8-bit colour pixel, written and read as red, green, blue.
struct Rgb {
  int r, g, b;
  bool operator==(const Rgb &) const = default;
};

void PutRgb(KernelTestImage &image, int x, int y, Rgb c) {
  image.SetByte(x, y, 0, static_cast<uint8_t>(c.b));
  image.SetByte(x, y, 1, static_cast<uint8_t>(c.g));
  image.SetByte(x, y, 2, static_cast<uint8_t>(c.r));
}

Rgb GetRgb(const KernelTestImage &image, int x, int y) {
  return {image.Byte(x, y, 2), image.Byte(x, y, 1), image.Byte(x, y, 0)};
}

Rgb HueSaturation8(Rgb in, int hue, int saturation) {
  KernelTestImage image(1, 1, 3);
  PutRgb(image, 0, 0, in);
  HueSaturationParams p{hue, 0, saturation, 12};
  EXPECT_EQ(RunInPlace(HueSaturationColor8, image, p), 1);
  return GetRgb(image, 0, 0);
}

TEST(HueSaturation, RotatesPureRedBySixtyAndOneTwentyDegrees) {
  EXPECT_EQ(HueSaturation8({255, 0, 0}, 60, 0), (Rgb{255, 255, 0}));
  EXPECT_EQ(HueSaturation8({255, 0, 0}, 120, 0), (Rgb{2, 255, 0}));
}

TEST(HueSaturation, FullTurnKeepsColoursWithinOneStep) {
  const Rgb colours[] = {{200, 100, 50}, {10, 220, 130}, {90, 40, 250}, {255, 255, 0}, {77, 77, 77}, {0, 0, 0}};
  for (int hue : {360, -360}) {
    for (Rgb c : colours) {
      const Rgb out = HueSaturation8(c, hue, 0);
      EXPECT_LE(out.r, c.r) << hue;
      EXPECT_GE(out.r, c.r - 1) << hue;
      EXPECT_LE(out.g, c.g) << hue;
      EXPECT_GE(out.g, c.g - 1) << hue;
      EXPECT_LE(out.b, c.b) << hue;
      EXPECT_GE(out.b, c.b - 1) << hue;
    }
  }
  EXPECT_EQ(HueSaturation8({77, 77, 77}, 360, 0), (Rgb{77, 77, 77}));
}

TEST(HueSaturation, SaturationEndsScaleChroma) {
  // Chroma 150 scaled by 1/256 rounds to 1 around the lightness 250 / 2.
  EXPECT_EQ(HueSaturation8({200, 100, 50}, 0, -255), (Rgb{125, 124, 124}));
  // Scaled by 511/256 and limited by the lightness: full chroma 250.
  EXPECT_EQ(HueSaturation8({200, 100, 50}, 0, 255), (Rgb{250, 83, 0}));
  // Gray has no chroma to scale.
  EXPECT_EQ(HueSaturation8({128, 128, 128}, 0, 255), (Rgb{128, 128, 128}));
}

TEST(HueSaturation, SixteenBitUsesTopEightBitsAndKeepsFourthWord) {
  KernelTestImage image(2, 1, 8);
  image.SetWord(0, 0, 0, 0);
  image.SetWord(0, 0, 1, 0);
  image.SetWord(0, 0, 2, 4095);
  image.SetWord(0, 0, 3, 0xBEEF);
  // A sample beyond 12 bits counts as full scale.
  image.SetWord(1, 0, 0, 0);
  image.SetWord(1, 0, 1, 0);
  image.SetWord(1, 0, 2, 65535);
  image.SetWord(1, 0, 3, 0x1234);
  HueSaturationParams p{60, 0, 0, 12};
  ASSERT_EQ(RunInPlace(HueSaturationColor16, image, p), 1);
  for (int x = 0; x < 2; ++x) {
    EXPECT_EQ(image.Word(x, 0, 0), 0);
    EXPECT_EQ(image.Word(x, 0, 1), 4080);
    EXPECT_EQ(image.Word(x, 0, 2), 4080);
  }
  EXPECT_EQ(image.Word(0, 0, 3), 0xBEEF);
  EXPECT_EQ(image.Word(1, 0, 3), 0x1234);
}

uint8_t Gray8(ToneKernel kernel, int value, uint8_t sample) {
  KernelTestImage image(1, 1, 1);
  image.SetByte(0, 0, 0, sample);
  ToneParams p{value, 12};
  EXPECT_EQ(RunInPlace(kernel, image, p), 1);
  return image.Byte(0, 0);
}

uint16_t Gray16(ToneKernel kernel, int value, uint16_t sample) {
  KernelTestImage image(1, 1, 2);
  image.SetWord(0, 0, 0, sample);
  ToneParams p{value, 12};
  EXPECT_EQ(RunInPlace(kernel, image, p), 1);
  return image.Word(0, 0);
}

TEST(Gamma, ZeroExponentDiffersBetweenGrayAndColour) {
  EXPECT_EQ(Gray8(GammaGray8, 0, 0), 255);
  EXPECT_EQ(Gray8(GammaGray8, 0, 100), 255);
  // The colour variant limits the exponent to 0.001: 0 stays, 1 lifts to 253.
  KernelTestImage image(3, 1, 3);
  image.SetByte(0, 0, 0, 0);
  image.SetByte(0, 0, 1, 1);
  image.SetByte(0, 0, 2, 255);
  ToneParams p{0, 12};
  ASSERT_EQ(RunInPlace(GammaColor8, image, p), 1);
  EXPECT_EQ(image.Byte(0, 0, 0), 0);
  EXPECT_EQ(image.Byte(0, 0, 1), 253);
  EXPECT_EQ(image.Byte(0, 0, 2), 255);
  EXPECT_EQ(Gray16(GammaGray16, 0, 0), 4095);
}

TEST(Gamma, ExponentsAtBothEnds) {
  EXPECT_DOUBLE_EQ(GammaExponent(200), 11.0);
  EXPECT_DOUBLE_EQ(GammaExponent(110), 2.0);
  EXPECT_DOUBLE_EQ(GammaExponent(50), 0.5);
  EXPECT_EQ(Gray8(GammaGray8, 200, 254), 244);
  EXPECT_EQ(Gray8(GammaGray8, 200, 128), 0);
  EXPECT_EQ(Gray8(GammaGray8, 50, 64), 127);
  // 16-bit tables normalise by 4096, so full scale does not map onto itself.
  EXPECT_EQ(Gray16(GammaGray16, 200, 4095), 4084);
  EXPECT_EQ(Gray16(GammaGray16, 50, 2048), 2895);
  // Beyond the table: its last entry.
  EXPECT_EQ(Gray16(GammaGray16, 200, 5000), 4084);
}

TEST(Contrast, EightBitEnds) {
  EXPECT_EQ(Gray8(ContrastGray8, 127, 0), 0);
  EXPECT_EQ(Gray8(ContrastGray8, 127, 127), 0);
  EXPECT_EQ(Gray8(ContrastGray8, 127, 128), 128);
  EXPECT_EQ(Gray8(ContrastGray8, 127, 129), 255);
  EXPECT_EQ(Gray8(ContrastGray8, 127, 255), 255);
  EXPECT_EQ(Gray8(ContrastGray8, -127, 0), 63);
  EXPECT_EQ(Gray8(ContrastGray8, -127, 255), 191);
}

TEST(Contrast, SixteenBitEndsAndSamplesBeyondTwelveBits) {
  EXPECT_EQ(Gray16(ContrastGray16, 127, 2031), 0);
  EXPECT_EQ(Gray16(ContrastGray16, 127, 2048), 2048);
  EXPECT_EQ(Gray16(ContrastGray16, 127, 2063), 3968);  // 4096 / 32 * 31
  EXPECT_EQ(Gray16(ContrastGray16, 127, 2064), 4095);
  EXPECT_EQ(Gray16(ContrastGray16, -127, 4095), 3075);
  // 4096 and above become 4095, not the last table entry.
  EXPECT_EQ(Gray16(ContrastGray16, -127, 4096), 4095);
  EXPECT_EQ(Gray16(ContrastGray16, -127, 65535), 4095);
}

TEST(Brightness, EndsOfTheRange) {
  EXPECT_EQ(Gray8(BrightnessGray8, -255, 255), 0);
  EXPECT_EQ(Gray8(BrightnessGray8, 255, 23), 253);
  EXPECT_EQ(Gray8(BrightnessGray8, 255, 24), 255);
  EXPECT_EQ(Gray16(BrightnessGray16, 255, 372), 4092);
  EXPECT_EQ(Gray16(BrightnessGray16, 255, 373), 4095);
  EXPECT_EQ(Gray16(BrightnessGray16, -255, 4095), 0);
}

TEST(Brightness, ProductIsSinglePrecision) {
  // In double precision 255 * (1 - 254/255) truncates to 0; the single
  // precision factor gives 1.
  EXPECT_EQ(Gray8(BrightnessGray8, -254, 255), 1);
  EXPECT_EQ(Gray8(BrightnessGray8, -244, 255), 11);
  EXPECT_EQ(Gray16(BrightnessGray16, -254, 255), 1);
}

TEST(Brightness, WideRowsOfFourWordPixels) {
  // 70 pixels: more than one block of pixels is worked at a time.
  KernelTestImage image(70, 2, 8);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 70; ++x) {
      image.SetWord(x, y, 0, static_cast<uint16_t>(x));
      image.SetWord(x, y, 1, 372);
      image.SetWord(x, y, 2, 4000);
      image.SetWord(x, y, 3, static_cast<uint16_t>(0xAB00 + x));
    }
  ToneParams p{255, 12};
  ASSERT_EQ(RunInPlace(BrightnessColor16, image, p), 1);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 70; ++x) {
      EXPECT_EQ(image.Word(x, y, 0), 11 * x);
      EXPECT_EQ(image.Word(x, y, 1), 4092);
      EXPECT_EQ(image.Word(x, y, 2), 4095);
      EXPECT_EQ(image.Word(x, y, 3), 0xAB00 + x);
    }
}

TEST(Sharpen, SingleBrightPixelAtStrengthThirty) {
  KernelTestImage src(8, 8, 1);
  src.FillBytes(100);
  src.SetByte(4, 4, 0, 116);
  KernelTestImage dst(8, 8, 1);
  dst.FillBytes(7);  // shows which pixels the filter writes
  ToneParams p{30, 12};
  ASSERT_EQ(test::RunKernel(SharpenGray8, dst, src, p), 1);
  // Box of (4, 4): 15 x 100 + 116 = 1616, mean 101; 116 + 30 * 15 / 10.
  EXPECT_EQ(dst.Byte(4, 4), 161);
  // Boxes holding the bright pixel: 100 + trunc(30 * -1 / 10).
  EXPECT_EQ(dst.Byte(5, 5), 97);
  EXPECT_EQ(dst.Byte(3, 3), 97);
  EXPECT_EQ(dst.Byte(2, 5), 100);  // box columns 0 .. 3 miss it
  for (int i = 0; i < 8; ++i)
    for (int edge : {0, 1, 6, 7}) {
      EXPECT_EQ(dst.Byte(i, edge), 7);
      EXPECT_EQ(dst.Byte(edge, i), 7);
    }
}

TEST(Sharpen, ClampsAtBothEndsAndKeepsChannelsApart) {
  KernelTestImage src(6, 6, 4);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) {
      src.SetByte(x, y, 0, 0);    // blue: dark field, one bright pixel
      src.SetByte(x, y, 1, 255);  // green: bright field, one dark pixel
      src.SetByte(x, y, 2, 60);   // red: flat
      src.SetByte(x, y, 3, 0x5A);
    }
  src.SetByte(3, 3, 0, 250);
  src.SetByte(3, 3, 1, 0);
  KernelTestImage dst = src;
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) dst.SetByte(x, y, 3, 0xA5);
  ToneParams p{30, 12};
  ASSERT_EQ(test::RunKernel(SharpenColor8, dst, src, p), 1);
  EXPECT_EQ(dst.Byte(3, 3, 0), 255);
  EXPECT_EQ(dst.Byte(3, 3, 1), 0);
  EXPECT_EQ(dst.Byte(3, 3, 2), 60);
  EXPECT_EQ(dst.Byte(2, 2, 0), 0);    // 0 + 30 * (0 - 15) / 10 limited to 0
  EXPECT_EQ(dst.Byte(2, 2, 1), 255);  // 255 + 30 * (255 - 239) / 10 limited to 255
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(dst.Byte(x, y, 3), 0xA5);
}

TEST(Sharpen, SixteenBitLimitsToTwelveBits) {
  KernelTestImage src(5, 5, 2);
  src.FillWords(4000);
  src.SetWord(2, 2, 0, 4095);
  KernelTestImage dst = src;
  ToneParams p{30, 12};
  ASSERT_EQ(test::RunKernel(SharpenGray16, dst, src, p), 1);
  EXPECT_EQ(dst.Word(2, 2), 4095);  // 4095 + 30 * (4095 - 4005) / 10
  src.SetWord(2, 2, 0, 4010);       // box mean 4000: 4010 + 30
  ASSERT_EQ(test::RunKernel(SharpenGray16, dst, src, p), 1);
  EXPECT_EQ(dst.Word(2, 2), 4040);
}

TEST(Sharpen, QuotientTruncatesTowardZero) {
  // Box mean trunc(63995 / 16) = 3999, o - b = -4; 7 * -4 / 10 = -2.8 -> -2.
  KernelTestImage src(5, 5, 2);
  src.FillWords(4000);
  src.SetWord(2, 2, 0, 3995);
  KernelTestImage dst = src;
  ToneParams p{7, 12};
  ASSERT_EQ(test::RunKernel(SharpenGray16, dst, src, p), 1);
  EXPECT_EQ(dst.Word(2, 2), 3993);
  // 8-bit, wide enough for whole blocks of samples, row 2 darker: every box
  // of rows 2 and 3 holds four samples of 95 and twelve of 100, mean 98.
  KernelTestImage src8(40, 6, 1);
  src8.FillBytes(100);
  for (int x = 0; x < 40; ++x) src8.SetByte(x, 2, 0, 95);
  KernelTestImage dst8 = src8;
  ASSERT_EQ(test::RunKernel(SharpenGray8, dst8, src8, p), 1);
  for (int x = 2; x < 38; ++x) {
    EXPECT_EQ(dst8.Byte(x, 2), 93) << x;   // 95 + 7 * -3 / 10 = 95 - 2
    EXPECT_EQ(dst8.Byte(x, 3), 101) << x;  // 100 + 7 * 2 / 10 = 100 + 1
  }
}

TEST(Sharpen, RefusesToReadItsOwnOutput) {
  KernelTestImage image(8, 8, 1);
  image.FillBytes(100);
  image.SetByte(4, 4, 0, 116);
  const auto before = image.pixels;
  ToneParams p{30, 12};
  EXPECT_EQ(RunInPlace(SharpenGray8, image, p), 0);
  EXPECT_EQ(image.pixels, before);
}

TEST(ToneFilters, FourthByteAndWordUntouched) {
  ToneParams gamma{150, 12}, contrast{60, 12}, sharp{30, 12}, bright{200, 12};
  HueSaturationParams hue{-90, 0, 200, 12};
  for (int type : {3, 5}) {
    const bool wide = type == 5;
    KernelTestImage image(7, 6, wide ? 8 : 4);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 7; ++x)
        for (int c = 0; c < 4; ++c) {
          const int v = (x * 37 + y * 91 + c * 53) % 256;
          if (wide)
            image.SetWord(x, y, c, static_cast<uint16_t>(c == 3 ? 0xF00D + x : v * 16));
          else
            image.SetByte(x, y, c, static_cast<uint8_t>(c == 3 ? 0xC0 + x : v));
        }
    const KernelTestImage copy = image;
    ASSERT_EQ(RunInPlace(HueSaturationKernelFor(type), image, hue), 1);
    ASSERT_EQ(RunInPlace(ToneKernelFor(ToneFilter::kGamma, type), image, gamma), 1);
    ASSERT_EQ(RunInPlace(ToneKernelFor(ToneFilter::kContrast, type), image, contrast), 1);
    ASSERT_EQ(test::RunKernel(ToneKernelFor(ToneFilter::kSharpness, type), image, copy, sharp), 1);
    ASSERT_EQ(RunInPlace(ToneKernelFor(ToneFilter::kBrightness, type), image, bright), 1);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 7; ++x) {
        if (wide)
          EXPECT_EQ(image.Word(x, y, 3), 0xF00D + x);
        else
          EXPECT_EQ(image.Byte(x, y, 3), 0xC0 + x);
      }
  }
}

TEST(ToneFilters, KernelsByColourType) {
  EXPECT_EQ(HueSaturationKernelFor(0), nullptr);
  EXPECT_EQ(HueSaturationKernelFor(1), nullptr);
  EXPECT_EQ(HueSaturationKernelFor(3), HueSaturationColor8);
  EXPECT_EQ(ToneKernelFor(ToneFilter::kGamma, 1), GammaGray16);
  EXPECT_EQ(ToneKernelFor(ToneFilter::kContrast, 2), ContrastColor8);
  EXPECT_EQ(ToneKernelFor(ToneFilter::kSharpness, 4), SharpenColor16);
  EXPECT_EQ(ToneKernelFor(ToneFilter::kBrightness, 0), BrightnessGray8);
  EXPECT_EQ(ToneKernelFor(ToneFilter::kGamma, 6), nullptr);
}

TEST(ToneFilters, UnusableArgumentsAreRefused) {
  KernelTestImage image(4, 4, 3);
  ToneParams p{50, 12};
  const KernelRect empty{2, 2, 2, 4};
  EXPECT_EQ(GammaColor8(image.View(empty), image.View(empty), p), 0);
  FrameView noPixels = image.View();
  noPixels.pixels = nullptr;
  EXPECT_EQ(GammaColor8(noPixels, image.View(), p), 0);
  // A colour kernel on one-byte pixels would read past each pixel.
  FrameView bytes = image.View();
  bytes.bytesPerPixel = 1;
  ConstFrameView srcBytes = image.View();
  srcBytes.bytesPerPixel = 1;
  EXPECT_EQ(GammaColor8(bytes, srcBytes, p), 0);
}

}  // namespace
}  // namespace quorel
