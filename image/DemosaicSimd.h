// Internal to the demosaic kernels: the SIMD interior passes. Each covers the
// whole interior of the job (SIMD blocks, then the remaining columns of every
// row one pixel at a time) and gives the same bytes as the scalar pass. The
// AVX2 and AVX-512 functions may only be called when the CPU supports them.
#pragma once

#include "image/BayerCell.h"

namespace quorel::bayer {

void Interior8Sse2(const DemosaicJob &job);
void Interior8Avx2(const DemosaicJob &job);
void Interior8Avx512(const DemosaicJob &job);
void Interior16Sse2(const DemosaicJob &job);
void Interior16Avx2(const DemosaicJob &job);

}  // namespace quorel::bayer
