#include "image/WhiteBalance.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>

#include "image/CpuPath.h"
#include "image/KernelRows.h"
#include "image/LumaRows.h"
#include "image/VectorRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;
using kernel_rows::kBlock;
using kernel_rows::Load;
using kernel_rows::Store;

int RowPhase(int32_t mode) {
  return mode & 1;
}
int ColumnPhase(int32_t mode) {
  return (mode >> 1) & 1;
}

// Gray labels of the site classes (index a * 2 + b).
constexpr std::array<int, 4> kGraySiteOfClass = {kGrayG1, kGrayR, kGrayB, kGrayG2};

int32_t TruncGain(double g) {
  return g >= 2147483647.0 ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(g);
}

// Sums of the even and odd samples of a run (positions counted from the run's
// start). Vertical sums in 32-bit lanes, flushed into 64 bits often enough that
// no lane can overflow.
struct LaneSums {
  uint64_t sum[2] = {0, 0};
  uint64_t count[2] = {0, 0};
};

template <typename Sample>
void AddRun(const uint8_t *p, size_t n, LaneSums &out) {
  constexpr size_t kSize = sizeof(Sample);
  constexpr size_t kFlushBlocks = 4096;  // 4096 * 65535 < 2^32
  size_t i = 0;
  while (i + kBlock <= n) {
    uint32_t lanes[kBlock] = {};
    for (size_t blocks = 0; blocks < kFlushBlocks && i + kBlock <= n; ++blocks, i += kBlock)
      for (size_t j = 0; j < kBlock; ++j) lanes[j] += Load<Sample>(p + (i + j) * kSize);
    for (size_t j = 0; j < kBlock; ++j) out.sum[j & 1] += lanes[j];
  }
  for (; i < n; ++i) out.sum[i & 1] += Load<Sample>(p + i * kSize);
}

// As AddRun, leaving out samples equal to 0 or to `max`, and counting the
// samples kept.
template <typename Sample>
void AddRunUsable(const uint8_t *p, size_t n, uint32_t max, LaneSums &out) {
  constexpr size_t kSize = sizeof(Sample);
  constexpr size_t kFlushBlocks = 4096;
  size_t i = 0;
  while (i + kBlock <= n) {
    uint32_t lanes[kBlock] = {};
    uint32_t counts[kBlock] = {};
    for (size_t blocks = 0; blocks < kFlushBlocks && i + kBlock <= n; ++blocks, i += kBlock)
      for (size_t j = 0; j < kBlock; ++j) {
        const uint32_t v = Load<Sample>(p + (i + j) * kSize);
        const uint32_t keep = static_cast<uint32_t>(v != 0) & static_cast<uint32_t>(v != max);
        lanes[j] += v & (0u - keep);
        counts[j] += keep;
      }
    for (size_t j = 0; j < kBlock; ++j) {
      out.sum[j & 1] += lanes[j];
      out.count[j & 1] += counts[j];
    }
  }
  for (; i < n; ++i) {
    const uint32_t v = Load<Sample>(p + i * kSize);
    if (v != 0 && v != max) {
      out.sum[i & 1] += v;
      out.count[i & 1] += 1;
    }
  }
}

// The sums of each site class (index a * 2 + b) over the frame.
template <typename Sample, bool Usable>
void SumSites(const Frame &f, int32_t mode, uint32_t max, std::array<uint64_t, 4> &sum,
              std::array<uint64_t, 4> &count) {
  const size_t rowPhase = static_cast<size_t>(RowPhase(mode));
  const size_t columnPhase = static_cast<size_t>(ColumnPhase(mode));
  const size_t evenB = (f.left + columnPhase) & 1;  // column class of the run's even positions
  const size_t evenCount = (f.width + 1) / 2;
  const size_t oddCount = f.width / 2;
  for (size_t y = 0; y < f.height; ++y) {
    const size_t a = (f.top + y + rowPhase) & 1;
    LaneSums lanes;
    if constexpr (Usable) {
      AddRunUsable<Sample>(f.SrcRow(y), f.width, max, lanes);
    } else {
      AddRun<Sample>(f.SrcRow(y), f.width, lanes);
      lanes.count[0] = evenCount;
      lanes.count[1] = oddCount;
    }
    sum[a * 2 + evenB] += lanes.sum[0];
    count[a * 2 + evenB] += lanes.count[0];
    sum[a * 2 + (evenB ^ 1)] += lanes.sum[1];
    count[a * 2 + (evenB ^ 1)] += lanes.count[1];
  }
}

template <typename Sample>
int BalanceMeans(const Frame &f, WhiteBalanceParams &p) {
  SiteSums sums;
  SumSites<Sample, false>(f, p.mode, 0, sums.sum, sums.count);
  return BalanceGains(sums, p);
}

template <typename Sample>
int Balance(const Frame &f, GrayParams &p) {
  const uint32_t max = sizeof(Sample) == 1 ? 255u : static_cast<uint32_t>(GraySaturationValue(p.bits));
  SiteSums sums;
  SumSites<Sample, true>(f, p.mode, max, sums.sum, sums.count);
  return GrayBalanceGains(sums, p);
}

template <typename Sample>
int BalanceSumsOf(const Frame &f, int32_t mode, SiteSums &sums) {
  SumSites<Sample, false>(f, mode, 0, sums.sum, sums.count);
  return 1;
}

template <typename Sample>
int GraySumsOf(const Frame &f, const GrayParams &p, SiteSums &sums) {
  const uint32_t max = sizeof(Sample) == 1 ? 255u : static_cast<uint32_t>(GraySaturationValue(p.bits));
  SumSites<Sample, true>(f, p.mode, max, sums.sum, sums.count);
  return 1;
}

// offset + gain * v / 128 limited to 0 .. max, for gains of 0 .. 65535, where
// the product fits 32 unsigned bits and the division is a shift.
struct GainOffsetFast {
  uint32_t gain;
  int32_t offset;
};

template <typename Sample>
void GainOffsetRow(uint8_t *d, const uint8_t *s, size_t n, const GrayParams &p, int siteEven, int siteOdd,
                   int32_t max) {
  constexpr size_t kSize = sizeof(Sample);
  const int32_t g[2] = {p.gains[siteEven], p.gains[siteOdd]};
  const int32_t o[2] = {p.offsets[siteEven], p.offsets[siteOdd]};
  auto exact = [max](int32_t gain, int32_t offset, uint32_t v) {
    const int64_t r = offset + static_cast<int64_t>(gain) * v / 128;
    return static_cast<Sample>(std::clamp<int64_t>(r, 0, max));
  };
  size_t i = 0;
  if (g[0] >= 0 && g[0] <= 65535 && g[1] >= 0 && g[1] <= 65535) {
    uint32_t gl[kBlock];
    int32_t ol[kBlock];
    for (size_t j = 0; j < kBlock; ++j) gl[j] = static_cast<uint32_t>(g[j & 1]), ol[j] = o[j & 1];
    for (; i + kBlock <= n; i += kBlock)
      for (size_t j = 0; j < kBlock; ++j) {
        const uint32_t v = Load<Sample>(s + (i + j) * kSize);
        int32_t r = ol[j] + static_cast<int32_t>((gl[j] * v) >> 7);
        r = r < 0 ? 0 : (r > max ? max : r);
        Store<Sample>(d + (i + j) * kSize, static_cast<Sample>(r));
      }
  }
  for (; i < n; ++i) Store<Sample>(d + i * kSize, exact(g[i & 1], o[i & 1], Load<Sample>(s + i * kSize)));
}

// 8-bit samples: one table of results per site, built with the exact formula.
int GainOffset8(const Frame &f, const GrayParams &p) {
  if (f.srcBpp != 1 || f.dstBpp != 1) return 0;
  std::array<std::array<uint8_t, 256>, 4> table{};
  for (size_t site = 0; site < 4; ++site)
    for (int64_t v = 0; v < 256; ++v)
      table[site][static_cast<size_t>(v)] =
          static_cast<uint8_t>(std::clamp<int64_t>(p.offsets[site] + p.gains[site] * v / 128, 0, 255));
  const size_t rowPhase = static_cast<size_t>(RowPhase(p.mode));
  const size_t evenB = (f.left + static_cast<size_t>(ColumnPhase(p.mode))) & 1;
  for (size_t y = 0; y < f.height; ++y) {
    const size_t a = (f.top + y + rowPhase) & 1;
    const auto siteEven = static_cast<size_t>(kGraySiteOfClass[a * 2 + evenB]);
    const auto siteOdd = static_cast<size_t>(kGraySiteOfClass[a * 2 + (evenB ^ 1)]);
    lookup8::Alternating(f.DstRow(y), f.SrcRow(y), f.width, table[siteEven].data(), table[siteOdd].data());
  }
  return 1;
}

template <typename Sample>
int GainOffset(const Frame &f, const GrayParams &p) {
  constexpr size_t kSize = sizeof(Sample);
  if (f.srcBpp != kSize || f.dstBpp != kSize) return 0;
  const int32_t max = sizeof(Sample) == 1 ? 255 : GraySaturationValue(p.bits);
  const size_t rowPhase = static_cast<size_t>(RowPhase(p.mode));
  const size_t evenB = (f.left + static_cast<size_t>(ColumnPhase(p.mode))) & 1;
  for (size_t y = 0; y < f.height; ++y) {
    const size_t a = (f.top + y + rowPhase) & 1;
    const int siteEven = kGraySiteOfClass[a * 2 + evenB];
    const int siteOdd = kGraySiteOfClass[a * 2 + (evenB ^ 1)];
    GainOffsetRow<Sample>(f.DstRow(y), f.SrcRow(y), f.width, p, siteEven, siteOdd, max);
  }
  return 1;
}

// Y = (30 R + 59 G + 11 B) / 100 for every pixel.
int Luma(const Frame &f) {
  if (f.dstBpp == 1 && (f.srcBpp == 3 || f.srcBpp == 4)) {
    switch (ActiveCpuPath()) {
      case CpuPath::kAvx512:
        vector_rows::LumaAvx512(f);
        break;
      case CpuPath::kAvx2:
        vector_rows::LumaAvx2(f);
        break;
      default:
        luma::Rows(f);
        break;
    }
    return 1;
  }
  for (size_t y = 0; y < f.height; ++y) {
    uint8_t *d = f.DstRow(y);
    const uint8_t *s = f.SrcRow(y);
    for (size_t x = 0; x < f.width; ++x, s += f.srcBpp)
      d[x * f.dstBpp] = static_cast<uint8_t>((30u * s[2] + 59u * s[1] + 11u * s[0]) / 100);
  }
  return 1;
}

}  // namespace

int32_t GraySaturationValue(int32_t bits) {
  switch (bits) {
    case 8:
      return 255;
    case 10:
      return 1023;
    case 12:
      return 4095;
    case 14:
      return 16383;
    default:
      return 65535;
  }
}

void SiteSums::Add(const SiteSums &other) {
  for (size_t i = 0; i < 4; ++i) {
    sum[i] += other.sum[i];
    count[i] += other.count[i];
  }
}

SiteSums BalanceSums(const ConstFrameView &mosaic, int32_t mode) {
  SiteSums sums;
  const FrameView none{const_cast<uint8_t *>(mosaic.pixels),
                       mosaic.stride,
                       mosaic.width,
                       mosaic.height,
                       mosaic.bytesPerPixel,
                       mosaic.rect};
  if (mosaic.bytesPerPixel == 1) kernel_rows::Checked<1, 1, BalanceSumsOf<uint8_t>>(none, mosaic, mode, sums);
  if (mosaic.bytesPerPixel == 2) kernel_rows::Checked<1, 2, BalanceSumsOf<uint16_t>>(none, mosaic, mode, sums);
  return sums;
}

int BalanceGains(const SiteSums &sums, WhiteBalanceParams &p) {
  const auto &sum = sums.sum;
  const auto &count = sums.count;
  // Classes: 0 green, 1 blue, 2 red, 3 green.
  const uint64_t greenCount = count[0] + count[3];
  if (greenCount == 0 || count[1] == 0 || count[2] == 0) return 0;
  const double mG = static_cast<double>(sum[0] + sum[3]) / static_cast<double>(greenCount);
  const double mB = static_cast<double>(sum[1]) / static_cast<double>(count[1]);
  const double mR = static_cast<double>(sum[2]) / static_cast<double>(count[2]);
  const double s = mG + mB + mR;
  const double t = s / mG / 3;
  const double blue = s / mB / 3 * 100 / t;
  const double red = s / mR / 3 * 100 / t;
  if (std::isnan(blue) || std::isnan(red)) return 0;
  p.blueGain = TruncGain(blue);
  p.greenGain = 100;
  p.redGain = TruncGain(red);
  return 1;
}

SiteSums GrayBalanceSums(const ConstFrameView &mosaic, const GrayParams &p) {
  SiteSums sums;
  const FrameView none{const_cast<uint8_t *>(mosaic.pixels),
                       mosaic.stride,
                       mosaic.width,
                       mosaic.height,
                       mosaic.bytesPerPixel,
                       mosaic.rect};
  if (mosaic.bytesPerPixel == 1) kernel_rows::Checked<1, 1, GraySumsOf<uint8_t>>(none, mosaic, p, sums);
  if (mosaic.bytesPerPixel == 2) kernel_rows::Checked<1, 1, GraySumsOf<uint16_t>>(none, mosaic, p, sums);
  return sums;
}

int GrayBalanceGains(const SiteSums &sums, GrayParams &p) {
  std::array<double, 4> mean{};  // by gray site
  for (size_t cls = 0; cls < 4; ++cls) {
    if (sums.count[cls] == 0) return 1;
    mean[static_cast<size_t>(kGraySiteOfClass[cls])] =
        static_cast<double>(sums.sum[cls]) / static_cast<double>(sums.count[cls]);
  }
  const double h = std::max({mean[kGrayG1], mean[kGrayR], mean[kGrayG2], mean[kGrayB]});
  for (size_t site = 0; site < 4; ++site) p.gains[site] = static_cast<int32_t>(h / mean[site] * 128);
  return 1;
}

int BalanceMeans8(const FrameView &dst, const ConstFrameView &src, WhiteBalanceParams &p) {
  if (src.bytesPerPixel != 1) return 0;
  return kernel_rows::Checked<1, 1, BalanceMeans<uint8_t>>(dst, src, p);
}

int BalanceMeans16(const FrameView &dst, const ConstFrameView &src, WhiteBalanceParams &p) {
  if (src.bytesPerPixel != 2) return 0;
  return kernel_rows::Checked<1, 2, BalanceMeans<uint16_t>>(dst, src, p);
}

int GrayBalance(const FrameView &dst, const ConstFrameView &src, GrayParams &p) {
  if (src.bytesPerPixel == 1) return kernel_rows::Checked<1, 1, Balance<uint8_t>>(dst, src, p);
  if (src.bytesPerPixel == 2) return kernel_rows::Checked<1, 1, Balance<uint16_t>>(dst, src, p);
  return 0;
}

int GrayGainOffset8(const FrameView &dst, const ConstFrameView &src, const GrayParams &p) {
  return kernel_rows::Checked<1, 1, GainOffset8>(dst, src, p);
}

int GrayGainOffset16(const FrameView &dst, const ConstFrameView &src, const GrayParams &p) {
  return kernel_rows::Checked<2, 2, GainOffset<uint16_t>>(dst, src, p);
}

int Luma24To8(const FrameView &dst, const ConstFrameView &src) {
  return kernel_rows::Checked<1, 3, Luma>(dst, src);
}

// --- Write-back rules ---------------------------------------------------------
//
// The application may read or write the same settings at the same time
// through the filter-value interface; every access is one relaxed 32-bit
// atomic operation, so no value is seen half-written.

namespace {

int32_t Get(FilterBlock &filters, FilterEntry entry) {
  return std::atomic_ref<int32_t>(filters[static_cast<size_t>(entry)]).load(std::memory_order_relaxed);
}

void Put(FilterBlock &filters, FilterEntry entry, int32_t value) {
  std::atomic_ref<int32_t>(filters[static_cast<size_t>(entry)]).store(value, std::memory_order_relaxed);
}

FilterEntry GainEntry(int site) {
  return static_cast<FilterEntry>(kGrayGainR + site);
}
FilterEntry OffsetEntry(int site) {
  return static_cast<FilterEntry>(kGrayOffsetR + site);
}

}  // namespace

WhiteBalanceParams MakeWhiteBalanceParams(int effectiveMode) {
  WhiteBalanceParams p;
  p.mode = effectiveMode;
  return p;
}

bool AwbOnceSet(FilterBlock &filters) {
  return Get(filters, kAwbOnceA) != 0 && Get(filters, kAwbOnceB) != 0;
}

bool StoreWhiteBalance(FilterBlock &filters, const WhiteBalanceParams &measured, bool wasMeasured) {
  if (wasMeasured) {
    Put(filters, kBayerGainRed, std::clamp<int32_t>(measured.redGain, 0, 400));
    Put(filters, kBayerGainGreen, 100);
    Put(filters, kBayerGainBlue, std::clamp<int32_t>(measured.blueGain, 0, 400));
  }
  if (AwbOnceSet(filters)) {
    Put(filters, kBayerGainAuto, 0);
    Put(filters, kAwbOnceA, 0);
    Put(filters, kAwbOnceB, 0);
  }
  return wasMeasured;
}

GrayParams MakeGrayParams(FilterBlock &filters, int effectiveMode, int bits) {
  GrayParams p;
  p.mode = effectiveMode;
  for (int site = 0; site < 4; ++site) {
    p.gains[site] = Get(filters, GainEntry(site));
    p.offsets[site] = Get(filters, OffsetEntry(site));
  }
  p.bits = bits;
  return p;
}

bool GrayAutoGainPending(FilterBlock &filters) {
  return Get(filters, kGrayAutoGain) != 0;
}

void ConsumeGrayAutoGain(FilterBlock &filters) {
  const int32_t count = Get(filters, kGrayAutoGain);
  if (count != std::numeric_limits<int32_t>::min()) Put(filters, kGrayAutoGain, count - 1);
}

void StoreGrayParams(FilterBlock &filters, const GrayParams &params) {
  for (int site = 0; site < 4; ++site) {
    Put(filters, GainEntry(site), params.gains[site]);
    Put(filters, OffsetEntry(site), params.offsets[site]);
  }
}

bool GrayGainsNeutral(const GrayParams &params) {
  return std::all_of(std::begin(params.gains), std::end(params.gains), [](int32_t g) { return g == 128; });
}

}  // namespace quorel
