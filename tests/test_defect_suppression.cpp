// Defective-pixel suppression: which outliers go, the thresholds at their
// edges, the in-place order, and the pre-screened walks against the plain one.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "image/DefectSimd.h"
#include "image/DefectSuppression.h"

namespace quorel {
namespace {

template <class T>
struct Field {
  int width;
  int height;
  std::vector<T> samples;  // rows packed: stride = width * sizeof(T)

  Field(int w, int h, unsigned value) : width(w), height(h), samples(size_t(w) * h, static_cast<T>(value)) {}
  T &At(int x, int y) { return samples[size_t(y) * width + x]; }
  uint8_t *Bytes() { return reinterpret_cast<uint8_t *>(samples.data()); }
  int Stride() const { return width * static_cast<int>(sizeof(T)); }
};

using DefectKernel = PixelKernel<const DemosaicParams &, int32_t>;

// The whole field as the kernels see it, optionally with another pixel size.
template <class T>
FrameView View(Field<T> &f, int bytesPerPixel = sizeof(T)) {
  return FrameView{f.Bytes(), f.Stride(), f.width, f.height, bytesPerPixel, KernelRect{0, 0, f.width, f.height}};
}

template <class T>
ConstFrameView ConstView(Field<T> &f, int bytesPerPixel = sizeof(T)) {
  const FrameView v = View(f, bytesPerPixel);
  return ConstFrameView{v.pixels, v.stride, v.width, v.height, v.bytesPerPixel, v.rect};
}

int Suppress(Field<uint8_t> &f, DemosaicParams params, int32_t threshold = kDefectThreshold8,
             DefectKernel kernel = SuppressDefects8) {
  return kernel(View(f), ConstView(f), params, threshold);
}

int Suppress(Field<uint16_t> &f, int32_t threshold = kDefectThreshold16, DefectKernel kernel = SuppressDefects16) {
  return kernel(View(f), ConstView(f), DemosaicParams{}, threshold);
}

TEST(DefectSuppressionTest, EightBitHotPixelReplaced) {
  Field<uint8_t> f(12, 12, 50);
  f.At(5, 6) = 255;
  EXPECT_EQ(Suppress(f, {3, 100, 100, 100}), 1);
  EXPECT_EQ(f.At(5, 6), 50);
}

// A red site 30 above its neighbours passes the first step but its estimate
// (red 66, green 50, blue 50) is not coloured enough: it stays.
TEST(DefectSuppressionTest, EightBitMildRedSiteKept) {
  Field<uint8_t> f(12, 12, 50);
  // Mode 1 (R G / G B): (4, 4) is a red site.
  f.At(4, 4) = 80;
  const DemosaicParams params{1, 100, 100, 100};
  EXPECT_EQ(EstimateColor8(f.samples.data(), f.width, 4, 4, params), (66u << 16) | (50u << 8) | 50u);
  EXPECT_EQ(Suppress(f, params), 0);
  EXPECT_EQ(f.At(4, 4), 80);
}

// With red gain 400 and blue gain 0 every estimate is strongly coloured, so
// the threshold alone decides: v - A = 30 goes, 29 stays.
TEST(DefectSuppressionTest, EightBitThresholdIsInclusive) {
  const DemosaicParams params{0, 400, 100, 0};
  Field<uint8_t> at(12, 12, 50);
  at.At(6, 5) = 80;
  EXPECT_EQ(Suppress(at, params), 1);
  EXPECT_EQ(at.At(6, 5), 50);
  Field<uint8_t> below(12, 12, 50);
  below.At(6, 5) = 79;
  EXPECT_EQ(Suppress(below, params), 0);
  EXPECT_EQ(below.At(6, 5), 79);
  // Dark outliers never count in 8 bits.
  Field<uint8_t> dark(12, 12, 50);
  dark.At(6, 5) = 0;
  EXPECT_EQ(Suppress(dark, params), 0);
  // The estimate keeps the low 8 bits of red: 16 * 50 * 512 >> 11 = 200.
  const Field<uint8_t> flat(12, 12, 50);
  EXPECT_EQ(EstimateColor8(flat.samples.data(), flat.width, 7, 7, params) >> 16, 200u);
  Field<uint8_t> bright(12, 12, 200);
  EXPECT_EQ(EstimateColor8(bright.samples.data(), bright.width, 7, 7, params) >> 16, 800u & 0xFF);
}

TEST(DefectSuppressionTest, SixteenBitOutliersBothWays) {
  Field<uint16_t> dark(10, 10, 2000);
  dark.At(4, 5) = 0;
  EXPECT_EQ(Suppress(dark), 0);  // the 16-bit variant reports 0
  EXPECT_EQ(dark.At(4, 5), 2000);

  Field<uint16_t> at(10, 10, 2000);
  at.At(4, 5) = 2480;
  Suppress(at);
  EXPECT_EQ(at.At(4, 5), 2000);
  Field<uint16_t> below(10, 10, 2000);
  below.At(4, 5) = 2479;
  Suppress(below);
  EXPECT_EQ(below.At(4, 5), 2479);
}

TEST(DefectSuppressionTest, SixteenBitAdjacentDefectsProtectEachOther) {
  Field<uint16_t> close(10, 10, 2000);
  close.At(4, 5) = 0;
  close.At(5, 5) = 479;
  Suppress(close);
  EXPECT_EQ(close.At(4, 5), 0);
  EXPECT_EQ(close.At(5, 5), 479);

  // 480 apart they no longer protect each other: the first is replaced,
  // then the second sees the corrected first.
  Field<uint16_t> apart(10, 10, 2000);
  apart.At(4, 5) = 0;
  apart.At(5, 5) = 480;
  Suppress(apart);
  EXPECT_EQ(apart.At(4, 5), 2000);
  EXPECT_EQ(apart.At(5, 5), 2000);
}

// In place and in order: the corrected (2, 5) feeds the mean of (4, 5).
// (2, 5) = 0 sees (4, 5) = 1000 in its mean: (3 * 2000 + 1000) / 4 = 1750.
// (4, 5) = 1000 then sees the corrected 1750: (1750 + 3 * 2000) / 4 = 1937
// (reading the original 0 would have given 1500).
TEST(DefectSuppressionTest, CorrectionsFeedLaterPixels) {
  for (DefectKernel kernel : {SuppressDefects16, SuppressDefects16Scalar}) {
    Field<uint16_t> f(40, 9, 2000);
    f.At(2, 5) = 0;
    f.At(4, 5) = 1000;
    Suppress(f, kDefectThreshold16, kernel);
    EXPECT_EQ(f.At(2, 5), 1750);
    EXPECT_EQ(f.At(4, 5), 1937);
  }
}

TEST(DefectSuppressionTest, EdgePixelsUntouched) {
  Field<uint8_t> f8(10, 10, 50);
  Field<uint16_t> f16(10, 10, 2000);
  for (const auto &[x, y] : {std::pair{1, 1}, {0, 5}, {8, 4}, {5, 9}}) {
    f8.At(x, y) = 255;
    f16.At(x, y) = 4095;
  }
  const auto before8 = f8.samples;
  const auto before16 = f16.samples;
  EXPECT_EQ(Suppress(f8, {0, 100, 100, 100}), 0);
  Suppress(f16);
  EXPECT_EQ(f8.samples, before8);
  EXPECT_EQ(f16.samples, before16);
}

TEST(DefectSuppressionTest, RejectedArgumentsTouchNothing) {
  Field<uint8_t> f(10, 10, 50);
  f.At(5, 5) = 255;
  Field<uint8_t> other(10, 10, 50);
  DemosaicParams params;
  int32_t threshold = 30;
  EXPECT_EQ(SuppressDefects8(View(other), ConstView(f), params, threshold), 0);
  EXPECT_EQ(SuppressDefects8(View(f, 2), ConstView(f, 2), params, threshold), 0);
  EXPECT_EQ(f.At(5, 5), 255);
  EXPECT_EQ(SuppressDefects8(View(f), ConstView(f), params, kDefectThreshold8), 1);
}

// Mosaics with clusters of outliers next to each other, so corrections
// cascade into later pixels of the same row, compared between the plain
// walk and every pre-screened walk the CPU can run.
template <class T>
void ExpectWalksAgree(std::mt19937 &rng, int round) {
  const int w = 5 + static_cast<int>(rng() % 120);
  const int h = 5 + static_cast<int>(rng() % 8);
  const unsigned top = sizeof(T) == 1 ? 255 : (round % 5 == 0 ? 65535 : 4095);
  const unsigned base = rng() % (top + 1);
  Field<T> f(w, h, base);
  for (auto &s : f.samples) {
    const unsigned r = rng() % 100;
    if (r < 12) {
      s = static_cast<T>(rng() % (top + 1));  // outlier of either sign
    } else if (r < 20) {
      s = static_cast<T>(std::min(top, base + (sizeof(T) == 1 ? 30u : 480u)));  // at the threshold
    } else {
      s = static_cast<T>(std::min<unsigned>(top, base + rng() % 9));
    }
  }
  const int thresholds8[] = {30, 30, 1, 0, -4, 255, 256, 1000};
  const int thresholds16[] = {480, 480, 1, 0, -4, 4095, 40000, 32767};
  const int threshold = (sizeof(T) == 1 ? thresholds8 : thresholds16)[rng() % 8];
  const DemosaicParams params{static_cast<int>(rng() % 4), static_cast<int>(rng() % 401), 100,
                              static_cast<int>(rng() % 401)};
  const KernelRect rect{0, 0, w, h};
  Field<T> plain = f;
  const int plainCount = sizeof(T) == 1 ? SuppressDefects8Scalar(View(plain), ConstView(plain), params, threshold)
                                        : SuppressDefects16Scalar(View(plain), ConstView(plain), params, threshold);
  if (threshold < 1) return;  // the screened walks are never used then
  const auto walk = [&](bool avx2) {
    Field<T> g = f;
    int count;
    if constexpr (sizeof(T) == 1) {
      const bayer::Defects8 d{g.samples.data(),
                              size_t(w),
                              params.mode & 1,
                              (params.mode >> 1) & 1,
                              static_cast<uint32_t>(BayerGainMultiplier(params.gainRed)),
                              static_cast<uint32_t>(BayerGainMultiplier(params.gainBlue)),
                              threshold};
      count = avx2 ? bayer::WalkDefectsAvx2(d, rect, threshold) : bayer::WalkDefectsSse2(d, rect, threshold);
      EXPECT_EQ(count, plainCount);
    } else {
      const bayer::Defects16 d{g.samples.data(), size_t(w), threshold};
      count = avx2 ? bayer::WalkDefectsAvx2(d, rect, threshold) : bayer::WalkDefectsSse2(d, rect, threshold);
    }
    EXPECT_EQ(g.samples, plain.samples) << "round " << round << " avx2 " << avx2 << " threshold " << threshold;
  };
  walk(false);
  if (ActiveSimdPath() == SimdPath::kAvx2) walk(true);
}

TEST(DefectSuppressionTest, ScreenedWalksMatchPlainWalk) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    if (round % 2 == 0) {
      ExpectWalksAgree<uint8_t>(rng, round);
    } else {
      ExpectWalksAgree<uint16_t>(rng, round);
    }
  }
}

}  // namespace
}  // namespace quorel
