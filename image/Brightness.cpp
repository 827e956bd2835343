#include "image/Brightness.h"

#include <array>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

const ToneParams *Params(void *p1) {
  return static_cast<const ToneParams *>(p1);
}

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

template <typename Sample, int Channels>
int Run(const Frame &f, float factor, float max) {
  const Gain<Sample> gain{factor, max};
  if constexpr (sizeof(Sample) == 1) {
    // 256 products once, then a lookup per sample: fewer instructions per
    // byte than widening every byte to float and packing it back.
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[static_cast<size_t>(v)] = gain(static_cast<uint8_t>(v));
    kernel_rows::MapSamples<uint8_t, Channels>(f, [&table](uint8_t v) { return table[v]; });
  } else {
    kernel_rows::MapSamples<Sample, Channels, true>(f, gain);
  }
  return 1;
}

float Max16(const ToneParams &p) {
  return static_cast<float>((1 << kernel_rows::LimitBits(p.bits)) - 1);
}

}  // namespace

float BrightnessFactor(int32_t setting) {
  const double v = setting;
  if (setting < 0) return static_cast<float>(1.0 - -v / 255.0);
  if (setting > 0) return static_cast<float>(1.0 + v * 10.0 / 255.0);
  return 1.0f;
}

int BrightnessGray8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                    int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 1, 1, f))
    return 0;
  return Run<uint8_t, 1>(f, BrightnessFactor(Params(p1)->value), 255.0f);
}

int BrightnessGray16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                     int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 2, 2, f))
    return 0;
  return Run<uint16_t, 1>(f, BrightnessFactor(Params(p1)->value), Max16(*Params(p1)));
}

int BrightnessColor8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                     int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 3, 3, f))
    return 0;
  return Run<uint8_t, 3>(f, BrightnessFactor(Params(p1)->value), 255.0f);
}

int BrightnessColor16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                      int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 6, 6, f))
    return 0;
  return Run<uint16_t, 3>(f, BrightnessFactor(Params(p1)->value), Max16(*Params(p1)));
}

}  // namespace quorel
