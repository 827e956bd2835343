#include "image/Gamma.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "image/KernelRows.h"

namespace quorel {
namespace {

using kernel_rows::Frame;

const ToneParams *Params(void *p1) {
  return static_cast<const ToneParams *>(p1);
}

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

template <int Channels>
int Run8(const Frame &f, double gamma) {
  const std::array<uint8_t, 256> t = Table8(gamma);
  kernel_rows::MapSamples<uint8_t, Channels>(f, [&t](uint8_t v) { return t[v]; });
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

int GammaGray8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
               int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 1, 1, f))
    return 0;
  return Run8<1>(f, GammaExponent(Params(p1)->value));
}

int GammaGray16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 2, 2, f))
    return 0;
  return Run16<1>(f, *Params(p1));
}

int GammaColor8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 3, 3, f))
    return 0;
  // Keeps 0 at 0 where an exponent of exactly 0 would lift it to 255.
  const double gamma = std::clamp(GammaExponent(Params(p1)->value), 0.001, 99.999);
  return Run8<3>(f, gamma);
}

int GammaColor16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                 int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *) {
  Frame f;
  if (p1 == nullptr || !kernel_rows::MakeFrame(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                               dstStride, srcStride, 6, 6, f))
    return 0;
  return Run16<3>(f, *Params(p1));
}

}  // namespace quorel
