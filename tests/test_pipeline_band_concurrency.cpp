// The frame pipeline in row bands gives the same images and the same
// measured settings with 1, 2, 3 and 4 threads, for every colour type, every
// gray mode and every filter at once, with the automatic white and gray
// balances measuring; and two cameras' frames on one pool at the same time
// come out as they do alone.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "image/BandPool.h"
#include "image/FramePipeline.h"

namespace quorel {
namespace {

class NoDevice : public PipelineDevice {
 public:
  int GetGlobalGain() override { return 20; }
  void SetGlobalGain(int) override {}
  int GetExposure() override { return 100; }
  void SetExposure(int) override {}
  int GetExposureMax() override { return 0x3FFF; }
};

// One camera's images and settings, a random mosaic of odd size.
struct Camera {
  DibImage image8, image16, image24, image32, image48, image64, sharpenCopy;
  FilterBlock filters{};
  AnalogBlock analog;
  NoDevice device;
  FrameContext context{image8,  image16, image24, image32,     image48, image64, sharpenCopy,
                       filters, analog,  device,  kColorType8, 0,       nullptr, nullptr};

  Camera(int type, int grayMode, bool allFilters, uint32_t seed) {
    constexpr int kW = 203, kH = 157;
    image8.Create(kW, kH, 8);
    image16.Create(kW, kH, 16);
    image24.Create(kW, kH, 24);
    image32.Create(kW, kH, 32);
    image48.Create(kW, kH, 48);
    image64.Create(kW, kH, 64);
    context.colorType = type;
    std::mt19937 rng(seed);
    for (size_t i = 0; i < image8.pixelBytes(); ++i) image8.pixels()[i] = static_cast<uint8_t>(rng());
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint16_t v = static_cast<uint16_t>(rng() % 4096);
        std::memcpy(image16.pixels() + static_cast<size_t>(y) * image16.stride() + 2 * x, &v, 2);
      }
    filters[kBayerGainRed] = filters[kBayerGainGreen] = filters[kBayerGainBlue] = 100;
    filters[kGamma] = 100;
    filters[kBayerMode] = 3;
    for (int i = 0; i < 4; ++i) filters[kGrayGainR + i] = 128;
    filters[kGrayMode] = grayMode;
    if (allFilters) {
      filters[kBayerGainAuto] = 1;
      filters[kGrayAutoGain] = 1;
      filters[kGrayOffsetR + 2] = -7;
      filters[kHue] = 73;
      filters[kSaturation] = 60;
      filters[kGamma] = 130;
      filters[kContrast] = 20;
      filters[kSharpness] = 12;
      filters[kBrightness] = 40;
    }
  }

  std::vector<uint8_t> Output() {
    const DibImage *out = OutputImage(context);
    std::vector<uint8_t> bytes(out->pixels(), out->pixels() + out->pixelBytes());
    // The 8-bit gray modes also leave image24 as the demosaic wrote it.
    bytes.insert(bytes.end(), image24.pixels(), image24.pixels() + image24.pixelBytes());
    return bytes;
  }
};

TEST(PipelineBands, EveryThreadCountGivesTheSameFrame) {
  BandPool one(1), two(2), three(3), four(4);
  for (int type = kColorType8; type <= kColorType64; ++type)
    for (int grayMode : {0, 1, 2}) {
      if (grayMode != 0 && type > kColorType16) continue;
      for (bool all : {false, true}) {
        SCOPED_TRACE(::testing::Message() << "type " << type << " gray mode " << grayMode << " filters " << all);
        Camera reference(type, grayMode, all, 11u + static_cast<uint32_t>(type));
        ProcessFrame(reference.context, one);
        const std::vector<uint8_t> expected = reference.Output();
        for (BandPool *pool : {&two, &three, &four}) {
          Camera camera(type, grayMode, all, 11u + static_cast<uint32_t>(type));
          ProcessFrame(camera.context, *pool);
          EXPECT_EQ(camera.Output(), expected) << pool->threads() << " threads";
          EXPECT_EQ(camera.filters, reference.filters) << pool->threads() << " threads";
        }
      }
    }
}

TEST(PipelineBands, TwoCamerasShareOnePool) {
  BandPool pool(3);
  Camera aloneA(kColorType24, 0, true, 5), aloneB(kColorType48, 0, true, 6);
  ProcessFrame(aloneA.context, DefaultPipelineKernels());
  ProcessFrame(aloneB.context, DefaultPipelineKernels());
  Camera a(kColorType24, 0, true, 5), b(kColorType48, 0, true, 6);
  std::thread other([&b, &pool] {
    for (int i = 0; i < 3; ++i) {
      Camera fresh(kColorType48, 0, true, 6);
      ProcessFrame(fresh.context, pool);
      if (i == 2) b.image48.Draw(fresh.image48, nullptr, 0, 0), b.filters = fresh.filters;
    }
  });
  for (int i = 0; i < 3; ++i) {
    Camera fresh(kColorType24, 0, true, 5);
    ProcessFrame(fresh.context, pool);
    if (i == 2) a.image24.Draw(fresh.image24, nullptr, 0, 0), a.filters = fresh.filters;
  }
  other.join();
  EXPECT_EQ(std::memcmp(a.image24.pixels(), aloneA.image24.pixels(), a.image24.pixelBytes()), 0);
  EXPECT_EQ(std::memcmp(b.image48.pixels(), aloneB.image48.pixels(), b.image48.pixelBytes()), 0);
  EXPECT_EQ(a.filters, aloneA.filters);
  EXPECT_EQ(b.filters, aloneB.filters);
}

TEST(PipelineBands, BandsCoverEveryRowOnce) {
  BandPool pool(3);
  for (int rows : {1, 15, 16, 47, 48, 49, 2616}) {
    std::vector<int> seen(static_cast<size_t>(rows), 0);
    pool.Run(rows, [&seen](int, int begin, int end) {
      for (int y = begin; y < end; ++y) ++seen[static_cast<size_t>(y)];
    });
    for (int y = 0; y < rows; ++y) ASSERT_EQ(seen[static_cast<size_t>(y)], 1) << rows << " rows, row " << y;
  }
}

}  // namespace
}  // namespace quorel
