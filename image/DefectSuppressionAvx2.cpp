// The defect pre-screen with AVX2: 32 samples a block for 8-bit, 16 for
// 16-bit mosaics. Only this unit's own code is compiled for AVX2 (the target
// pragma starts after every shared header).
#include <immintrin.h>

#include <algorithm>

#include "image/DefectPixel.h"
#include "image/DefectSimd.h"

#pragma GCC push_options
#pragma GCC target("avx2")

#include "image/DefectWalk.h"

namespace quorel::bayer {

namespace {

struct Avx2 {
  using V = __m256i;
  template <class T>
  static constexpr int kWidth = 32 / static_cast<int>(sizeof(T));

  static V Load(const void *p) { return _mm256_loadu_si256(static_cast<const __m256i *>(p)); }

  // Rounding-up byte averages give avg(avg(l, r), avg(u, d)) <= mean + 1,
  // so v >= that + T - 1 holds for every pixel with v - mean >= T (and for
  // a few more, which the exact test then rejects). Saturating adds keep it
  // so near 255.
  struct Screen8 {
    V thresholdMinus1;  // bytes, T - 1 limited to 0..255
    uint64_t Candidates(const uint8_t *p, size_t stride) const {
      const V v = Load(p);
      const V avg = _mm256_avg_epu8(_mm256_avg_epu8(Load(p - 2), Load(p + 2)),
                                    _mm256_avg_epu8(Load(p - 2 * stride), Load(p + 2 * stride)));
      const V bound = _mm256_adds_epu8(avg, thresholdMinus1);
      const V passes = _mm256_cmpeq_epi8(_mm256_subs_epu8(bound, v), _mm256_setzero_si256());
      return static_cast<uint32_t>(_mm256_movemask_epi8(passes));
    }
  };

  // Same for words, both signs: mean <= avg <= mean + 1 for any 16-bit
  // samples, so |v - mean| >= T implies v >= avg + T - 1 or v + T <= avg.
  struct Screen16 {
    V thresholdMinus1;  // words, T - 1 and T with T limited to 1..65535
    V threshold;
    uint64_t Candidates(const uint16_t *p, size_t stride) const {
      const V zero = _mm256_setzero_si256();
      const V v = Load(p);
      const V avg = _mm256_avg_epu16(_mm256_avg_epu16(Load(p - 2), Load(p + 2)),
                                     _mm256_avg_epu16(Load(p - 2 * stride), Load(p + 2 * stride)));
      const V above = _mm256_cmpeq_epi16(_mm256_subs_epu16(_mm256_adds_epu16(avg, thresholdMinus1), v), zero);
      const V below = _mm256_cmpeq_epi16(_mm256_subs_epu16(_mm256_adds_epu16(v, threshold), avg), zero);
      const V passes = _mm256_packs_epi16(_mm256_or_si256(above, below), zero);
      // Packing against zero leaves lanes 0-7 in bytes 0-7 and lanes 8-15 in
      // bytes 16-23.
      const uint32_t bits = static_cast<uint32_t>(_mm256_movemask_epi8(passes));
      return (bits & 0xFFu) | ((bits >> 8) & 0xFF00u);
    }
  };

  template <class T>
  static auto MakeScreen(int threshold) {
    if constexpr (sizeof(T) == 1) {
      return Screen8{_mm256_set1_epi8(static_cast<char>(std::min(threshold, 256) - 1))};
    } else {
      const int t = std::min(threshold, 65535);
      return Screen16{_mm256_set1_epi16(static_cast<int16_t>(t - 1)), _mm256_set1_epi16(static_cast<int16_t>(t))};
    }
  }
};

}  // namespace

int WalkDefectsAvx2(const Defects8 &defects, const KernelRect &rect, int threshold) {
  return WalkDefects<Avx2, Defects8, uint8_t>(defects, rect, threshold);
}

int WalkDefectsAvx2(const Defects16 &defects, const KernelRect &rect, int threshold) {
  return WalkDefects<Avx2, Defects16, uint16_t>(defects, rect, threshold);
}

}  // namespace quorel::bayer

#pragma GCC pop_options
