// The per-frame processing sequence run on the camera object's working
// images after a raw frame has been copied into the mosaic image:
//   1. automatic iris on the mosaic (autoIris 1 or 2)
//   2. defective-pixel suppression on the mosaic (not for binned frames)
//   3. gray types: the gray filter mode ("Bayer", "Bayer convert", "Grayscale")
//   4. colour types: demosaicing with the optional automatic white balance
//   5. hue and saturation (colour types), 6. gamma, 7. contrast,
//   8. sharpness (through sharpenCopy), 9. brightness
// Each step runs only when its setting is not neutral. Settings are read at
// the step that uses them; measured values are written back into the
// settings blocks.
//
// Thread context: the acquisition thread, holding the camera's frame lock,
// which guards the images. The settings blocks are also written by the
// application without that lock; every access here is one 32-bit atomic
// load or store (platform/SharedValue.h).
#pragma once

#include <cstdint>
#include <functional>

#include "image/AutoIris.h"
#include "image/Demosaic.h"
#include "image/DibImage.h"
#include "image/PipelineDevice.h"
#include "image/PixelKernel.h"
#include "image/ToneFilters.h"
#include "image/WhiteBalance.h"
#include "settings/CameraSettings.h"

namespace quorel {

class BandPool;

// Gray filter modes.
constexpr int kGrayModeBayer = 0;
constexpr int kGrayModeBayerConvert = 1;
constexpr int kGrayModeGrayscale = 2;

// Significant bits of the 16-bit sample formats, passed to the tone and
// gray kernels.
constexpr int32_t kSignificantBits16 = 12;

// Kernel types of the pipeline steps, by their parameters.
using DefectKernel = PixelKernel<const DemosaicParams &, int32_t>;  // record, threshold
using BalanceKernel = PixelKernel<WhiteBalanceParams &>;            // writes the gains
using DemosaicKernel = PixelKernel<const DemosaicParams &>;
using GrayBalanceKernel = PixelKernel<GrayParams &>;  // writes the gains
using GrayGainKernel = PixelKernel<const GrayParams &>;
using LumaKernel = PixelKernel<>;

// The tone kernels of one sample variant. A null kernel skips its step.
struct ToneKernels {
  HueSaturationKernel hueSaturation = nullptr;  // colour variants only
  ToneKernel gamma = nullptr;
  ToneKernel contrast = nullptr;
  ToneKernel sharpen = nullptr;
  ToneKernel brightness = nullptr;
};

// Tone variants by sample kind.
enum ToneVariant : int { kToneGray8 = 0, kToneGray16 = 1, kToneColor8 = 2, kToneColor16 = 3, kToneVariants = 4 };

// Every kernel the pipeline runs; a null entry skips that step.
struct PipelineKernels {
  DefectKernel suppressDefects8 = nullptr;
  DefectKernel suppressDefects16 = nullptr;
  BalanceKernel balanceMeans8 = nullptr;
  BalanceKernel balanceMeans16 = nullptr;
  DemosaicKernel demosaicInterior8 = nullptr;
  DemosaicKernel demosaicBorder8 = nullptr;
  DemosaicKernel demosaicInterior16 = nullptr;
  DemosaicKernel demosaicBorder16 = nullptr;
  GrayBalanceKernel grayBalance = nullptr;
  GrayGainKernel grayGainOffset8 = nullptr;
  GrayGainKernel grayGainOffset16 = nullptr;
  LumaKernel luma24To8 = nullptr;
  ToneKernels tone[kToneVariants];
};

// The library's own kernels.
const PipelineKernels &DefaultPipelineKernels();

// What the camera object hands to the pipeline for one frame. The images
// and blocks are the camera object's own; the hooks are set only while the
// matching dialog is open.
struct FrameContext {
  DibImage &image8;
  DibImage &image16;
  DibImage &image24;
  DibImage &image32;
  DibImage &image48;
  DibImage &image64;
  DibImage &sharpenCopy;
  FilterBlock &filters;
  AnalogBlock &analog;  // mirrorV, mirrorH, autoIris; cached gains and exposure
  PipelineDevice &device;
  int colorType = kColorType8;  // 0..5
  int subSample = 0;            // 0, 1, 2, 17, 18
  std::function<void()> refreshFilterDialog;
  AnalogDialogShow showAnalogValue;
};

// The mosaic source and the output image of the context's colour type, or
// null for a type outside 0..5.
DibImage *MosaicImage(FrameContext &context);
DibImage *OutputImage(FrameContext &context);

// Demosaics mosaic into destination, measuring the white balance first when
// bayerGainAuto is set (and clearing it again after a single measurement).
void Demosaic(FrameContext &context, DibImage &destination, DibImage &mosaic, const PipelineKernels &kernels);

// Runs the frame pipeline with the library's kernels in row bands over the
// default band pool (image/BandPool.h), over the given pool, or with the given
// kernels on the calling thread alone. Every form gives the same images and
// settings; a pool of one thread runs the calling-thread form.
void ProcessFrame(FrameContext &context);
void ProcessFrame(FrameContext &context, BandPool &pool);
void ProcessFrame(FrameContext &context, const PipelineKernels &kernels);

}  // namespace quorel
