#include "image/FramePipeline.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/BandPool.h"
#include "image/DefectSuppression.h"
#include "image/ToneFilters.h"
#include "image/ToneParams.h"
#include "image/WhiteBalance.h"
#include "platform/SharedValue.h"

namespace quorel {

namespace {

bool IsColorType(int type) {
  return type >= kColorType24 && type <= kColorType64;
}

ToneVariant VariantOf(int type) {
  switch (type) {
    case kColorType8:
      return kToneGray8;
    case kColorType16:
      return kToneGray16;
    case kColorType24:
    case kColorType32:
      return kToneColor8;
    default:
      return kToneColor16;
  }
}

int32_t Setting(FrameContext &context, FilterEntry entry) {
  return LoadShared(context.filters[entry]);
}

int CurrentEffectiveMode(FrameContext &context) {
  return EffectiveBayerMode(Setting(context, kBayerMode), LoadShared(context.analog.mirrorH),
                            LoadShared(context.analog.mirrorV));
}

DemosaicParams CurrentBayerParams(FrameContext &context) {
  DemosaicParams params;
  params.mode = CurrentEffectiveMode(context);
  params.gainRed = Setting(context, kBayerGainRed);
  params.gainGreen = Setting(context, kBayerGainGreen);
  params.gainBlue = Setting(context, kBayerGainBlue);
  return params;
}

void RefreshFilterDialog(FrameContext &context) {
  if (context.refreshFilterDialog) context.refreshFilterDialog();
}

template <typename... Params>
void RunInPlace(DibImage &image, PixelKernel<Params...> kernel, std::type_identity_t<Params>... params) {
  if (kernel != nullptr) image.ApplyKernel(kernel, image, nullptr, 0, 0, params...);
}

bool SameSize(const DibImage &a, const DibImage &b) {
  return a.width() == b.width() && a.height() == b.height();
}

// Step 2: defective-pixel suppression in place on the mosaic.
void SuppressDefects(FrameContext &context, DibImage &mosaic, const PipelineKernels &kernels) {
  const bool wide = mosaic.bitsPerPixel() == 16;
  DefectKernel kernel = wide ? kernels.suppressDefects16 : kernels.suppressDefects8;
  if (kernel == nullptr) return;
  const DemosaicParams params = CurrentBayerParams(context);
  RunInPlace(mosaic, kernel, params, wide ? kDefectThreshold16 : kDefectThreshold8);
}

// Step 3, "Bayer convert": optional gray balance, then gains and offsets.
void BayerConvert(FrameContext &context, DibImage &image, const PipelineKernels &kernels) {
  const bool wide = image.bitsPerPixel() == 16;
  GrayParams params = MakeGrayParams(context.filters, CurrentEffectiveMode(context), wide ? kSignificantBits16 : 8);
  if (GrayAutoGainPending(context.filters)) {
    RunInPlace(image, kernels.grayBalance, params);
    StoreGrayParams(context.filters, params);
    RefreshFilterDialog(context);
    ConsumeGrayAutoGain(context.filters);
  }
  if (!GrayGainsNeutral(params)) RunInPlace(image, wide ? kernels.grayGainOffset16 : kernels.grayGainOffset8, params);
}

// Step 8: the sharpness kernel reads a copy of the image taken just before.
void Sharpen(FrameContext &context, DibImage &output, ToneKernel kernel, int32_t value) {
  DibImage &copy = context.sharpenCopy;
  if (!SameSize(copy, output) || copy.bitsPerPixel() != output.bitsPerPixel() || copy.stride() != output.stride()) {
    // A copy sized for another format would be overrun; make it match.
    if (copy.CopyFormat(&output) == 0) return;
  }
  std::memcpy(copy.pixels(), output.pixels(), output.pixelBytes());
  output.ApplyKernel(kernel, copy, nullptr, 0, 0, ToneParams{value, kSignificantBits16});
}

}  // namespace

DibImage *MosaicImage(FrameContext &context) {
  switch (context.colorType) {
    case kColorType8:
    case kColorType24:
    case kColorType32:
      return &context.image8;
    case kColorType16:
    case kColorType48:
    case kColorType64:
      return &context.image16;
    default:
      return nullptr;
  }
}

DibImage *OutputImage(FrameContext &context) {
  switch (context.colorType) {
    case kColorType8:
      return &context.image8;
    case kColorType16:
      return &context.image16;
    case kColorType24:
      return &context.image24;
    case kColorType32:
      return &context.image32;
    case kColorType48:
      return &context.image48;
    case kColorType64:
      return &context.image64;
    default:
      return nullptr;
  }
}

void Demosaic(FrameContext &context, DibImage &destination, DibImage &mosaic, const PipelineKernels &kernels) {
  // The kernels address both images with the same coordinates.
  if (destination.empty() || mosaic.empty() || !SameSize(destination, mosaic)) return;
  const bool wide = mosaic.bitsPerPixel() == 16;

  if (Setting(context, kBayerGainAuto) != 0) {
    BalanceKernel measure = wide ? kernels.balanceMeans16 : kernels.balanceMeans8;
    if (measure != nullptr) {
      WhiteBalanceParams balance = MakeWhiteBalanceParams(CurrentEffectiveMode(context));
      const bool measured = mosaic.ApplyKernel(measure, mosaic, nullptr, 0, 0, balance) == 1;
      if (StoreWhiteBalance(context.filters, balance, measured)) RefreshFilterDialog(context);
    }
  }

  // Built after the white balance, so this frame uses the gains measured on it.
  const DemosaicParams params = CurrentBayerParams(context);
  DemosaicKernel interior = wide ? kernels.demosaicInterior16 : kernels.demosaicInterior8;
  DemosaicKernel border = wide ? kernels.demosaicBorder16 : kernels.demosaicBorder8;
  if (interior != nullptr) destination.ApplyKernel(interior, mosaic, nullptr, 0, 0, params);
  if (border != nullptr) destination.ApplyKernel(border, mosaic, nullptr, 0, 0, params);
}

void ProcessFrame(FrameContext &context) {
  ProcessFrame(context, DefaultBandPool());
}

void ProcessFrame(FrameContext &context, const PipelineKernels &kernels) {
  const int type = context.colorType;
  DibImage *mosaic = MosaicImage(context);
  DibImage *output = OutputImage(context);
  // Nothing to do for an unknown type or images not prepared for it; the
  // automatic iris would read an empty mosaic as black and open up fully.
  if (mosaic == nullptr || output == nullptr || mosaic->empty() || output->empty()) return;

  // 1. Automatic iris.
  const int irisMode = LoadShared(context.analog.autoIris);
  if (irisMode == kAutoIrisExposure || irisMode == kAutoIrisGain) {
    AutoIris(*mosaic, irisMode, context.device, context.analog, context.showAnalogValue);
  }

  // 2. Defect suppression, not on binned frames (sub-sample codes 17, 18).
  if ((context.subSample & 0x10) == 0) SuppressDefects(context, *mosaic, kernels);

  // 3. Gray modes.
  if (type == kColorType8 || type == kColorType16) {
    const int grayMode = Setting(context, kGrayMode);
    if (grayMode == kGrayModeBayerConvert) {
      BayerConvert(context, *output, kernels);
    } else if (grayMode == kGrayModeGrayscale && type == kColorType8) {
      // The 16-bit gray type has neither image8 nor image24 holding its
      // frame, so "Grayscale" leaves its mosaic as it is.
      Demosaic(context, context.image24, context.image8, kernels);
      if (kernels.luma24To8 != nullptr && SameSize(context.image24, context.image8)) {
        context.image8.ApplyKernel(kernels.luma24To8, context.image24, nullptr, 0, 0);
      }
    }
  }

  // 4. Colour types: demosaic the mosaic into the output image.
  if (IsColorType(type)) Demosaic(context, *output, *mosaic, kernels);

  // 5 to 9. Tone filters on the output image.
  const ToneKernels &tone = kernels.tone[VariantOf(type)];
  const int32_t hue = Setting(context, kHue);
  const int32_t saturation = Setting(context, kSaturation);
  if (IsColorType(type) && (hue != 0 || saturation != 0)) {
    RunInPlace(*output, tone.hueSaturation, HueSaturationParams{hue, 0, saturation, kSignificantBits16});
  }
  if (const int32_t gamma = Setting(context, kGamma); gamma != 100) {
    RunInPlace(*output, tone.gamma, ToneParams{gamma, kSignificantBits16});
  }
  if (const int32_t contrast = Setting(context, kContrast); contrast != 0) {
    RunInPlace(*output, tone.contrast, ToneParams{contrast, kSignificantBits16});
  }
  if (const int32_t sharpness = Setting(context, kSharpness); sharpness != 0 && tone.sharpen != nullptr) {
    Sharpen(context, *output, tone.sharpen, sharpness);
  }
  if (const int32_t brightness = Setting(context, kBrightness); brightness != 0) {
    RunInPlace(*output, tone.brightness, ToneParams{brightness, kSignificantBits16});
  }
}

// --- The pipeline in row bands ------------------------------------------------
//
// The same steps with the library's kernels, each split into row bands over
// the pool. Point-wise steps run on the rows of each band; the steps that
// read neighbours (demosaic interior, sharpness) run on each band's rows with
// two rows of context on either side, which gives the rows of the band
// exactly the values of the whole-image pass; the demosaic border pass, the
// defect suppression (whose corrections feed later rows) and the automatic
// iris run once on the calling thread. The balance measurements add up the
// sums of each band in band order, then derive the gains once.

namespace {

// A view of rows [begin, end) of an image, all columns.
FrameView Rows(DibImage &image, int begin, int end) {
  FrameView v = image.View();
  v.rect = KernelRect{0, begin, image.width(), end};
  return v;
}

// The same band with two more rows on either side where the image has them.
FrameView RowsWithContext(DibImage &image, int begin, int end) {
  return Rows(image, std::max(begin - 2, 0), std::min(end + 2, image.height()));
}

void DemosaicBands(FrameContext &context, DibImage &destination, DibImage &mosaic, BandPool &pool) {
  if (destination.empty() || mosaic.empty() || !SameSize(destination, mosaic)) return;
  const bool wide = mosaic.bitsPerPixel() == 16;
  const int height = mosaic.height();

  if (Setting(context, kBayerGainAuto) != 0) {
    WhiteBalanceParams balance = MakeWhiteBalanceParams(CurrentEffectiveMode(context));
    std::vector<SiteSums> parts(static_cast<size_t>(pool.Bands(height)));
    pool.Run(height, [&](int band, int begin, int end) {
      parts[static_cast<size_t>(band)] = BalanceSums(Rows(mosaic, begin, end), balance.mode);
    });
    SiteSums total;
    for (const SiteSums &part : parts) total.Add(part);
    const bool measured = BalanceGains(total, balance) == 1;
    if (StoreWhiteBalance(context.filters, balance, measured)) RefreshFilterDialog(context);
  }

  const DemosaicParams params = CurrentBayerParams(context);
  const DemosaicKernel interior = wide ? DemosaicInterior16 : DemosaicInterior8;
  pool.Run(height, [&](int, int begin, int end) {
    const FrameView band = RowsWithContext(mosaic, begin, end);
    FrameView out = destination.View();
    out.rect = band.rect;
    interior(out, band, params);
  });
  destination.ApplyKernel(wide ? DemosaicBorder16 : DemosaicBorder8, mosaic, nullptr, 0, 0, params);
}

void BayerConvertBands(FrameContext &context, DibImage &image, BandPool &pool) {
  const bool wide = image.bitsPerPixel() == 16;
  GrayParams params = MakeGrayParams(context.filters, CurrentEffectiveMode(context), wide ? kSignificantBits16 : 8);
  if (GrayAutoGainPending(context.filters)) {
    std::vector<SiteSums> parts(static_cast<size_t>(pool.Bands(image.height())));
    pool.Run(image.height(), [&](int band, int begin, int end) {
      parts[static_cast<size_t>(band)] = GrayBalanceSums(Rows(image, begin, end), params);
    });
    SiteSums total;
    for (const SiteSums &part : parts) total.Add(part);
    GrayBalanceGains(total, params);
    StoreGrayParams(context.filters, params);
    RefreshFilterDialog(context);
    ConsumeGrayAutoGain(context.filters);
  }
  if (GrayGainsNeutral(params)) return;
  const GrayGainKernel kernel = wide ? GrayGainOffset16 : GrayGainOffset8;
  pool.Run(image.height(), [&](int, int begin, int end) {
    const FrameView band = Rows(image, begin, end);
    kernel(band, band, params);
  });
}

}  // namespace

void ProcessFrame(FrameContext &context, BandPool &pool) {
  if (pool.threads() <= 1) {
    ProcessFrame(context, DefaultPipelineKernels());
    return;
  }
  const PipelineKernels &kernels = DefaultPipelineKernels();
  const int type = context.colorType;
  DibImage *mosaic = MosaicImage(context);
  DibImage *output = OutputImage(context);
  if (mosaic == nullptr || output == nullptr || mosaic->empty() || output->empty()) return;

  const int irisMode = LoadShared(context.analog.autoIris);
  if (irisMode == kAutoIrisExposure || irisMode == kAutoIrisGain) {
    AutoIris(*mosaic, irisMode, context.device, context.analog, context.showAnalogValue);
  }
  if ((context.subSample & 0x10) == 0) SuppressDefects(context, *mosaic, kernels);

  if (type == kColorType8 || type == kColorType16) {
    const int grayMode = Setting(context, kGrayMode);
    if (grayMode == kGrayModeBayerConvert) {
      BayerConvertBands(context, *output, pool);
    } else if (grayMode == kGrayModeGrayscale && type == kColorType8) {
      DemosaicBands(context, context.image24, context.image8, pool);
      if (SameSize(context.image24, context.image8)) {
        pool.Run(context.image8.height(), [&context](int, int begin, int end) {
          Luma24To8(Rows(context.image8, begin, end), Rows(context.image24, begin, end));
        });
      }
    }
  }
  if (IsColorType(type)) DemosaicBands(context, *output, *mosaic, pool);

  // Tone filters: every setting read once, so that all bands use the same.
  const ToneKernels &tone = kernels.tone[VariantOf(type)];
  const int32_t hue = Setting(context, kHue);
  const int32_t saturation = Setting(context, kSaturation);
  const bool hueSaturation = IsColorType(type) && (hue != 0 || saturation != 0) && tone.hueSaturation != nullptr;
  const int32_t gamma = Setting(context, kGamma);
  const int32_t contrast = Setting(context, kContrast);
  const int32_t sharpness = Setting(context, kSharpness);
  const int32_t brightness = Setting(context, kBrightness);
  DibImage &copy = context.sharpenCopy;
  bool sharpen = sharpness != 0 && tone.sharpen != nullptr;
  if (sharpen && (!SameSize(copy, *output) || copy.bitsPerPixel() != output->bitsPerPixel() ||
                  copy.stride() != output->stride())) {
    // A copy sized for another format would be overrun; make it match.
    sharpen = copy.CopyFormat(output) != 0;
  }
  const HueSaturationParams hueParams{hue, 0, saturation, kSignificantBits16};
  const ToneParams gammaParams{gamma, kSignificantBits16};
  const ToneParams contrastParams{contrast, kSignificantBits16};
  const ToneParams sharpParams{sharpness, kSignificantBits16};
  const ToneParams brightParams{brightness, kSignificantBits16};
  const bool anyPointwise = hueSaturation || gamma != 100 || contrast != 0 || sharpen || brightness != 0;
  if (!anyPointwise) return;

  const size_t stride = static_cast<size_t>(output->stride());
  const auto brighten = [&](int begin, int end) {
    if (brightness != 0) {
      const FrameView band = Rows(*output, begin, end);
      tone.brightness(band, band, brightParams);
    }
  };
  pool.Run(output->height(), [&](int, int begin, int end) {
    const FrameView band = Rows(*output, begin, end);
    if (hueSaturation) tone.hueSaturation(band, band, hueParams);
    if (gamma != 100) tone.gamma(band, band, gammaParams);
    if (contrast != 0) tone.contrast(band, band, contrastParams);
    if (sharpen) {
      std::memcpy(copy.pixels() + static_cast<size_t>(begin) * stride,
                  output->pixels() + static_cast<size_t>(begin) * stride, static_cast<size_t>(end - begin) * stride);
    } else {
      brighten(begin, end);
    }
  });
  if (!sharpen) return;
  // Every band's copy is complete before any band reads its neighbours.
  pool.Run(output->height(), [&](int, int begin, int end) {
    const FrameView source = RowsWithContext(copy, begin, end);
    FrameView band = output->View();
    band.rect = source.rect;
    tone.sharpen(band, source, sharpParams);
    brighten(begin, end);
  });
}

const PipelineKernels &DefaultPipelineKernels() {
  static const PipelineKernels kernels = [] {
    PipelineKernels k;
    k.suppressDefects8 = SuppressDefects8;
    k.suppressDefects16 = SuppressDefects16;
    k.balanceMeans8 = BalanceMeans8;
    k.balanceMeans16 = BalanceMeans16;
    k.demosaicInterior8 = DemosaicInterior8;
    k.demosaicBorder8 = DemosaicBorder8;
    k.demosaicInterior16 = DemosaicInterior16;
    k.demosaicBorder16 = DemosaicBorder16;
    k.grayBalance = GrayBalance;
    k.grayGainOffset8 = GrayGainOffset8;
    k.grayGainOffset16 = GrayGainOffset16;
    k.luma24To8 = Luma24To8;
    // One representative colour type per variant.
    const int typeOf[kToneVariants] = {kColorType8, kColorType16, kColorType24, kColorType48};
    for (int v = 0; v < kToneVariants; ++v) {
      k.tone[v].hueSaturation = HueSaturationKernelFor(typeOf[v]);
      k.tone[v].gamma = ToneKernelFor(ToneFilter::kGamma, typeOf[v]);
      k.tone[v].contrast = ToneKernelFor(ToneFilter::kContrast, typeOf[v]);
      k.tone[v].sharpen = ToneKernelFor(ToneFilter::kSharpness, typeOf[v]);
      k.tone[v].brightness = ToneKernelFor(ToneFilter::kBrightness, typeOf[v]);
    }
    return k;
  }();
  return kernels;
}

}  // namespace quorel
