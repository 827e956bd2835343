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
  // In a border row only the rows fold for the columns two or more pixels
  // from either side: those are folded once per row.
  const auto rows = [&job](int y0, int y1) {
    constexpr uint32_t kMax = sizeof(T) == 1 ? 255 : 4095;
    for (int y = std::max(y0, job.top); y < std::min(y1, job.bottom); ++y) {
      const T *folded[4];
      for (int i = 0; i < 4; ++i) folded[i] = job.SrcRow<T>(Fold(y - 2 + i, job.top, job.bottom));
      const auto sample = [&folded, y](int u, int v) -> uint32_t { return folded[v - y + 2][u]; };
      for (int x = job.left; x < job.right; ++x) {
        if (x < job.left + 2 || x >= job.right - 2) {
          BorderPixel<T>(job, x, y);
          continue;
        }
        const bayer::CellSums c = bayer::InterpolateCell(sample, x, y, job.pr, job.pc);
        bayer::StorePixel<T>(job.DstPixel(x, y), bayer::ScaleChannel(c.blue, job.kb, kMax), std::min(c.green, kMax),
                             bayer::ScaleChannel(c.red, job.kr, kMax));
      }
    }
  };
  rows(job.top, job.top + 2);
  rows(job.bottom - 2, job.bottom);
  // The column strips touch a few bytes of every row, long after the
  // interior pass left those rows: without help each row costs cache misses
  // in source and destination. Both strips are done in one walk down the
  // rows, fetching the rows ahead while these are worked.
  constexpr int kAhead = 16;
  const int leftEnd = std::min(job.left + 2, job.right);
  const int rightBegin = std::max(job.right - 2, job.left);
  for (int y = job.top + 2; y < job.bottom - 2; ++y) {
    if (y + kAhead < job.bottom) {
      __builtin_prefetch(job.SrcRow<T>(y + kAhead) + job.left);
      __builtin_prefetch(job.SrcRow<T>(y + kAhead) + rightBegin);
      __builtin_prefetch(job.DstPixel(job.left, y + kAhead), 1);
      __builtin_prefetch(job.DstPixel(rightBegin, y + kAhead), 1);
    }
    // Rows two or more from the top and bottom need no folding: only the
    // columns do.
    const T *row[4] = {job.SrcRow<T>(y - 2), job.SrcRow<T>(y - 1), job.SrcRow<T>(y), job.SrcRow<T>(y + 1)};
    const auto strip = [&job, &row, y](int x0, int x1) {
      constexpr uint32_t kMax = sizeof(T) == 1 ? 255 : 4095;
      for (int x = x0; x < x1; ++x) {
        int column[4];
        for (int i = 0; i < 4; ++i) column[i] = Fold(x - 2 + i, job.left, job.right);
        const auto sample = [&row, &column, x, y](int u, int v) -> uint32_t {
          return row[v - y + 2][column[u - x + 2]];
        };
        const bayer::CellSums c = bayer::InterpolateCell(sample, x, y, job.pr, job.pc);
        bayer::StorePixel<T>(job.DstPixel(x, y), bayer::ScaleChannel(c.blue, job.kb, kMax), std::min(c.green, kMax),
                             bayer::ScaleChannel(c.red, job.kr, kMax));
      }
    };
    strip(job.left, leftEnd);
    strip(rightBegin, job.right);
  }
}

enum class Pass { kInterior, kBorder };

// kWide: the AVX2 path may go on to AVX-512 where the processor has it.
template <class T, Pass kPass, SimdPath kPath, bool kWide = true>
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
      if (active != SimdPath::kAvx2) {
        bayer::Interior8Sse2(job);
      } else if (kWide && ActiveCpuPath() == CpuPath::kAvx512) {
        bayer::Interior8Avx512(job);
      } else {
        bayer::Interior8Avx2(job);
      }
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

#define QUOREL_DEFINE_KERNEL(name, T, pass, path, ...)                                      \
  int name(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params) { \
    return Run<T, pass, path __VA_OPT__(, ) __VA_ARGS__>(dst, src, params);                 \
  }

QUOREL_DEFINE_KERNEL(DemosaicInterior8, uint8_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16, uint16_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicBorder8, uint8_t, Pass::kBorder, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicBorder16, uint16_t, Pass::kBorder, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Scalar, uint8_t, Pass::kInterior, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Sse2, uint8_t, Pass::kInterior, SimdPath::kSse2)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Avx2, uint8_t, Pass::kInterior, SimdPath::kAvx2, false)
QUOREL_DEFINE_KERNEL(DemosaicInterior8Avx512, uint8_t, Pass::kInterior, SimdPath::kAvx2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Scalar, uint16_t, Pass::kInterior, SimdPath::kScalar)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Sse2, uint16_t, Pass::kInterior, SimdPath::kSse2)
QUOREL_DEFINE_KERNEL(DemosaicInterior16Avx2, uint16_t, Pass::kInterior, SimdPath::kAvx2)

#undef QUOREL_DEFINE_KERNEL

}  // namespace quorel
