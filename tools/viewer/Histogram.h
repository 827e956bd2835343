// Histogram of one delivered frame: counts of blue, green, red and gray levels
// in 256 bins, and the bar heights a chart draws from them, linear or log.
// No GUI types: the viewer's chart and the tests share it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quorel::viewer {

enum class HistogramChannel { kBlue = 0, kGreen = 1, kRed = 2, kGray = 3 };
enum class HistogramScale { kLinear, kLog };

struct Histogram {
  static constexpr int kBins = 256;
  static constexpr int kChannels = 4;
  // counts[channel][level]; channels indexed by HistogramChannel.
  std::array<std::array<uint32_t, kBins>, kChannels> counts{};
  // Pixels counted (the same for every channel).
  uint64_t pixels = 0;

  const std::array<uint32_t, kBins> &channel(HistogramChannel c) const { return counts[static_cast<int>(c)]; }
};

// Row length in bytes of a delivered image: width x bytes per pixel raised to
// a multiple of 4, as the library lays out every frame it copies out.
size_t FrameStride(int width, int bitCount);

// Counts every step-th pixel of every step-th row (step 1: all pixels) of a
// frame as the library delivers it: bitCount 8 (gray), 16 (gray, 12-bit
// samples in 16-bit words), 24 and 32 (blue, green, red[, unused]) or 48 and
// 64 (the same in 16-bit words with 12-bit samples). 12-bit samples are shown
// in the 8-bit bins (value / 16; values above 4095 count in the top bin).
// Gray frames put the same counts in all four channels; colour frames derive
// gray as (77 R + 150 G + 29 B) / 256. Returns false, leaving `out` empty, for
// an unknown depth, a non-positive size or step, or a buffer shorter than
// height rows of FrameStride bytes. Row order does not matter.
bool ComputeHistogram(const uint8_t *pixels, size_t size, int width, int height, int bitCount, int step,
                      Histogram &out);

// Heights 0..1 of the 256 bars of one channel, relative to its fullest bin:
// count / max, or log(1 + count) / log(1 + max). All 0 for an empty channel.
std::array<double, Histogram::kBins> BarHeights(const Histogram &h, HistogramChannel c, HistogramScale scale);

// The step that keeps a count near `budget` pixels (at least 1).
int HistogramStepFor(int width, int height, int64_t budget);

}  // namespace quorel::viewer
