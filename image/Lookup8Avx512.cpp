// Byte table lookups with AVX-512 VBMI. Only this unit is compiled for
// AVX-512, and it is only entered when the processor has it.
#include <immintrin.h>

#include "image/Lookup8.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi")
// g++ 12 reports the deliberately undefined pass-through operand inside its
// own AVX-512 intrinsics as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace quorel::lookup8 {

namespace {

// A 256-byte table in four registers.
struct Table {
  __m512i q[4];
  explicit Table(const uint8_t *t) {
    for (int i = 0; i < 4; ++i) q[i] = _mm512_loadu_si512(t + 64 * i);
  }
  __m512i Look(__m512i v) const {
    // The permutes read the low seven bits; the top bit picks the half.
    const __m512i low = _mm512_permutex2var_epi8(q[0], v, q[1]);
    const __m512i high = _mm512_permutex2var_epi8(q[2], v, q[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
  }
};

}  // namespace

size_t RunAvx512(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *table) {
  const Table t(table);
  size_t i = 0;
  for (; i + 128 <= n; i += 128) {
    const __m512i a = _mm512_loadu_si512(s + i);
    const __m512i b = _mm512_loadu_si512(s + i + 64);
    _mm512_storeu_si512(d + i, t.Look(a));
    _mm512_storeu_si512(d + i + 64, t.Look(b));
  }
  if (i < n) {
    // The last bytes under a mask: nothing beyond the run is read or written.
    for (; i < n; i += 64) {
      const size_t left = n - i;
      const __mmask64 m = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
      _mm512_mask_storeu_epi8(d + i, m, t.Look(_mm512_maskz_loadu_epi8(m, s + i)));
    }
  }
  return n;
}

size_t FirstThreeOfFourAvx512(uint8_t *d, const uint8_t *s, size_t pixels, const uint8_t *table) {
  const Table t(table);
  constexpr __mmask64 kFirstThree = 0x7777777777777777ull;
  size_t x = 0;
  for (; x + 16 <= pixels; x += 16)
    _mm512_mask_storeu_epi8(d + 4 * x, kFirstThree, t.Look(_mm512_loadu_si512(s + 4 * x)));
  return x;
}

size_t AlternatingAvx512(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *even, const uint8_t *odd) {
  const Table te(even), to(odd);
  constexpr __mmask64 kOdd = 0xAAAAAAAAAAAAAAAAull;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i v = _mm512_loadu_si512(s + i);
    _mm512_storeu_si512(d + i, _mm512_mask_blend_epi8(kOdd, te.Look(v), to.Look(v)));
  }
  return i;
}

}  // namespace quorel::lookup8

#pragma GCC diagnostic pop
#pragma GCC pop_options
