// Hue and saturation rows of 8-bit samples with AVX2: 8 pixels a block in
// 32-bit lanes, the same integer steps as Conversion (reciprocals computed or
// gathered, sextant masks and steps permuted; the tables repeat every six
// entries).
// Only this unit is compiled for AVX2, and it is only entered when the
// processor has it.
#include <immintrin.h>

#include <cstdint>

#include "image/HueSaturationConvert.h"

#pragma GCC push_options
#pragma GCC target("avx2")

namespace quorel::hue_saturation {

namespace {

struct Constants {
  __m256i chromaFactor;
  __m256i rest;
  __m256i sextants;
  __m256i masks;  // kMask[0 .. 5]
  __m256i steps;  // kStep[0 .. 5]
  const int32_t *reciprocal;
  // Whether the reciprocals may be computed: single-precision division
  // rounded to nearest, then truncated, gives exactly the table's quotient
  // 0xFF0000 / d for every d of 1 .. 255 (the unit test pins all of them),
  // and costs less than gathering it. Under another rounding mode of the
  // calling thread the table is read instead.
  bool divide;

  explicit Constants(const Conversion &c)
      : chromaFactor(_mm256_set1_epi32((c.setting.saturation + 256) * 256)),
        rest(_mm256_set1_epi32(c.shift.rest)),
        sextants(_mm256_set1_epi32(c.shift.sextants)),
        masks(_mm256_setr_epi32(kMask[0], kMask[1], kMask[2], kMask[3], kMask[4], kMask[5], 0, 0)),
        steps(_mm256_setr_epi32(kStep[0], kStep[1], kStep[2], kStep[3], kStep[4], kStep[5], 0, 0)),
        reciprocal(c.fixed.reciprocal.data()),
        divide((_mm_getcsr() & _MM_ROUND_MASK) == _MM_ROUND_NEAREST) {}
};

[[gnu::always_inline]] inline __m256i Select(__m256i mask, __m256i ifFalse, __m256i ifTrue) {
  return _mm256_blendv_epi8(ifFalse, ifTrue, mask);
}

// Conversion::operator() on 8 pixels; b, g, r hold 0 .. 255 per lane.
[[gnu::always_inline]] inline __m256i Convert(const Constants &k, __m256i b, __m256i g, __m256i r) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i redOverGreen = _mm256_cmpgt_epi32(g, r);  // inverted: r >= g where this is 0
  const __m256i larger = _mm256_max_epi32(r, g);
  const __m256i smaller = _mm256_min_epi32(r, g);
  const __m256i blueMax = _mm256_cmpgt_epi32(b, larger);
  const __m256i max = _mm256_max_epi32(b, larger);
  const __m256i min = _mm256_min_epi32(b, smaller);
  __m256i sextant = Select(redOverGreen, one, _mm256_set1_epi32(3));
  sextant = Select(blueMax, sextant, _mm256_set1_epi32(5));
  __m256i n = Select(redOverGreen, _mm256_sub_epi32(g, b), _mm256_sub_epi32(b, r));
  n = Select(blueMax, n, _mm256_sub_epi32(r, g));
  const __m256i d = _mm256_sub_epi32(max, min);
  const __m256i below = _mm256_cmpgt_epi32(_mm256_setzero_si256(), n);
  sextant = _mm256_add_epi32(sextant, below);  // below is -1 where set
  n = _mm256_add_epi32(n, _mm256_and_si256(below, d));

  const __m256i l2 = _mm256_add_epi32(max, min);
  const __m256i limit = _mm256_min_epi32(l2, _mm256_sub_epi32(_mm256_set1_epi32(511), l2));
  const __m256i chroma =
      _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(k.chromaFactor, d), _mm256_set1_epi32(0x8000)), 16);
  const __m256i c = _mm256_min_epi32(limit, chroma);
  const __m256i low = _mm256_srai_epi32(_mm256_sub_epi32(l2, c), 1);
  __m256i reciprocal;
  if (k.divide) {
    // d = 0 gives +infinity, converted to 0x80000000; n is 0 there, and so
    // is the product, as with the table's 0.
    reciprocal = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_set1_ps(16711680.0f), _mm256_cvtepi32_ps(d)));
  } else {
    reciprocal = _mm256_i32gather_epi32(k.reciprocal, d, 4);
  }
  __m256i v = _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(n, reciprocal), _mm256_set1_epi32(0x8000)), 16);
  v = _mm256_add_epi32(v, k.rest);
  const __m256i wrap = _mm256_cmpgt_epi32(v, _mm256_set1_epi32(254));
  __m256i idx = _mm256_sub_epi32(_mm256_add_epi32(sextant, k.sextants), wrap);
  v = _mm256_sub_epi32(v, _mm256_and_si256(wrap, _mm256_set1_epi32(255)));
  // The tables repeat every six entries: index 6 .. 11 reads 0 .. 5.
  idx = _mm256_sub_epi32(idx, _mm256_and_si256(_mm256_cmpgt_epi32(idx, _mm256_set1_epi32(5)), _mm256_set1_epi32(6)));
  const __m256i w = _mm256_sub_epi32(_mm256_srai_epi32(_mm256_add_epi32(l2, c), 1), low);
  const __m256i gray3 = _mm256_set1_epi32(0x010101);
  const __m256i ramp = _mm256_srai_epi32(_mm256_add_epi32(_mm256_mullo_epi32(w, v), _mm256_set1_epi32(128)), 8);
  __m256i result = _mm256_mullo_epi32(low, gray3);
  result = _mm256_add_epi32(result,
                            _mm256_and_si256(_mm256_mullo_epi32(w, gray3), _mm256_permutevar8x32_epi32(k.masks, idx)));
  return _mm256_add_epi32(result, _mm256_mullo_epi32(ramp, _mm256_permutevar8x32_epi32(k.steps, idx)));
}

[[gnu::always_inline]] inline __m256i Byte(__m256i x, int shift) {
  return _mm256_and_si256(_mm256_srli_epi32(x, shift), _mm256_set1_epi32(0xFF));
}

size_t Row24(const Constants &k, const Row &row) {
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0);
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m256i compact = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                           0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  size_t x = 0;
  for (; x + 8 <= row.n; x += 8) {
    // 24 bytes by a 16- and an 8-byte access: masked moves are slow on
    // some processors.
    const uint8_t *s = row.s + 3 * x;
    const __m256i raw =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(s))),
                                _mm_loadl_epi64(reinterpret_cast<const __m128i *>(s + 16)), 1);
    const __m256i px = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(raw, halves), spread);
    const __m256i rgb = Convert(k, Byte(px, 0), Byte(px, 8), Byte(px, 16));
    const __m256i out = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(rgb, compact), join);
    uint8_t *d = row.d + 3 * x;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm256_castsi256_si128(out));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(d + 16), _mm256_extracti128_si256(out, 1));
  }
  return x;
}

size_t Row32(const Constants &k, const Row &row) {
  const __m256i fourth = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  size_t x = 0;
  for (; x + 8 <= row.n; x += 8) {
    const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(row.s + 4 * x));
    const __m256i rgb = Convert(k, Byte(px, 0), Byte(px, 8), Byte(px, 16));
    auto *d = reinterpret_cast<__m256i *>(row.d + 4 * x);
    const __m256i kept = _mm256_and_si256(_mm256_loadu_si256(d), fourth);
    _mm256_storeu_si256(d, _mm256_or_si256(kept, _mm256_andnot_si256(fourth, rgb)));
  }
  return x;
}

}  // namespace

size_t ConvertRowAvx2(const Conversion &convert, const Row &row) {
  if (row.dstBpp != row.srcBpp || row.n < 8) return 0;
  const auto d = reinterpret_cast<uintptr_t>(row.d);
  const auto s = reinterpret_cast<uintptr_t>(row.s);
  const size_t bytes = row.n * row.srcBpp;
  if (d != s && d < s + bytes && s < d + bytes) return 0;
  const Constants k(convert);
  if (row.srcBpp == 3) return Row24(k, row);
  if (row.srcBpp == 4) return Row32(k, row);
  return 0;
}

}  // namespace quorel::hue_saturation

#pragma GCC pop_options
