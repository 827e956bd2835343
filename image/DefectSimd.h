// Internal to the defect-suppression kernels: the pre-screened walks. The
// AVX2 ones may only be called when the CPU supports AVX2 (see
// ActiveSimdPath in image/Demosaic.h). Same results as the plain walk;
// threshold must be at least 1. Return the number of samples replaced.
#pragma once

#include "image/DefectPixel.h"
#include "image/PixelKernel.h"

namespace quorel::bayer {

int WalkDefectsSse2(const Defects8 &defects, const KernelRect &rect, int threshold);
int WalkDefectsSse2(const Defects16 &defects, const KernelRect &rect, int threshold);
int WalkDefectsAvx2(const Defects8 &defects, const KernelRect &rect, int threshold);
int WalkDefectsAvx2(const Defects16 &defects, const KernelRect &rect, int threshold);

}  // namespace quorel::bayer
