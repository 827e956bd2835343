#include "image/Demosaic.h"

#include <algorithm>

#include "image/BayerCell.h"
#include "image/CpuPath.h"
#include "image/DemosaicSimd.h"

namespace quorel {

namespace {

using bayer::DemosaicJob;

constexpr int kMaxGain = 400;

// Checks the views of a demosaic kernel for sampleBytes-sized mosaic samples
// and fills job. False for anything the kernels do not handle.
bool MakeJob(DemosaicJob &job, const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params,
             int sampleBytes) {
  const KernelRect &rect = src.rect;
  if (dst.pixels == nullptr || src.pixels == nullptr) return false;
  if (src.bytesPerPixel != sampleBytes) return false;
  if (dst.bytesPerPixel != 3 * sampleBytes && dst.bytesPerPixel != 4 * sampleBytes) return false;
  if (rect.left < 0 || rect.top < 0 || rect.right <= rect.left || rect.bottom <= rect.top) return false;
  if (rect.right > src.width || rect.bottom > src.height) return false;
  const int dstX = dst.rect.left;
  const int dstY = dst.rect.top;
  if (dstX < 0 || dstY < 0) return false;
  const int64_t width = int64_t{rect.right} - rect.left;
  const int64_t height = int64_t{rect.bottom} - rect.top;
  if (dstX + width > dst.width || dstY + height > dst.height) return false;
  // Rows must be long enough for the rectangle; rows overlapping one another
  // would be read and written out of order.
  if (int64_t{src.stride} < int64_t{rect.right} * src.bytesPerPixel) return false;
  if (int64_t{dst.stride} < (int64_t{dstX} + width) * dst.bytesPerPixel) return false;
  job.dst = dst.pixels;
  job.src = src.pixels;
  job.dstStride = static_cast<size_t>(dst.stride);
  job.srcStride = static_cast<size_t>(src.stride);
  job.left = rect.left;
  job.top = rect.top;
  job.right = rect.right;
  job.bottom = rect.bottom;
  job.dstX = dstX;
  job.dstY = dstY;
  job.dstBytesPerPixel = dst.bytesPerPixel;
  job.pr = params.mode & 1;
  job.pc = (params.mode >> 1) & 1;
  job.kr = static_cast<uint32_t>(BayerGainMultiplier(params.gainRed));
  job.kb = static_cast<uint32_t>(BayerGainMultiplier(params.gainBlue));
  return true;
}

template <class T>
void InteriorScalar(const DemosaicJob &job) {
  for (int y = job.top + 2; y <= job.bottom - 3; ++y) {
    for (int x = job.left + 2; x <= job.right - 3; ++x) bayer::DemosaicInteriorPixel<T>(job, x, y);
  }
}

// A neighbour coordinate outside [lo, hi) moved back inside while keeping its
// colour: by 4 when the extent allows it, else by 2; a 1-pixel extent has
// only one coordinate to offer.
inline int Fold(int c, int lo, int hi) {
  const int step = hi - lo >= 4 ? 4 : 2;
  if (c < lo) {
    c += step;
  } else if (c >= hi) {
    c -= step;
  }
  return std::clamp(c, lo, hi - 1);
}

// The four rows and columns a cell reaches (offsets -2 .. +1) are folded
// once per pixel, then every sample is a plain lookup.
template <class T>
void BorderPixel(const DemosaicJob &job, int x, int y) {
  constexpr uint32_t kMax = sizeof(T) == 1 ? 255 : 4095;
  const T *rows[4];
  int columns[4];
  for (int i = 0; i < 4; ++i) {
    rows[i] = job.SrcRow<T>(Fold(y - 2 + i, job.top, job.bottom));
    columns[i] = Fold(x - 2 + i, job.left, job.right);
  }
  const auto sample = [&rows, &columns, x, y](int u, int v) -> uint32_t { return rows[v - y + 2][columns[u - x + 2]]; };
  const bayer::CellSums s = bayer::InterpolateCell(sample, x, y, job.pr, job.pc);
  bayer::StorePixel<T>(job.DstPixel(x, y), bayer::ScaleChannel(s.blue, job.kb, kMax), std::min(s.green, kMax),
                       bayer::ScaleChannel(s.red, job.kr, kMax));
}

// Rows top, top+1, bottom-2, bottom-1 (all columns), then columns left,
// left+1, right-2, right-1. Strips are cut to the rectangle, so on small
// images they overlap; the column strips skip the rows the row strips have
// done already, since a pixel comes out the same from either.
template <class T>
void BorderScalar(const DemosaicJob &job) {
  const auto rows = [&job](int y0, int y1) {
    for (int y = std::max(y0, job.top); y < std::min(y1, job.bottom); ++y) {
      for (int x = job.left; x < job.right; ++x) BorderPixel<T>(job, x, y);
    }
  };
  const auto columns = [&job](int x0, int x1) {
    for (int y = job.top + 2; y < job.bottom - 2; ++y) {
      for (int x = std::max(x0, job.left); x < std::min(x1, job.right); ++x) BorderPixel<T>(job, x, y);
    }
  };
  rows(job.top, job.top + 2);
  rows(job.bottom - 2, job.bottom);
  columns(job.left, job.left + 2);
  columns(job.right - 2, job.right);
}

enum class Pass { kInterior, kBorder };

template <class T, Pass kPass, SimdPath kPath>
int Run(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params) {
  DemosaicJob job;
  if (!MakeJob(job, dst, src, params, static_cast<int>(sizeof(T)))) return 0;
  if constexpr (kPass == Pass::kBorder) {
    BorderScalar<T>(job);
  } else if constexpr (kPath == SimdPath::kAvx2) {
    const SimdPath active = ActiveSimdPath();
    if (active == SimdPath::kScalar) {
      InteriorScalar<T>(job);
    } else if constexpr (sizeof(T) == 1) {
      active == SimdPath::kAvx2 ? bayer::Interior8Avx2(job) : bayer::Interior8Sse2(job);
    } else {
      active == SimdPath::kAvx2 ? bayer::Interior16Avx2(job) : bayer::Interior16Sse2(job);
    }
  } else if constexpr (kPath == SimdPath::kSse2) {
    if constexpr (sizeof(T) == 1) {
      bayer::Interior8Sse2(job);
    } else {
      bayer::Interior16Sse2(job);
    }
  } else {
    InteriorScalar<T>(job);
  }
  return 1;
}

}  // namespace

int EffectiveBayerMode(int bayerMode, int mirrorH, int mirrorV) {
  return (bayerMode & 3) ^ (mirrorV != 0 ? 1 : 0) ^ (mirrorH != 0 ? 2 : 0);
}

int BayerGainMultiplier(int gain) {
  return std::clamp(gain, 0, kMaxGain) * 128 / 100;
}

SimdPath ActiveSimdPath() {
  switch (ActiveCpuPath()) {
    case CpuPath::kPlain:
      return SimdPath::kScalar;
    case CpuPath::kSse2:
      return SimdPath::kSse2;
    default:
      return SimdPath::kAvx2;
  }
}

#define QUOREL_DEFINE_KERNEL(name, T, pass, path)                                           \
  int name(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params) { \
    return Run<T, pass, path>(dst, src, params);                                            \
  }

QUOREL_DEFINE_KERNEL(DemosaicInterior8, uint8_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16, uint16_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicBorder8, uint8_t, Pass::kBorder, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicBorder16, uint16_t, Pass::kBorder, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Scalar, uint8_t, Pass::kInterior, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Sse2, uint8_t, Pass::kInterior, SimdPath::kSse2)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Avx2, uint8_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Scalar, uint16_t, Pass::kInterior, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Sse2, uint16_t, Pass::kInterior, SimdPath::kSse2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Avx2, uint16_t, Pass::kInterior, SimdPath::kAvx2)

#undef QUOREL_DEFINE_KERNEL

}  // namespace quorel
