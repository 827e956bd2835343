#include "image/ToneFilters.h"

#include <array>
#include <cstddef>

namespace quorel {

PixelKernel ToneKernelFor(ToneFilter filter, int colorType) {
  // Columns: gray 8-bit, gray 16-bit, colour 8-bit samples, colour 16-bit samples.
  using Row = std::array<PixelKernel, 4>;
  static constexpr Row kHueSaturation = {nullptr, nullptr, HueSaturationColor8, HueSaturationColor16};
  static constexpr Row kGamma = {GammaGray8, GammaGray16, GammaColor8, GammaColor16};
  static constexpr Row kContrast = {ContrastGray8, ContrastGray16, ContrastColor8, ContrastColor16};
  static constexpr Row kSharpness = {SharpenGray8, SharpenGray16, SharpenColor8, SharpenColor16};
  static constexpr Row kBrightness = {BrightnessGray8, BrightnessGray16, BrightnessColor8, BrightnessColor16};

  static constexpr std::array<int, 6> kColumnOfType = {0, 1, 2, 2, 3, 3};
  if (colorType < 0 || colorType > 5) return nullptr;
  const int column = kColumnOfType[static_cast<std::size_t>(colorType)];
  switch (filter) {
    case ToneFilter::kHueSaturation:
      return kHueSaturation[static_cast<std::size_t>(column)];
    case ToneFilter::kGamma:
      return kGamma[static_cast<std::size_t>(column)];
    case ToneFilter::kContrast:
      return kContrast[static_cast<std::size_t>(column)];
    case ToneFilter::kSharpness:
      return kSharpness[static_cast<std::size_t>(column)];
    case ToneFilter::kBrightness:
      return kBrightness[static_cast<std::size_t>(column)];
  }
  return nullptr;
}

}  // namespace quorel
