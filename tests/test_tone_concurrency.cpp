// Several cameras converting frames at once with different hue and saturation
// settings: the tables shared by the process must never mix one call's
// saturation into another's result.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <latch>
#include <thread>
#include <vector>

#include "image/HueSaturation.h"
#include "tests/KernelTestImage.h"

namespace quorel {
namespace {

using test::KernelTestImage;

// A colourful test picture: every pixel a different mix.
KernelTestImage Picture(int bpp) {
  KernelTestImage image(48, 24, bpp);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      for (int c = 0; c < bpp; ++c) image.SetByte(x, y, c, static_cast<uint8_t>((x * 29 + y * 61 + c * 97) & 0xFF));
  return image;
}

struct Job {
  HueSaturationParams params;
  PixelKernel<const HueSaturationParams &> kernel;
  int bpp;
};

TEST(ToneConcurrency, ParallelConversionsMatchSingleThreadedResults) {
  const std::vector<Job> jobs = {
      {{0, 0, -255, 12}, HueSaturationColor8, 3},  {{45, 0, 255, 12}, HueSaturationColor8, 4},
      {{-120, 0, 17, 12}, HueSaturationColor8, 3}, {{300, 0, -90, 12}, HueSaturationColor16, 6},
      {{10, 0, 128, 12}, HueSaturationColor16, 8}, {{-360, 0, 0, 12}, HueSaturationColor8, 3},
  };
  // Results of each job alone, one after the other.
  std::vector<std::vector<uint8_t>> expected;
  for (const Job &job : jobs) {
    KernelTestImage image = Picture(job.bpp);
    HueSaturationParams p = job.params;
    ASSERT_EQ(test::RunInPlace(job.kernel, image, p), 1);
    expected.push_back(image.pixels);
  }

  constexpr int kRounds = 200;
  std::latch start(static_cast<std::ptrdiff_t>(jobs.size()));
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i) {
    threads.emplace_back([&, i] {
      const Job &job = jobs[i];
      start.arrive_and_wait();
      for (int round = 0; round < kRounds; ++round) {
        KernelTestImage image = Picture(job.bpp);
        HueSaturationParams p = job.params;
        if (test::RunInPlace(job.kernel, image, p) != 1 || image.pixels != expected[i]) ++mismatches;
      }
    });
  }
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace quorel
