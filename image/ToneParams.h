// Parameter records of the tone filters, read through a kernel's first
// parameter pointer.
#pragma once

#include <cstdint>

namespace quorel {

// Gamma, contrast, sharpness and brightness: the setting and the number of
// significant bits of 16-bit samples (12; limited to 8 .. 16 by the kernels,
// ignored by the 8-bit variants).
struct ToneParams {
  int32_t value = 0;
  int32_t bits = 12;
};
static_assert(sizeof(ToneParams) == 8);

// Hue and saturation. `lightness` is carried for the record's layout and is
// always 0; the kernels build their tables for lightness 0.
struct HueSaturationParams {
  int32_t hue = 0;         // degrees, -360 .. 360
  int32_t lightness = 0;   // always 0
  int32_t saturation = 0;  // -255 .. 255
  int32_t bits = 12;
};
static_assert(sizeof(HueSaturationParams) == 16);

}  // namespace quorel
