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

  // v - mean >= T with T limited to 1..256. The byte unpacks and the pack
  // back both work within 128-bit halves, so the byte order comes out as it
  // went in.
  struct Screen8 {
    V thresholdMinus1;
    // One half of the block widened to 16 bits: lanes where v - mean >= T.
    template <bool kHigh>
    V Half(V v, V l, V r, V u, V d) const {
      const V zero = _mm256_setzero_si256();
      const auto widen = [zero](V x) { return kHigh ? _mm256_unpackhi_epi8(x, zero) : _mm256_unpacklo_epi8(x, zero); };
      const V sum = _mm256_add_epi16(_mm256_add_epi16(widen(l), widen(r)), _mm256_add_epi16(widen(u), widen(d)));
      return _mm256_cmpgt_epi16(widen(v), _mm256_add_epi16(_mm256_srli_epi16(sum, 2), thresholdMinus1));
    }
    uint64_t Candidates(const uint8_t *p, size_t stride) const {
      const V v = Load(p);
      const V l = Load(p - 2);
      const V r = Load(p + 2);
      const V u = Load(p - 2 * stride);
      const V d = Load(p + 2 * stride);
      const V lo = Half<false>(v, l, r, u, d);
      const V hi = Half<true>(v, l, r, u, d);
      return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(lo, hi)));
    }
  };

  // |v - mean| >= T with T limited to 1..32767; a block sample above 12 bits
  // always passes to the exact test.
  struct Screen16 {
    V thresholdMinus1;
    V oneMinusThreshold;
    uint64_t Candidates(const uint16_t *p, size_t stride) const {
      const V zero = _mm256_setzero_si256();
      const V v = Load(p);
      const V l = Load(p - 2);
      const V r = Load(p + 2);
      const V u = Load(p - 2 * stride);
      const V d = Load(p + 2 * stride);
      const V wide = _mm256_or_si256(_mm256_or_si256(_mm256_or_si256(v, l), _mm256_or_si256(r, u)), d);
      const V outOfRange = _mm256_cmpgt_epi16(_mm256_srli_epi16(wide, 12), zero);
      const V mean = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(l, r), _mm256_add_epi16(u, d)), 2);
      const V diff = _mm256_sub_epi16(v, mean);
      const V far =
          _mm256_or_si256(_mm256_cmpgt_epi16(diff, thresholdMinus1), _mm256_cmpgt_epi16(oneMinusThreshold, diff));
      // Packing against zero leaves lanes 0-7 in bytes 0-7 and lanes 8-15 in
      // bytes 16-23.
      const uint32_t bits =
          static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(_mm256_or_si256(far, outOfRange), zero)));
      return (bits & 0xFFu) | ((bits >> 8) & 0xFF00u);
    }
  };

  template <class T>
  static auto MakeScreen(int threshold) {
    if constexpr (sizeof(T) == 1) {
      return Screen8{_mm256_set1_epi16(static_cast<int16_t>(std::min(threshold, 256) - 1))};
    } else {
      const int t = std::min(threshold, 32767);
      return Screen16{_mm256_set1_epi16(static_cast<int16_t>(t - 1)), _mm256_set1_epi16(static_cast<int16_t>(1 - t))};
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
