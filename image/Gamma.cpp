#include "image/Gamma.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

std::array<uint8_t, 256> Table8(double gamma) {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<uint8_t>(std::pow(i / 255.0, gamma) * 255.0);
  return t;
}

// 2^bits entries plus one: a sample at or beyond 2^bits is looked up at the
// extra entry, which repeats the last one.
std::vector<uint16_t> Table16(double gamma, int bits) {
  const size_t n = size_t{1} << bits;
  const double max = static_cast<double>(n - 1);
  std::vector<uint16_t> t(n + 1);
  for (size_t i = 0; i < n; ++i)
    t[i] = static_cast<uint16_t>(std::pow(static_cast<double>(i) / static_cast<double>(n), gamma) * max);
  t[n] = t[n - 1];
  return t;
}

// Limited keeps 0 at 0 where an exponent of exactly 0 would lift it to 255;
// the 8-bit colour variant limits the exponent, the gray one does not.
template <int Channels, bool Limited>
int Run8(const Frame &f, const ToneParams &p) {
  double gamma = GammaExponent(p.value);
  if constexpr (Limited) gamma = std::clamp(gamma, 0.001, 99.999);
  const std::array<uint8_t, 256> t = Table8(gamma);
  kernel_rows::LookupSamples8<Channels>(f, t.data());
  return 1;
}

template <int Channels>
int Run16(const Frame &f, const ToneParams &p) {
  const int bits = kernel_rows::LimitBits(p.bits);
  const std::vector<uint16_t> t = Table16(GammaExponent(p.value), bits);
  const uint32_t last = static_cast<uint32_t>(t.size() - 1);
  const uint16_t *table = t.data();
  kernel_rows::MapSamples<uint16_t, Channels>(f,
                                              [table, last](uint16_t v) { return table[std::min<uint32_t>(v, last)]; });
  return 1;
}

}  // namespace

double GammaExponent(int32_t setting) {
  const double g = setting;
  return setting > 100 ? (g - 100.0) / 10.0 + 1.0 : g / 100.0;
}

int GammaGray8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<1, 1, Run8<1, false>>(dst, src, p);
}

int GammaGray16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<2, 2, Run16<1>>(dst, src, p);
}

int GammaColor8(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<3, 3, Run8<3, true>>(dst, src, p);
}

int GammaColor16(const FrameView &dst, const ConstFrameView &src, const ToneParams &p) {
  return kernel_rows::Checked<6, 6, Run16<3>>(dst, src, p);
}

}  // namespace quorel
