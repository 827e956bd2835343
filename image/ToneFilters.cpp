#include "image/ToneFilters.h"

#include <array>
#include <cstddef>

namespace quorel {

namespace {

// Columns of the kernel tables: gray 8-bit, gray 16-bit, colour 8-bit
// samples, colour 16-bit samples; -1 for a type outside 0 .. 5.
int ColumnOfType(int colorType) {
  static constexpr std::array<int, 6> kColumnOfType = {0, 1, 2, 2, 3, 3};
  if (colorType < 0 || colorType > 5) return -1;
  return kColumnOfType[static_cast<std::size_t>(colorType)];
}

}  // namespace

ToneKernel ToneKernelFor(ToneFilter filter, int colorType) {
  using Row = std::array<ToneKernel, 4>;
  static constexpr Row kGamma = {GammaGray8, GammaGray16, GammaColor8, GammaColor16};
  static constexpr Row kContrast = {ContrastGray8, ContrastGray16, ContrastColor8, ContrastColor16};
  static constexpr Row kSharpness = {SharpenGray8, SharpenGray16, SharpenColor8, SharpenColor16};
  static constexpr Row kBrightness = {BrightnessGray8, BrightnessGray16, BrightnessColor8, BrightnessColor16};

  const int column = ColumnOfType(colorType);
  if (column < 0) return nullptr;
  const auto c = static_cast<std::size_t>(column);
  switch (filter) {
    case ToneFilter::kGamma:
      return kGamma[c];
    case ToneFilter::kContrast:
      return kContrast[c];
    case ToneFilter::kSharpness:
      return kSharpness[c];
    case ToneFilter::kBrightness:
      return kBrightness[c];
  }
  return nullptr;
}

HueSaturationKernel HueSaturationKernelFor(int colorType) {
  static constexpr std::array<HueSaturationKernel, 4> kHueSaturation = {nullptr, nullptr, HueSaturationColor8,
                                                                        HueSaturationColor16};
  const int column = ColumnOfType(colorType);
  return column < 0 ? nullptr : kHueSaturation[static_cast<std::size_t>(column)];
}

}  // namespace quorel
