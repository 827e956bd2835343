#include "image/Contrast.h"

#include <algorithm>
#include <array>
#include <vector>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

std::array<uint8_t, 256> Table8(int32_t setting) {
  // Far outside the setting range every entry is 0 or 255 anyway; limiting c
  // keeps 2c within int.
  const int c = std::clamp<int32_t>(setting, -1000, 1000);
  // From c = 128 on no entry lies between the two clipped ranges.
  const double slope = c < 128 ? 256.0 / (256 - 2 * c) : 0.0;
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) {
    if (i < c)
      t[i] = 0;
    else if (i > 255 - c)
      t[i] = 255;
    else
      t[i] = static_cast<uint8_t>(slope * (i - c));
  }
  return t;
}

// 2^bits entries plus one for every sample of 2^bits or more, which becomes
// 2^bits - 1.
std::vector<uint16_t> Table16(int32_t setting, int bits) {
  const int64_t n = int64_t{1} << bits;
  const int64_t o = static_cast<int64_t>(std::clamp<int32_t>(setting, -100000, 100000)) << (bits - 8);
  std::vector<uint16_t> t(static_cast<size_t>(n) + 1, 0);
  t[static_cast<size_t>(n)] = static_cast<uint16_t>(n - 1);
  if (o > n / 2 - 1) return t;
  const double slope = static_cast<double>(n) / static_cast<double>(n - 2 * o);
  for (int64_t i = 0; i < n; ++i) {
    uint16_t v;
    if (i < o)
      v = 0;
    else if (i > n - o - 1)
      v = static_cast<uint16_t>(n - 1);
    else
      v = static_cast<uint16_t>(slope * static_cast<double>(i - o));
    t[static_cast<size_t>(i)] = v;
  }
  return t;
}

template <int Channels>
int Run8(const Frame &f, const ToneParams &p) {
  const std::array<uint8_t, 256> t = Table8(p.value);
  kernel_rows::LookupSamples8<Channels>(f, t.data());
  return 1;
}

template <int Channels>
int Run16(const Frame &f, const ToneParams &p) {
  const std::vector<uint16_t> t = Table16(p.value, kernel_rows::LimitBits(p.bits));
  const uint32_t last = static_cast<uint32_t>(t.size() - 1);
  const uint16_t *table = t.data();
  kernel_rows::MapSamples<uint16_t, Channels>(f,
                                              [table, last](uint16_t v) { return table[std::min<uint32_t>(v, last)]; });
  return 1;
}

}  // namespace

int ContrastGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<1, 1, Run8<1>>(dst, src, p);
}

int ContrastGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<2, 2, Run16<1>>(dst, src, p);
}

int ContrastColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<3, 3, Run8<3>>(dst, src, p);
}

int ContrastColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<6, 6, Run16<3>>(dst, src, p);
}

}  // namespace quorel
