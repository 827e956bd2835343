// The sharpness and luma rows compiled for AVX-512. Only this unit is compiled
// for AVX-512 (the target pragma below follows every shared header), and it is
// only entered when the processor has it.
#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/KernelRows.h"
#include "image/VectorRows.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi,prefer-vector-width=512")
#pragma GCC optimize("O3")

#include "image/LumaRows.h"
#include "image/SharpenRows.h"

namespace quorel::vector_rows {

void Sharpen8Avx512(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max) {
  sharpen::RowsFor<uint8_t>(f, channels, strength, max);
}

void Sharpen16Avx512(const kernel_rows::Frame &f, int channels, int32_t strength, int32_t max) {
  sharpen::RowsFor<uint16_t>(f, channels, strength, max);
}

void LumaAvx512(const kernel_rows::Frame &f) {
  luma::Rows(f);
}

}  // namespace quorel::vector_rows

#pragma GCC pop_options
