// The auto-vectorised rows of the sharpness and luma kernels compiled for
// AVX2 and for AVX-512 (image/VectorRowsAvx2.cpp, image/VectorRowsAvx512.cpp).
// Each gives exactly the bytes of the baseline rows; call one only when the
// processor has its instructions. Internal to the image library.
#pragma once

#include <cstdint>

#include "image/KernelRows.h"

namespace quorel::vector_rows {

// Sharpness rows (image/SharpenRows.h) for 8- or 16-bit samples, 1 or 3
// channels, strength and maximum already limited.
void Sharpen8Avx2(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max);
void Sharpen16Avx2(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max);
void Sharpen8Avx512(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max);
void Sharpen16Avx512(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max);

// Luma rows (image/LumaRows.h): 1-byte destination pixels, 3- or 4-byte
// source pixels.
void LumaAvx2(const kernel_rows::Frame &f);
void LumaAvx512(const kernel_rows::Frame &f);

}  // namespace quorel::vector_rows
