#include "image/DefectSuppression.h"

#include <emmintrin.h>

#include <algorithm>

#include "image/DefectPixel.h"
#include "image/DefectSimd.h"
#include "image/DefectWalk.h"

namespace quorel {

namespace bayer {
namespace {

// Pre-screens with SSE2 (the x86-64 baseline): 16 samples a block for 8-bit,
// 8 for 16-bit mosaics.
struct Sse2 {
  using V = __m128i;
  template <class T>
  static constexpr int kWidth = 16 / static_cast<int>(sizeof(T));

  static V Load(const void *p) { return _mm_loadu_si128(static_cast<const __m128i *>(p)); }

  // v - mean >= T, with T limited to 1..256 (v - mean never exceeds 255).
  struct Screen8 {
    V thresholdMinus1;
    // One half of the block widened to 16 bits: lanes where v - mean >= T.
    template <bool kHigh>
    V Half(V v, V l, V r, V u, V d) const {
      const V zero = _mm_setzero_si128();
      const auto widen = [zero](V x) { return kHigh ? _mm_unpackhi_epi8(x, zero) : _mm_unpacklo_epi8(x, zero); };
      const V sum = _mm_add_epi16(_mm_add_epi16(widen(l), widen(r)), _mm_add_epi16(widen(u), widen(d)));
      return _mm_cmpgt_epi16(widen(v), _mm_add_epi16(_mm_srli_epi16(sum, 2), thresholdMinus1));
    }
    uint64_t Candidates(const uint8_t *p, size_t stride) const {
      const V v = Load(p);
      const V l = Load(p - 2);
      const V r = Load(p + 2);
      const V u = Load(p - 2 * stride);
      const V d = Load(p + 2 * stride);
      const V lo = Half<false>(v, l, r, u, d);
      const V hi = Half<true>(v, l, r, u, d);
      return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, hi)));
    }
  };

  // |v - mean| >= T with T limited to 1..32767; a block sample above 12 bits
  // (where 16-bit sums could wrap) always passes to the exact test.
  struct Screen16 {
    V thresholdMinus1;
    V oneMinusThreshold;
    uint64_t Candidates(const uint16_t *p, size_t stride) const {
      const V zero = _mm_setzero_si128();
      const V v = Load(p);
      const V l = Load(p - 2);
      const V r = Load(p + 2);
      const V u = Load(p - 2 * stride);
      const V d = Load(p + 2 * stride);
      const V wide = _mm_or_si128(_mm_or_si128(_mm_or_si128(v, l), _mm_or_si128(r, u)), d);
      const V outOfRange = _mm_cmpgt_epi16(_mm_srli_epi16(wide, 12), zero);
      const V mean = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(l, r), _mm_add_epi16(u, d)), 2);
      const V diff = _mm_sub_epi16(v, mean);
      const V far = _mm_or_si128(_mm_cmpgt_epi16(diff, thresholdMinus1), _mm_cmpgt_epi16(oneMinusThreshold, diff));
      return static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(_mm_or_si128(far, outOfRange), zero)));
    }
  };

  template <class T>
  static auto MakeScreen(int threshold) {
    if constexpr (sizeof(T) == 1) {
      return Screen8{_mm_set1_epi16(static_cast<int16_t>(std::min(threshold, 256) - 1))};
    } else {
      const int t = std::min(threshold, 32767);
      return Screen16{_mm_set1_epi16(static_cast<int16_t>(t - 1)), _mm_set1_epi16(static_cast<int16_t>(1 - t))};
    }
  }
};

}  // namespace

int WalkDefectsSse2(const Defects8 &defects, const KernelRect &rect, int threshold) {
  return WalkDefects<Sse2, Defects8, uint8_t>(defects, rect, threshold);
}

int WalkDefectsSse2(const Defects16 &defects, const KernelRect &rect, int threshold) {
  return WalkDefects<Sse2, Defects16, uint16_t>(defects, rect, threshold);
}

}  // namespace bayer

namespace {

enum class Walk { kScalar, kSimd };

// dst must be src: the step corrects the mosaic it reads.
bool InPlace(const uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
             int srcBytesPerPixel, int dstStride, int srcStride, int sampleBytes) {
  return dst != nullptr && dst == src && dstBytesPerPixel == sampleBytes && srcBytesPerPixel == sampleBytes &&
         dstStride == srcStride && int64_t{srcStride} >= int64_t{rect.right} * sampleBytes && dstX == rect.left &&
         dstY == rect.top && rect.left >= 0 && rect.top >= 0 && rect.right > rect.left && rect.bottom > rect.top;
}

int ThresholdOf(const void *p2, int standard) {
  return p2 != nullptr ? *static_cast<const int32_t *>(p2) : standard;
}

template <class Defects>
int Correct(const Defects &defects, const KernelRect &rect, int threshold, Walk walk) {
  // A threshold of 0 or less lets every pixel through the first step, so
  // there is nothing to screen.
  if (walk == Walk::kSimd && threshold > 0) {
    if (ActiveSimdPath() == SimdPath::kAvx2) return bayer::WalkDefectsAvx2(defects, rect, threshold);
    return bayer::WalkDefectsSse2(defects, rect, threshold);
  }
  int replaced = 0;
  for (int y = rect.top + 2; y <= rect.bottom - 3; ++y) {
    for (int x = rect.left + 2; x <= rect.right - 3; ++x) {
      if (defects.Fix(x, y)) ++replaced;
    }
  }
  return replaced;
}

int Suppress8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
              int srcBytesPerPixel, int dstStride, int srcStride, const void *p1, const void *p2, Walk walk) {
  if (p1 == nullptr ||
      !InPlace(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, 1)) {
    return 0;
  }
  const auto *params = static_cast<const DemosaicParams *>(p1);
  const bayer::Defects8 defects{dst,
                                static_cast<size_t>(dstStride),
                                params->mode & 1,
                                (params->mode >> 1) & 1,
                                static_cast<uint32_t>(BayerGainMultiplier(params->gainRed)),
                                static_cast<uint32_t>(BayerGainMultiplier(params->gainBlue)),
                                ThresholdOf(p2, kDefectThreshold8)};
  return Correct(defects, rect, defects.threshold, walk);
}

int Suppress16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
               int srcBytesPerPixel, int dstStride, int srcStride, const void *p2, Walk walk) {
  if (!InPlace(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, 2) ||
      dstStride % 2 != 0) {
    return 0;
  }
  const bayer::Defects16 defects{reinterpret_cast<uint16_t *>(dst), static_cast<size_t>(dstStride) / 2,
                                 ThresholdOf(p2, kDefectThreshold16)};
  Correct(defects, rect, defects.threshold, walk);
  return 0;
}

}  // namespace

uint32_t EstimateColor8(const uint8_t *mosaic, size_t stride, int x, int y, const DemosaicParams &params) {
  return bayer::EstimateColorAt(mosaic, stride, x, y, params.mode & 1, (params.mode >> 1) & 1,
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainRed)),
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainBlue)));
}

int SuppressDefects8(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY, int dstBytesPerPixel,
                     int srcBytesPerPixel, int dstStride, int srcStride, void *p1, void *p2) {
  return Suppress8(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, p1, p2,
                   Walk::kSimd);
}

int SuppressDefects8Scalar(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                           int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *p1,
                           void *p2) {
  return Suppress8(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, p1, p2,
                   Walk::kScalar);
}

int SuppressDefects16(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                      int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *, void *p2) {
  return Suppress16(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, p2,
                    Walk::kSimd);
}

int SuppressDefects16Scalar(uint8_t *dst, const uint8_t *src, const KernelRect &rect, int dstX, int dstY,
                            int dstBytesPerPixel, int srcBytesPerPixel, int dstStride, int srcStride, void *,
                            void *p2) {
  return Suppress16(dst, src, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride, srcStride, p2,
                    Walk::kScalar);
}

}  // namespace quorel
