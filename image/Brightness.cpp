#include "image/Brightness.h"

#include <array>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

// trunc(sample * factor) limited to 0 .. max. Limiting before the conversion
// keeps it defined for any factor; as the limits are whole numbers the result
// equals limiting after truncation.
template <typename Sample>
struct Gain {
  float factor;
  float max;
  Sample operator()(Sample v) const {
    float x = static_cast<float>(v) * factor;
    x = x < 0.0f ? 0.0f : x;
    x = x > max ? max : x;
    return static_cast<Sample>(static_cast<int32_t>(x));
  }
};

float Max16(const ToneParams &p) {
  return static_cast<float>((1 << kernel_rows::LimitBits(p.bits)) - 1);
}

template <typename Sample, int Channels>
int Run(const Frame &f, const ToneParams &p) {
  const Gain<Sample> gain{BrightnessFactor(p.value), sizeof(Sample) == 1 ? 255.0f : Max16(p)};
  if constexpr (sizeof(Sample) == 1) {
    // 256 products once, then a lookup per sample: fewer instructions per
    // byte than widening every byte to float and packing it back.
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[static_cast<size_t>(v)] = gain(static_cast<uint8_t>(v));
    kernel_rows::LookupSamples8<Channels>(f, table.data());
  } else {
    kernel_rows::MapSamples<Sample, Channels, true>(f, gain);
  }
  return 1;
}

}  // namespace

float BrightnessFactor(int32_t setting) {
  const double v = setting;
  if (setting < 0) return static_cast<float>(1.0 - -v / 255.0);
  if (setting > 0) return static_cast<float>(1.0 + v * 10.0 / 255.0);
  return 1.0f;
}

int BrightnessGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<1, 1, Run<uint8_t, 1>>(dst, src, p);
}

int BrightnessGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<2, 2, Run<uint16_t, 1>>(dst, src, p);
}

int BrightnessColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<3, 3, Run<uint8_t, 3>>(dst, src, p);
}

int BrightnessColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<6, 6, Run<uint16_t, 3>>(dst, src, p);
}

}  // namespace quorel
