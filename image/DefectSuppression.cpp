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

  // Rounding-up byte averages give avg(avg(l, r), avg(u, d)) <= mean + 1,
  // so v >= that + T - 1 holds for every pixel with v - mean >= T (and for
  // a few more, which the exact test then rejects). Saturating adds keep it
  // so near 255.
  struct Screen8 {
    V thresholdMinus1;  // bytes, T - 1 limited to 0..255
    uint64_t Candidates(const uint8_t *p, size_t stride) const {
      const V v = Load(p);
      const V avg = _mm_avg_epu8(_mm_avg_epu8(Load(p - 2), Load(p + 2)),
                                 _mm_avg_epu8(Load(p - 2 * stride), Load(p + 2 * stride)));
      const V bound = _mm_adds_epu8(avg, thresholdMinus1);
      const V passes = _mm_cmpeq_epi8(_mm_subs_epu8(bound, v), _mm_setzero_si128());
      return static_cast<uint32_t>(_mm_movemask_epi8(passes));
    }
  };

  // Same for words, both signs: mean <= avg <= mean + 1 for any 16-bit
  // samples, so |v - mean| >= T implies v >= avg + T - 1 or v + T <= avg.
  struct Screen16 {
    V thresholdMinus1;  // words, T - 1 and T with T limited to 1..65535
    V threshold;
    uint64_t Candidates(const uint16_t *p, size_t stride) const {
      const V zero = _mm_setzero_si128();
      const V v = Load(p);
      const V avg = _mm_avg_epu16(_mm_avg_epu16(Load(p - 2), Load(p + 2)),
                                  _mm_avg_epu16(Load(p - 2 * stride), Load(p + 2 * stride)));
      const V above = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_adds_epu16(avg, thresholdMinus1), v), zero);
      const V below = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_adds_epu16(v, threshold), avg), zero);
      const V passes = _mm_packs_epi16(_mm_or_si128(above, below), zero);
      return static_cast<uint32_t>(_mm_movemask_epi8(passes));
    }
  };

  template <class T>
  static auto MakeScreen(int threshold) {
    if constexpr (sizeof(T) == 1) {
      return Screen8{_mm_set1_epi8(static_cast<char>(std::min(threshold, 256) - 1))};
    } else {
      const int t = std::min(threshold, 65535);
      return Screen16{_mm_set1_epi16(static_cast<int16_t>(t - 1)), _mm_set1_epi16(static_cast<int16_t>(t))};
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
bool InPlace(const FrameView &dst, const ConstFrameView &src, int sampleBytes) {
  const KernelRect &rect = src.rect;
  return dst.pixels != nullptr && dst.pixels == src.pixels && dst.bytesPerPixel == sampleBytes &&
         src.bytesPerPixel == sampleBytes && dst.stride == src.stride &&
         int64_t{src.stride} >= int64_t{rect.right} * sampleBytes && dst.rect.left == rect.left &&
         dst.rect.top == rect.top && rect.left >= 0 && rect.top >= 0 && rect.right > rect.left &&
         rect.bottom > rect.top && rect.right <= src.width && rect.bottom <= src.height;
}

template <class Defects>
int Correct(const Defects &defects, const KernelRect &rect, int threshold, Walk walk) {
  // A threshold of 0 or less lets every pixel through the first step, so
  // there is nothing to screen.
  const SimdPath simd = ActiveSimdPath();
  if (walk == Walk::kSimd && threshold > 0 && simd != SimdPath::kScalar) {
    if (simd == SimdPath::kAvx2) return bayer::WalkDefectsAvx2(defects, rect, threshold);
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

int Suppress8(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params, int32_t threshold,
              Walk walk) {
  if (!InPlace(dst, src, 1)) return 0;
  const bayer::Defects8 defects{dst.pixels,
                                static_cast<size_t>(dst.stride),
                                params.mode & 1,
                                (params.mode >> 1) & 1,
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainRed)),
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainBlue)),
                                threshold};
  return Correct(defects, src.rect, defects.threshold, walk);
}

int Suppress16(const FrameView &dst, const ConstFrameView &src, int32_t threshold, Walk walk) {
  if (!InPlace(dst, src, 2) || dst.stride % 2 != 0) return 0;
  const bayer::Defects16 defects{reinterpret_cast<uint16_t *>(dst.pixels), static_cast<size_t>(dst.stride) / 2,
                                 threshold};
  Correct(defects, src.rect, defects.threshold, walk);
  return 0;
}

}  // namespace

uint32_t EstimateColor8(const uint8_t *mosaic, size_t stride, int x, int y, const DemosaicParams &params) {
  return bayer::EstimateColorAt(mosaic, stride, x, y, params.mode & 1, (params.mode >> 1) & 1,
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainRed)),
                                static_cast<uint32_t>(BayerGainMultiplier(params.gainBlue)));
}

int SuppressDefects8(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params, int32_t threshold) {
  return Suppress8(dst, src, params, threshold, Walk::kSimd);
}

int SuppressDefects8Scalar(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &params,
                           int32_t threshold) {
  return Suppress8(dst, src, params, threshold, Walk::kScalar);
}

int SuppressDefects16(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &, int32_t threshold) {
  return Suppress16(dst, src, threshold, Walk::kSimd);
}

int SuppressDefects16Scalar(const FrameView &dst, const ConstFrameView &src, const DemosaicParams &,
                            int32_t threshold) {
  return Suppress16(dst, src, threshold, Walk::kScalar);
}

}  // namespace quorel
