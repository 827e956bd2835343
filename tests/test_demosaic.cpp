// Bayer demosaicing: colours per mode and gain, the border fold, tiny images,
// and the SIMD paths against the scalar path bit for bit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/Demosaic.h"

namespace quorel {
namespace {

// A mosaic in an exact-size buffer (no slack after the last row), so that
// AddressSanitizer catches any read outside it.
struct Mosaic {
  int width;
  int height;
  int sampleBytes;
  int stride;
  std::vector<uint8_t> bytes;

  Mosaic(int w, int h, int sample)
      : width(w), height(h), sampleBytes(sample), stride((w * sample + 3) & ~3), bytes(size_t(stride) * h) {}
  void Set(int x, int y, unsigned v) {
    uint8_t *p = &bytes[size_t(y) * stride + size_t(x) * sampleBytes];
    if (sampleBytes == 1) {
      *p = static_cast<uint8_t>(v);
    } else {
      const uint16_t w = static_cast<uint16_t>(v);
      std::memcpy(p, &w, 2);
    }
  }
};

struct Output {
  int bytesPerPixel;
  int stride;
  std::vector<uint8_t> bytes;

  int width = 0;
  int height = 0;

  Output(int w, int h, int bpp, uint8_t fill = 0xAB)
      : bytesPerPixel(bpp), stride((w * bpp + 3) & ~3), bytes(size_t(stride) * h, fill), width(w), height(h) {}
  unsigned Channel(int x, int y, int c) const {
    const uint8_t *p = &bytes[size_t(y) * stride + size_t(x) * bytesPerPixel];
    if (bytesPerPixel <= 4) return p[c];
    uint16_t v;
    std::memcpy(&v, p + 2 * c, 2);
    return v;
  }
};

using DemosaicKernel = PixelKernel<const DemosaicParams &>;

// The kernel views of a mosaic rectangle and of the output from (dstX, dstY).
ConstFrameView MosaicView(const Mosaic &m, const KernelRect &rect) {
  return ConstFrameView{m.bytes.data(), m.stride, m.width, m.height, m.sampleBytes, rect};
}

FrameView OutputView(Output &out, const KernelRect &rect, int dstX, int dstY) {
  const KernelRect d{dstX, dstY, dstX + rect.right - rect.left, dstY + rect.bottom - rect.top};
  return FrameView{out.bytes.data(), out.stride, out.width, out.height, out.bytesPerPixel, d};
}

// Runs interior and border passes over the whole mosaic; returns their
// results' sum (2 when both accept the arguments).
int Demosaic(const Mosaic &m, Output &out, DemosaicParams params, DemosaicKernel interior = nullptr) {
  const bool wide = m.sampleBytes == 2;
  if (interior == nullptr) interior = wide ? DemosaicInterior16 : DemosaicInterior8;
  const DemosaicKernel border = wide ? DemosaicBorder16 : DemosaicBorder8;
  const KernelRect rect{0, 0, m.width, m.height};
  return interior(OutputView(out, rect, 0, 0), MosaicView(m, rect), params) +
         border(OutputView(out, rect, 0, 0), MosaicView(m, rect), params);
}

// Colour of the site at (x, y) under mode: 'R', 'G' or 'B'. Written from the
// first two rows of each mode (mode 0: G B / R G, 1: R G / G B, 2: B G / G R,
// 3: G R / B G) rather than from the class formula.
char SiteColour(int mode, int x, int y) {
  static const char *const kRows[4][2] = {{"GB", "RG"}, {"RG", "GB"}, {"BG", "GR"}, {"GR", "BG"}};
  return kRows[mode][y & 1][x & 1];
}

// A mosaic whose red sites all hold red, green sites green, blue sites blue.
Mosaic FlatColours(int w, int h, int sampleBytes, int mode, unsigned red, unsigned green, unsigned blue) {
  Mosaic m(w, h, sampleBytes);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const char c = SiteColour(mode, x, y);
      m.Set(x, y, c == 'R' ? red : c == 'G' ? green : blue);
    }
  }
  return m;
}

const int kDepths8[] = {3, 4};
const int kDepths16[] = {6, 8};

TEST(DemosaicTest, EffectiveModeFoldsMirrors) {
  EXPECT_EQ(EffectiveBayerMode(3, 0, 0), 3);
  EXPECT_EQ(EffectiveBayerMode(3, 0, 1), 2);  // vertical mirror swaps 2 and 3
  EXPECT_EQ(EffectiveBayerMode(3, 1, 0), 1);  // horizontal mirror swaps 1 and 3
  EXPECT_EQ(EffectiveBayerMode(3, 1, 1), 0);
  EXPECT_EQ(EffectiveBayerMode(0, 0, 1), 1);
  EXPECT_EQ(EffectiveBayerMode(0, 1, 0), 2);
}

TEST(DemosaicTest, GainMultipliers) {
  EXPECT_EQ(BayerGainMultiplier(100), 128);
  EXPECT_EQ(BayerGainMultiplier(0), 0);
  EXPECT_EQ(BayerGainMultiplier(400), 512);
  EXPECT_EQ(BayerGainMultiplier(1), 1);    // 1.28 truncated
  EXPECT_EQ(BayerGainMultiplier(75), 96);  // exactly 96, not 95.99...
  EXPECT_EQ(BayerGainMultiplier(-20), 0);  // out-of-range gains are limited
  EXPECT_EQ(BayerGainMultiplier(5000), 512);
}

// Every site colour in its place: constant colour planes come out as those
// colours at every pixel, borders included, in every mode and depth. A mode
// read with the wrong phase or red and blue swapped would mix the planes.
TEST(DemosaicTest, FlatColourPlanesInEveryModeAndDepth) {
  for (int mode = 0; mode < 4; ++mode) {
    for (int sample : {1, 2}) {
      const unsigned scale = sample == 1 ? 1 : 16;
      const Mosaic m = FlatColours(11, 9, sample, mode, 200 * scale, 100 * scale, 50 * scale);
      for (int bpp : sample == 1 ? kDepths8 : kDepths16) {
        Output out(11, 9, bpp);
        ASSERT_EQ(Demosaic(m, out, {mode, 100, 100, 100}), 2);
        for (int y = 0; y < 9; ++y) {
          for (int x = 0; x < 11; ++x) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " bpp " << bpp << " at " << x << "," << y);
            EXPECT_EQ(out.Channel(x, y, 0), 50 * scale);
            EXPECT_EQ(out.Channel(x, y, 1), 100 * scale);
            EXPECT_EQ(out.Channel(x, y, 2), 200 * scale);
          }
        }
      }
    }
  }
}

TEST(DemosaicTest, UniformHundredStaysHundred) {
  for (int mode = 0; mode < 4; ++mode) {
    const Mosaic m = FlatColours(8, 7, 1, mode, 100, 100, 100);
    Output out(8, 7, 3);
    Demosaic(m, out, {mode, 100, 100, 100});
    for (size_t i = 0; i < 8 * 3; ++i) EXPECT_EQ(out.bytes[i], 100) << i;
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 8; ++x) EXPECT_EQ(out.Channel(x, y, 1), 100u);
    }
  }
}

// Gains scale red and blue only; green is never scaled; the clamp holds.
TEST(DemosaicTest, GainsScaleRedAndBlueAndSaturate) {
  const Mosaic m8 = FlatColours(9, 9, 1, 3, 200, 100, 50);
  Output out(9, 9, 3);
  // Red 200 with gain 50: sum 16 * 200 times 64, >> 11 = 100. Blue 50 with
  // gain 400: 16 * 50 * 512 >> 11 = 200.
  Demosaic(m8, out, {3, 50, 0, 400});
  EXPECT_EQ(out.Channel(4, 4, 2), 100u);
  EXPECT_EQ(out.Channel(4, 4, 0), 200u);
  EXPECT_EQ(out.Channel(4, 4, 1), 100u);
  EXPECT_EQ(out.Channel(0, 0, 2), 100u);

  // Red sites of 255 with gain 400 saturate, in the interior and the border.
  const Mosaic hot8 = FlatColours(9, 9, 1, 1, 255, 10, 10);
  Demosaic(hot8, out, {1, 400, 100, 100});
  EXPECT_EQ(out.Channel(4, 4, 2), 255u);
  EXPECT_EQ(out.Channel(8, 8, 2), 255u);
  const Mosaic hot16 = FlatColours(9, 9, 2, 1, 4095, 10, 10);
  Output out16(9, 9, 6);
  Demosaic(hot16, out16, {1, 400, 100, 100});
  EXPECT_EQ(out16.Channel(4, 4, 2), 4095u);
  EXPECT_EQ(out16.Channel(0, 8, 2), 4095u);
  EXPECT_EQ(out16.Channel(4, 4, 1), 10u);

  // Just below the clamp: 16 * 255 * K must stay under 0x80000 for K = 128.
  Demosaic(hot8, out, {1, 100, 100, 100});
  EXPECT_EQ(out.Channel(4, 4, 2), 255u);
  Demosaic(hot8, out, {1, 99, 100, 100});  // K = 126: 4080 * 126 >> 11 = 251
  EXPECT_EQ(out.Channel(4, 4, 2), 251u);
}

TEST(DemosaicTest, GreenGainChangesNothing) {
  std::mt19937 rng(7);
  Mosaic m(13, 10, 1);
  for (auto &b : m.bytes) b = static_cast<uint8_t>(rng());
  Output a(13, 10, 3), b(13, 10, 3), c(13, 10, 3);
  Demosaic(m, a, {2, 130, 100, 70});
  Demosaic(m, b, {2, 130, 0, 70});
  Demosaic(m, c, {2, 130, 400, 70});
  EXPECT_EQ(a.bytes, b.bytes);
  EXPECT_EQ(a.bytes, c.bytes);
}

// A ramp s = 8x + 3y: bilinear interpolation at the cell centre gives
// trunc(8(x - 1/2) + 3(y - 1/2)) for every channel in the interior. Any site
// taken from the wrong offset breaks the equality.
TEST(DemosaicTest, InteriorInterpolatesRampAtCellCentre) {
  for (int mode = 0; mode < 4; ++mode) {
    Mosaic m(12, 12, 1);
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 12; ++x) m.Set(x, y, 8 * x + 3 * y);
    }
    Output out(12, 12, 4);
    Demosaic(m, out, {mode, 100, 100, 100});
    for (int y = 2; y <= 9; ++y) {
      for (int x = 2; x <= 9; ++x) {
        const unsigned centre = (16 * x - 8 + 6 * y - 3) / 2;  // trunc(8x + 3y - 5.5)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out.Channel(x, y, c), centre) << mode << " " << x << "," << y;
      }
    }
  }
}

// Border pixels by hand: a neighbour outside moves 4 pixels inwards.
TEST(DemosaicTest, BorderFoldsNeighboursByFour) {
  // Mode 3 (G R / B G), 6 x 6, s = 10x + y.
  Mosaic m(6, 6, 1);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) m.Set(x, y, 10 * x + y);
  }
  Output out(6, 6, 3);
  Demosaic(m, out, {3, 100, 100, 100});
  // (0, 0) is green (a = 1, b = 1). Red site (-1, 0) -> column 3: s(3,0) = 30,
  // partners (1,0) = 10, (3,-2 -> 2) = 32, (1,2) = 12:
  // 9*30 + 3*10 + 3*32 + 12 = 408 -> 408 * 128 >> 11 = 25.
  EXPECT_EQ(out.Channel(0, 0, 2), 25u);
  // Blue site (0, -1) -> row 3: s(0,3) = 3, partners (-2 -> 2, 3) = 23,
  // (0, 1) = 1, (2, 1) = 21: 27 + 69 + 3 + 21 = 120 -> 7.
  EXPECT_EQ(out.Channel(0, 0, 0), 7u);
  // Greens (-1,-1) -> (3,3) = 33 and (0,0) = 0: 16.
  EXPECT_EQ(out.Channel(0, 0, 1), 16u);
  // (5, 5): a = 0, b = 0, green. Red site (0,-1) = (5,4) = 54, partners
  // (3,4) = 34, (5, 6 -> 2) = 52, (3,2) = 32: 486 + 102 + 156 + 32 = 776 -> 48.
  EXPECT_EQ(out.Channel(5, 5, 2), 48u);
  // Blue site (-1,0) = (4,5) = 45, partners (6 -> 2, 5) = 25, (4,3) = 43,
  // (2,3) = 23: 405 + 75 + 129 + 23 = 632 -> 39.
  EXPECT_EQ(out.Channel(5, 5, 0), 39u);
  // (0, 3), in the column strip only: a = 0, b = 1, blue. Red site (-1,-1)
  // -> (3,2) = 32, partners (1,2) = 12, (-1 -> 3, 4) = 34, (1,4) = 14:
  // 288 + 36 + 102 + 14 = 440 -> 27. Blue (0,3) = 3, partners (-2 -> 2, 3)
  // = 23, (0,1) = 1, (2,1) = 21: 120 -> 7. Greens (0,2) = 2 and (3,3) = 33.
  EXPECT_EQ(out.Channel(0, 3, 2), 27u);
  EXPECT_EQ(out.Channel(0, 3, 0), 7u);
  EXPECT_EQ(out.Channel(0, 3, 1), 17u);
}

TEST(DemosaicTest, FourthByteAndWordNeverWritten) {
  for (int sample : {1, 2}) {
    const Mosaic m = FlatColours(40, 6, sample, 0, 7, 8, 9);
    Output out(40, 6, sample == 1 ? 4 : 8, 0xAB);
    Demosaic(m, out, {0, 100, 100, 100});
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(out.Channel(x, y, 3), sample == 1 ? 0xABu : 0xABABu) << x << "," << y;
        EXPECT_EQ(out.Channel(x, y, 1), 8u);
      }
    }
  }
}

TEST(DemosaicTest, RejectedArgumentsWriteNothing) {
  const Mosaic m = FlatColours(8, 8, 1, 0, 1, 2, 3);
  Output out(8, 8, 3, 0xCD);
  const auto untouched = out.bytes;
  const KernelRect rect{0, 0, 8, 8};
  DemosaicParams params;
  FrameView sixBytes = OutputView(out, rect, 0, 0);
  sixBytes.bytesPerPixel = 6;
  EXPECT_EQ(DemosaicBorder8(sixBytes, MosaicView(m, rect), params), 0);
  EXPECT_EQ(DemosaicInterior16(OutputView(out, rect, 0, 0), MosaicView(m, rect), params), 0);
  ConstFrameView noSource = MosaicView(m, rect);
  noSource.pixels = nullptr;
  EXPECT_EQ(DemosaicBorder8(OutputView(out, rect, 0, 0), noSource, params), 0);
  // Destination rows too short for the rectangle at that position.
  EXPECT_EQ(DemosaicInterior8(OutputView(out, rect, 1, 0), MosaicView(m, rect), params), 0);
  EXPECT_EQ(out.bytes, untouched);
}

// Images below 4 x 4: no sample outside the exact-size buffer is read
// (AddressSanitizer builds), a uniform mosaic stays uniform, and where both
// column and row classes exist (2 or 3 wide and high) the colours come out
// exactly, since the fold by 2 keeps each site's colour.
TEST(DemosaicTest, TinyImagesStayInsideAndKeepColours) {
  for (int w = 1; w <= 5; ++w) {
    for (int h = 1; h <= 5; ++h) {
      for (int sample : {1, 2}) {
        for (int mode = 0; mode < 4; ++mode) {
          SCOPED_TRACE(testing::Message() << w << "x" << h << " sample " << sample << " mode " << mode);
          const Mosaic uniform = FlatColours(w, h, sample, mode, 77, 77, 77);
          const Mosaic colours = FlatColours(w, h, sample, mode, 90, 60, 30);
          for (int bpp : sample == 1 ? kDepths8 : kDepths16) {
            Output out(w, h, bpp);
            ASSERT_EQ(Demosaic(uniform, out, {mode, 100, 100, 100}), 2);
            for (int y = 0; y < h; ++y) {
              for (int x = 0; x < w; ++x) {
                for (int c = 0; c < 3; ++c) ASSERT_EQ(out.Channel(x, y, c), 77u);
              }
            }
            if (w < 2 || h < 2) continue;
            Demosaic(colours, out, {mode, 100, 100, 100});
            for (int y = 0; y < h; ++y) {
              for (int x = 0; x < w; ++x) {
                ASSERT_EQ(out.Channel(x, y, 0), 30u);
                ASSERT_EQ(out.Channel(x, y, 1), 60u);
                ASSERT_EQ(out.Channel(x, y, 2), 90u);
              }
            }
          }
        }
      }
    }
  }
}

// A capture window 3 rows high and wide enough for every SIMD block width.
TEST(DemosaicTest, ThreeRowWindowStaysInside) {
  for (int sample : {1, 2}) {
    const Mosaic m = FlatColours(203, 3, sample, 2, 40, 41, 42);
    for (int bpp : sample == 1 ? kDepths8 : kDepths16) {
      Output out(203, 3, bpp);
      ASSERT_EQ(Demosaic(m, out, {2, 100, 100, 100}), 2);
      EXPECT_EQ(out.Channel(202, 2, 0), 42u);
      EXPECT_EQ(out.Channel(101, 1, 2), 40u);
    }
  }
}

// The SIMD paths give exactly the scalar path's bytes: random mosaics,
// every mode, gains at their edges, odd sizes, rectangles and destination
// positions away from the origin, every destination depth.
TEST(DemosaicTest, SimdPathsMatchScalarBitForBit) {
  std::mt19937 rng(12345);
  const int gains[] = {0, 1, 99, 100, 101, 399, 400, -3, 777};
  const std::vector<DemosaicKernel> paths8 = {DemosaicInterior8Sse2, DemosaicInterior8Avx2, DemosaicInterior8Avx512,
                                              DemosaicInterior8};
  const std::vector<DemosaicKernel> paths16 = {DemosaicInterior16Sse2, DemosaicInterior16Avx2, DemosaicInterior16};
  for (int round = 0; round < 300; ++round) {
    const int sample = round % 2 == 0 ? 1 : 2;
    const int w = 1 + static_cast<int>(rng() % 150);
    const int h = 1 + static_cast<int>(rng() % 9);
    Mosaic m(w, h, sample);
    // Full-range noise, bright noise near the clamp, and (16-bit) words
    // above 12 bits, which the kernels must treat like the scalar path.
    const unsigned range = sample == 1 ? 256 : (round % 6 == 1 ? 65536 : 4096);
    const unsigned floor = round % 3 == 0 ? range - range / 8 : 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) m.Set(x, y, floor + rng() % (range - floor));
    }
    const DemosaicParams params{static_cast<int>(rng() % 4), gains[rng() % 9], 100, gains[rng() % 9]};
    const int left = static_cast<int>(rng() % 3) % w;
    const int top = static_cast<int>(rng() % 2) % h;
    const KernelRect rect{left, top, w, h};
    const int dstX = static_cast<int>(rng() % 3);
    for (int bpp : sample == 1 ? kDepths8 : kDepths16) {
      SCOPED_TRACE(testing::Message() << "round " << round << " " << w << "x" << h << " bpp " << bpp);
      Output expected(w + dstX, h, bpp, 0x3C);
      const DemosaicKernel scalar = sample == 1 ? DemosaicInterior8Scalar : DemosaicInterior16Scalar;
      DemosaicParams p = params;
      ASSERT_EQ(scalar(OutputView(expected, rect, dstX, 0), MosaicView(m, rect), p), 1);
      for (DemosaicKernel path : sample == 1 ? paths8 : paths16) {
        Output got(w + dstX, h, bpp, 0x3C);
        ASSERT_EQ(path(OutputView(got, rect, dstX, 0), MosaicView(m, rect), p), 1);
        ASSERT_EQ(got.bytes, expected.bytes);
      }
    }
  }
}

// The border pass is the interior formula over the mosaic extended by two
// pixels on every side, each outside row and column a copy of the one four
// further in (which keeps its colour): random mosaics of every size from 4,
// every mode, both sample sizes and destination depths.
TEST(DemosaicTest, BorderEqualsTheInteriorOfTheMosaicExtendedByFour) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 120; ++round) {
    const int sample = round % 2 == 0 ? 1 : 2;
    const int w = 4 + static_cast<int>(rng() % 40), h = 4 + static_cast<int>(rng() % 12);
    Mosaic m(w, h, sample), extended(w + 4, h + 4, sample);
    std::vector<unsigned> values(static_cast<size_t>(w) * h);
    for (unsigned &v : values) v = rng() % (sample == 1 ? 256 : 4096);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) m.Set(x, y, values[static_cast<size_t>(y) * w + x]);
    const auto inside = [](int c, int n) { return c < 0 ? c + 4 : c >= n ? c - 4 : c; };
    for (int y = 0; y < h + 4; ++y)
      for (int x = 0; x < w + 4; ++x)
        extended.Set(x, y, values[static_cast<size_t>(inside(y - 2, h)) * w + inside(x - 2, w)]);
    const DemosaicParams params{static_cast<int>(rng() % 4), static_cast<int>(rng() % 401), 100,
                                static_cast<int>(rng() % 401)};
    for (int bpp : sample == 1 ? kDepths8 : kDepths16) {
      SCOPED_TRACE(testing::Message() << "round " << round << " " << w << "x" << h << " bpp " << bpp);
      Output got(w, h, bpp, 0x3C), want(w + 4, h + 4, bpp, 0x3C);
      ASSERT_EQ(Demosaic(m, got, params), 2);
      const KernelRect all{0, 0, w + 4, h + 4};
      ASSERT_EQ((sample == 1 ? DemosaicInterior8Scalar : DemosaicInterior16Scalar)(OutputView(want, all, 0, 0),
                                                                                   MosaicView(extended, all), params),
                1);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          for (int c = 0; c < 3; ++c) ASSERT_EQ(got.Channel(x, y, c), want.Channel(x + 2, y + 2, c)) << x << "," << y;
    }
  }
}

// A rectangle inside a larger mosaic keeps the classes of its absolute
// coordinates and lands at the destination position.
TEST(DemosaicTest, RectangleInteriorMatchesWholeImage) {
  std::mt19937 rng(99);
  Mosaic m(64, 64, 1);
  for (auto &b : m.bytes) b = static_cast<uint8_t>(rng());
  Output whole(64, 64, 3);
  Demosaic(m, whole, {1, 120, 100, 80});
  Output window(60, 60, 3);
  const KernelRect inner{2, 2, 62, 62};
  DemosaicParams params{1, 120, 100, 80};
  DemosaicInterior8(OutputView(window, inner, 0, 0), MosaicView(m, inner), params);
  for (int y = 4; y < 58; ++y) {
    for (int x = 4; x < 58; ++x) {
      for (int c = 0; c < 3; ++c) ASSERT_EQ(window.Channel(x - 2, y - 2, c), whole.Channel(x, y, c));
    }
  }
}

}  // namespace
}  // namespace quorel
