#include "image/Sharpen.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "image/CpuPath.h"
#include "image/KernelRows.h"
#include "image/SharpenRows.h"
#include "image/VectorRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

template <typename Sample, int Channels>
int Run(const Frame &f, const ToneParams &p) {
  constexpr size_t kSize = sizeof(Sample);
  if (f.srcBpp % kSize != 0 || f.dstBpp % kSize != 0) return 0;
  if (kernel_rows::Overlaps(f)) return 0;
  if (f.width < 5 || f.height < 5) return 1;  // no pixel lies two inside every edge

  const int32_t max = sizeof(Sample) == 1 ? 255 : (1 << kernel_rows::LimitBits(p.bits)) - 1;
  const int32_t limit = sharpen::Unsharp<Sample>::kStrengthLimit;
  const int32_t strength = std::clamp<int32_t>(p.value, -limit, limit);
  constexpr bool kWide = sizeof(Sample) == 2;
  switch (ActiveCpuPath()) {
    case CpuPath::kAvx512:
      kWide ? vector_rows::Sharpen16Avx512(f, Channels, strength, max)
            : vector_rows::Sharpen8Avx512(f, Channels, strength, max);
      break;
    case CpuPath::kAvx2:
      kWide ? vector_rows::Sharpen16Avx2(f, Channels, strength, max)
            : vector_rows::Sharpen8Avx2(f, Channels, strength, max);
      break;
    default:
      sharpen::RowsFor<Sample>(f, Channels, strength, max);
      break;
  }
  return 1;
}

}  // namespace

int SharpenGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<1, 1, Run<uint8_t, 1>>(dst, src, p);
}

int SharpenGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<2, 2, Run<uint16_t, 1>>(dst, src, p);
}

int SharpenColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<3, 3, Run<uint8_t, 3>>(dst, src, p);
}

int SharpenColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<6, 6, Run<uint16_t, 3>>(dst, src, p);
}

}  // namespace quorel
