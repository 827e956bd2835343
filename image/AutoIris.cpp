#include "image/AutoIris.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "platform/SharedValue.h"

namespace quorel {

namespace {

struct MeanRecord {
  int32_t mean = 0;
};

// Kernel: mean of the rectangle's samples on the 8-bit scale into the record.
template <typename Sample, int Shift>
int MeanLevelKernel(const FrameView &, const ConstFrameView &view, MeanRecord &record) {
  const KernelRect &rect = view.rect;
  const uint8_t *src = view.pixels;
  const int srcStride = view.stride;
  if (view.bytesPerPixel != static_cast<int>(sizeof(Sample))) return 0;
  const size_t width = static_cast<size_t>(rect.right - rect.left);
  uint64_t sum = 0;
  for (int row = rect.top; row < rect.bottom; ++row) {
    const Sample *s =
        reinterpret_cast<const Sample *>(src + static_cast<size_t>(row) * static_cast<size_t>(srcStride)) + rect.left;
    for (size_t i = 0; i < width; ++i) sum += static_cast<uint32_t>(s[i] >> Shift) & 0xFFu;
  }
  const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(rect.bottom - rect.top);
  record.mean = count == 0 ? 0 : static_cast<int32_t>(sum / count);
  return 1;
}

}  // namespace

std::array<KernelRect, 5> AutoIrisRegions(int width, int height) {
  const double w = width;
  const double h = height;
  auto at = [](double fraction, double size) { return static_cast<int32_t>(fraction * size); };
  return {{
      {at(0.1, w), at(0.1, h), at(0.2, w), at(0.2, h)},
      {at(0.1, w), at(0.8, h), at(0.2, w), at(0.9, h)},
      {at(0.45, w), at(0.45, h), at(0.55, w), at(0.55, h)},
      {at(0.8, w), at(0.1, h), at(0.9, w), at(0.2, h)},
      {at(0.8, w), at(0.8, h), at(0.9, w), at(0.9, h)},
  }};
}

int AutoIrisMeanLevel(const DibImage &mosaic, const KernelRect &region) {
  MeanRecord record;
  // The measurement reads the mosaic only; ApplyKernel needs a destination,
  // and the kernel never writes to it.
  DibImage &target = const_cast<DibImage &>(mosaic);
  PixelKernel<MeanRecord &> kernel = nullptr;
  if (mosaic.bitsPerPixel() == 8) kernel = MeanLevelKernel<uint8_t, 0>;
  if (mosaic.bitsPerPixel() == 16) kernel = MeanLevelKernel<uint16_t, 4>;
  if (kernel == nullptr) return 0;
  if (target.ApplyKernel(kernel, mosaic, &region, region.left, region.top, record) == 0) return 0;
  return record.mean;
}

double AutoIrisFactor(const std::array<int, 5> &means) {
  double f = 1.0;
  for (int m : means) {
    if (m > 200) {
      f -= 0.15;
    } else if (m > 160) {
      f -= 0.10;
    } else if (m < 50) {
      f += 0.10;
    } else if (m < 100) {
      f += 0.05;
    }
  }
  return f;
}

void AutoIris(const DibImage &mosaic, int mode, PipelineDevice &device, AnalogBlock &analog,
              const AnalogDialogShow &show) {
  if (mode != kAutoIrisExposure && mode != kAutoIrisGain) return;
  if (mosaic.empty()) return;

  std::array<int, 5> means{};
  const auto regions = AutoIrisRegions(mosaic.width(), mosaic.height());
  for (size_t i = 0; i < regions.size(); ++i) means[i] = AutoIrisMeanLevel(mosaic, regions[i]);
  const double f = AutoIrisFactor(means);
  if (f > 0.6 && f < 1.2) return;

  if (mode == kAutoIrisGain) {
    // A gain near 0 would never grow by multiplying; start from 4.
    const int current = std::max(device.GetGlobalGain(), 4);
    const int gain = std::clamp(static_cast<int>(std::trunc(current * f)), 0, 127);
    device.SetGlobalGain(gain);
    StoreShared(analog.globalGain, gain);
    StoreShared(analog.colorGainGreen1, gain);
    StoreShared(analog.colorGainRed, gain);
    StoreShared(analog.colorGainBlue, gain);
    StoreShared(analog.colorGainGreen2, gain);
    if (show) show(kAnalogControlGlobalGain, gain);
    return;
  }

  // Exposure is a 16-bit line count; a product beyond it saturates rather
  // than wrapping round to a short exposure.
  const double product = std::trunc(static_cast<double>(device.GetExposure()) * f);
  int lines = static_cast<int>(std::clamp(product, 0.0, 65535.0));
  if (lines == 0) lines = 1;
  lines = std::min(lines, device.GetExposureMax());
  device.SetExposure(lines);
  StoreShared(analog.exposure, lines);
  if (show) show(kAnalogControlExposure, lines);
}

}  // namespace quorel
