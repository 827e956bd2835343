// Every instruction-set path of the pixel kernels against the plain path, byte
// for byte: random images of odd widths, every depth each kernel takes,
// samples beyond 12 bits in the 16-bit formats, settings at their edges.
// One test per kernel family, run once per path the processor has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "image/CpuPath.h"
#include "image/ToneFilters.h"
#include "image/WhiteBalance.h"
#include "tests/KernelTestImage.h"

namespace quorel {
namespace {

using test::KernelTestImage;

// Forces a path for the duration of a scope.
class ForcedPath {
 public:
  explicit ForcedPath(CpuPath path) : previous_(ForceCpuPath(path)) {}
  ~ForcedPath() { ForceCpuPath(previous_); }
  ForcedPath(const ForcedPath &) = delete;
  ForcedPath &operator=(const ForcedPath &) = delete;

 private:
  CpuPath previous_;
};

// Runs a kernel from src into dst (the same image for in-place kernels).
using Apply = std::function<int(KernelTestImage &dst, const KernelTestImage &src)>;

KernelTestImage RandomImage(std::mt19937 &rng, int width, int height, int bpp, bool wideSamples) {
  KernelTestImage image(width, height, bpp);
  // Mostly 12-bit words, sometimes any 16-bit value; bytes anywhere.
  const bool anyWord = rng() % 4 == 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (wideSamples) {
        for (int c = 0; c < bpp / 2; ++c)
          image.SetWord(x, y, c, static_cast<uint16_t>(anyWord ? rng() & 0xFFFF : rng() % 4096));
      } else {
        for (int c = 0; c < bpp; ++c) image.SetByte(x, y, c, static_cast<uint8_t>(rng()));
      }
    }
  // Runs of gray and of saturated pixels, where the hue model has its edges.
  if (width > 4 && !wideSamples)
    for (int c = 0; c < bpp; ++c) image.SetByte(1, 0, c, 0), image.SetByte(2, 0, c, 255), image.SetByte(3, 0, c, 77);
  return image;
}

class KernelPaths : public ::testing::TestWithParam<CpuPath> {
 protected:
  void SetUp() override {
    if (static_cast<int>(GetParam()) > static_cast<int>(DetectedCpuPath()))
      GTEST_SKIP() << "processor lacks " << CpuPathName(GetParam());
  }

  // Runs `apply` under the plain path and under the path of the test on
  // random images of each depth and of widths around the vector block sizes;
  // the results must match byte for byte (padding and fourth samples too).
  void ExpectSameAsPlain(const std::vector<int> &depths, bool wideSamples, bool inPlace, const Apply &apply,
                         int rounds = 3) {
    std::mt19937 rng(777);
    for (int bpp : depths)
      for (int width : {1, 7, 15, 16, 17, 31, 33, 64, 65, 131})
        for (int round = 0; round < rounds; ++round) {
          const int height = 1 + static_cast<int>(rng() % 7);
          const KernelTestImage source = RandomImage(rng, width, height, bpp, wideSamples);
          KernelTestImage expected = source, got = source;
          int expectedResult = 0, gotResult = 0;
          {
            ForcedPath plain(CpuPath::kPlain);
            expectedResult = inPlace ? apply(expected, expected) : apply(expected, source);
          }
          {
            ForcedPath path(GetParam());
            gotResult = inPlace ? apply(got, got) : apply(got, source);
          }
          SCOPED_TRACE(::testing::Message() << "bpp " << bpp << " width " << width << " height " << height);
          ASSERT_EQ(gotResult, expectedResult);
          ASSERT_EQ(got.pixels, expected.pixels);
        }
  }
};

TEST_P(KernelPaths, HueSaturation) {
  for (const HueSaturationParams p : {HueSaturationParams{40, 0, 80, 12}, HueSaturationParams{-360, 0, -255, 12},
                                      HueSaturationParams{359, 0, 255, 12}, HueSaturationParams{120, 0, 0, 10}}) {
    SCOPED_TRACE(::testing::Message() << "hue " << p.hue << " saturation " << p.saturation);
    const auto apply8 = [&p](KernelTestImage &d, const KernelTestImage &s) {
      return test::RunKernel(HueSaturationColor8, d, s, p);
    };
    const auto apply16 = [&p](KernelTestImage &d, const KernelTestImage &s) {
      return test::RunKernel(HueSaturationColor16, d, s, p);
    };
    ExpectSameAsPlain({3, 4}, false, true, apply8);
    ExpectSameAsPlain({3, 4}, false, false, apply8, 1);
    ExpectSameAsPlain({6, 8}, true, true, apply16);

    // Every chroma d with every ramp position n < d (red d, green n, blue
    // 0), where the vector paths compute the reciprocal of d rather than
    // look it up; also under a rounding mode the computation must not follow.
    for (int bpp : {3, 4, 6, 8}) {
      KernelTestImage sweep(256, 256, bpp);
      for (int d = 0; d < 256; ++d)
        for (int n = 0; n < 256; ++n) {
          const int red = d, green = std::min(n, d);
          if (bpp >= 6) {
            sweep.SetWord(n, d, 1, static_cast<uint16_t>(green << 4));
            sweep.SetWord(n, d, 2, static_cast<uint16_t>(red << 4));
          } else {
            sweep.SetByte(n, d, 1, static_cast<uint8_t>(green));
            sweep.SetByte(n, d, 2, static_cast<uint8_t>(red));
          }
        }
      const Apply apply = bpp >= 6 ? Apply(apply16) : Apply(apply8);
      KernelTestImage expected = sweep;
      {
        ForcedPath plain(CpuPath::kPlain);
        ASSERT_EQ(apply(expected, expected), 1);
      }
      for (int rounding : {FE_TONEAREST, FE_UPWARD}) {
        KernelTestImage got = sweep;
        {
          ForcedPath path(GetParam());
          ASSERT_EQ(std::fesetround(rounding), 0);
          const int result = apply(got, got);
          std::fesetround(FE_TONEAREST);
          ASSERT_EQ(result, 1);
        }
        ASSERT_EQ(got.pixels, expected.pixels) << "sweep of depth " << bpp << " rounding " << rounding;
      }
    }
  }
}

TEST_P(KernelPaths, GammaContrastBrightness) {
  for (ToneFilter filter : {ToneFilter::kGamma, ToneFilter::kContrast, ToneFilter::kBrightness}) {
    for (int value : {-255, -60, 0, 37, 150, 255}) {
      SCOPED_TRACE(::testing::Message() << "filter " << static_cast<int>(filter) << " value " << value);
      const ToneParams p{value, 12};
      for (int type : {0, 1, 2, 4}) {
        const ToneKernel kernel = ToneKernelFor(filter, type);
        const auto apply = [&](KernelTestImage &d, const KernelTestImage &s) {
          return test::RunKernel(kernel, d, s, p);
        };
        const bool wide = type == 1 || type == 4;
        const std::vector<int> depths = type == 0   ? std::vector<int>{1}
                                        : type == 1 ? std::vector<int>{2}
                                        : type == 2 ? std::vector<int>{3, 4}
                                                    : std::vector<int>{6, 8};
        ExpectSameAsPlain(depths, wide, true, apply, 1);
      }
    }
  }
}

TEST_P(KernelPaths, Sharpness) {
  for (int value : {1, 15, 30}) {
    const ToneParams p{value, 12};
    for (int type : {0, 1, 2, 4}) {
      const ToneKernel kernel = ToneKernelFor(ToneFilter::kSharpness, type);
      const auto apply = [&](KernelTestImage &d, const KernelTestImage &s) { return test::RunKernel(kernel, d, s, p); };
      const bool wide = type == 1 || type == 4;
      const std::vector<int> depths = type == 0   ? std::vector<int>{1}
                                      : type == 1 ? std::vector<int>{2}
                                      : type == 2 ? std::vector<int>{3, 4}
                                                  : std::vector<int>{6, 8};
      ExpectSameAsPlain(depths, wide, false, apply, 2);
    }
  }
}

TEST_P(KernelPaths, GrayKernels) {
  GrayParams gains;
  gains.mode = 1;
  const int32_t g[4] = {140, 128, 0, 255};
  const int32_t o[4] = {-20, 0, 7, 255};
  for (int i = 0; i < 4; ++i) gains.gains[i] = g[i], gains.offsets[i] = o[i];
  ExpectSameAsPlain({1}, false, true, [&](KernelTestImage &d, const KernelTestImage &s) {
    return test::RunKernel(GrayGainOffset8, d, s, gains);
  });
  gains.bits = 12;
  ExpectSameAsPlain({2}, true, true, [&](KernelTestImage &d, const KernelTestImage &s) {
    return test::RunKernel(GrayGainOffset16, d, s, gains);
  });
  // Luma reads colour and writes an 8-bit image of the same size.
  ExpectSameAsPlain({3, 4}, false, false, [](KernelTestImage &d, const KernelTestImage &s) {
    KernelTestImage gray(s.width, s.height, 1);
    const int result = test::RunKernel(Luma24To8, gray, s);
    d.pixels.assign(gray.pixels.begin(), gray.pixels.end());
    return result;
  });
}

INSTANTIATE_TEST_SUITE_P(EveryPath, KernelPaths, ::testing::Values(CpuPath::kSse2, CpuPath::kAvx2, CpuPath::kAvx512),
                         [](const ::testing::TestParamInfo<CpuPath> &param) { return CpuPathName(param.param); });

TEST(CpuPath, NamesParseAndTheForcedPathLimits) {
  for (CpuPath p : {CpuPath::kPlain, CpuPath::kSse2, CpuPath::kAvx2, CpuPath::kAvx512}) {
    CpuPath parsed = CpuPath::kPlain;
    ASSERT_TRUE(ParseCpuPath(CpuPathName(p), parsed));
    EXPECT_EQ(parsed, p);
  }
  CpuPath unchanged = CpuPath::kAvx2;
  EXPECT_FALSE(ParseCpuPath("avx1024", unchanged));
  EXPECT_FALSE(ParseCpuPath(nullptr, unchanged));
  EXPECT_EQ(unchanged, CpuPath::kAvx2);
  {
    ForcedPath plain(CpuPath::kPlain);
    EXPECT_EQ(ActiveCpuPath(), CpuPath::kPlain);
  }
  EXPECT_LE(static_cast<int>(ActiveCpuPath()), static_cast<int>(DetectedCpuPath()));
}

}  // namespace
}  // namespace quorel
