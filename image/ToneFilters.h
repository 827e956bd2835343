// The tone filters that end the frame pipeline, in the order the pipeline runs
// them: hue and saturation (colour only), gamma, contrast, sharpness,
// brightness. Each exists in four variants chosen by the colour-mode type:
// 8-bit gray (type 0), 16-bit gray (1), 8-bit colour samples (2 and 3) and
// 16-bit colour samples (4 and 5). The 16-bit variants take the significant bit
// count (12) in their parameter record.
//
// The pipeline skips a filter whose setting is neutral: hue 0 with saturation
// 0, gamma 100, contrast 0, sharpness 0, brightness 0. All but sharpness run in
// place; sharpness reads a copy of the image (sharpenCopy) and writes the
// image.
#pragma once

#include "image/Brightness.h"
#include "image/Contrast.h"
#include "image/Gamma.h"
#include "image/HueSaturation.h"
#include "image/PixelKernel.h"
#include "image/Sharpen.h"
#include "image/ToneParams.h"

namespace quorel {

// The filters with a ToneParams record; hue and saturation has its own record.
enum class ToneFilter { kGamma, kContrast, kSharpness, kBrightness };

using ToneKernel = PixelKernel<const ToneParams &>;
using HueSaturationKernel = PixelKernel<const HueSaturationParams &>;

// The variant of `filter` for the colour-mode type (0 .. 5); null for any
// other type.
ToneKernel ToneKernelFor(ToneFilter filter, int colorType);

// The hue and saturation variant for the colour-mode type: null for the gray
// types 0 and 1 and for any other type.
HueSaturationKernel HueSaturationKernelFor(int colorType);

}  // namespace quorel
