// The interior passes with SSE2, the x86-64 baseline: 16 pixels a block for
// 8-bit mosaics, 8 for 16-bit ones.
#include <emmintrin.h>

#include "image/DemosaicSimd.h"
#include "image/DemosaicSimdRow.h"

namespace quorel::bayer {

namespace {

struct Sse2 {
  using V = __m128i;
  static constexpr int kWidth = 16;

  static V Load(const void *p) { return _mm_loadu_si128(static_cast<const __m128i *>(p)); }
  static V Set16(int16_t v) { return _mm_set1_epi16(v); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V Slli16(V a, int n) { return _mm_slli_epi16(a, n); }
  static V Srli16(V a, int n) { return _mm_srli_epi16(a, n); }
  static V MulHiU16(V a, V b) { return _mm_mulhi_epu16(a, b); }
  static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
  static V UnpackLo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
  static V UnpackHi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
  static V UnpackLo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
  static V UnpackHi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
  static V UnpackLo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
  static V UnpackHi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
  static V Set32(int32_t v) { return _mm_set1_epi32(v); }
  static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
  static V Slli32(V a, int n) { return _mm_slli_epi32(a, n); }
  static V Srli32(V a, int n) { return _mm_srli_epi32(a, n); }
  // Low 32 bits of a * b per lane, b the same in every lane (SSE2 has only
  // the widening multiply of lanes 0 and 2).
  static V Mul32(V a, V b) {
    const V even = _mm_mul_epu32(a, b);
    const V odd = _mm_mul_epu32(_mm_srli_si128(a, 4), b);
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
  }
  // Both operands below 2^31 here, so the signed compare orders them.
  static V Min32(V a, V b) {
    const V aGreater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aGreater, b), _mm_andnot_si128(aGreater, a));
  }

  static void Put(uint8_t *p, V v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

  // Four pixels of 4 bytes (fourth byte 0) with the destination's fourth
  // bytes kept.
  static void Store4(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const DwordPixels<Sse2> px(blueE, blueO, greenE, greenO, redE, redO);
    const V p0 = px.p[0], p1 = px.p[1], p2 = px.p[2], p3 = px.p[3];
    const V keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    Put(out, _mm_or_si128(_mm_and_si128(Load(out), keep), p0));
    Put(out + 16, _mm_or_si128(_mm_and_si128(Load(out + 16), keep), p1));
    Put(out + 32, _mm_or_si128(_mm_and_si128(Load(out + 32), keep), p2));
    Put(out + 48, _mm_or_si128(_mm_and_si128(Load(out + 48), keep), p3));
  }

  // Four 4-byte pixels packed into the low 12 bytes (the rest zero): within
  // each 64-bit half the upper pixel moves down one byte, then the upper
  // half's 6 bytes move down next to the lower half's.
  static V Pack12(V p) {
    const V lowDword = _mm_set_epi32(0, -1, 0, -1);
    const V q = _mm_or_si128(_mm_and_si128(p, lowDword), _mm_srli_epi64(_mm_andnot_si128(lowDword, p), 8));
    const V low6 = _mm_set_epi32(0, 0, 0x0000FFFF, -1);
    const V mid6 = _mm_set_epi32(0, -1, static_cast<int>(0xFFFF0000u), 0);
    return _mm_or_si128(_mm_and_si128(q, low6), _mm_and_si128(_mm_srli_si128(q, 2), mid6));
  }

  static void Store3(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const DwordPixels<Sse2> px(blueE, blueO, greenE, greenO, redE, redO);
    const V c0 = Pack12(px.p[0]);
    const V c1 = Pack12(px.p[1]);
    const V c2 = Pack12(px.p[2]);
    const V c3 = Pack12(px.p[3]);
    Put(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    Put(out + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    Put(out + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
  }

  // Two pixels of 8 bytes (fourth word 0) per vector, the destination's
  // fourth words kept.
  static void Store8(uint8_t *out, V p0, V p1, V p2, V p3) {
    const V keep = _mm_set_epi32(static_cast<int>(0xFFFF0000u), 0, static_cast<int>(0xFFFF0000u), 0);
    Put(out, _mm_or_si128(_mm_and_si128(Load(out), keep), p0));
    Put(out + 16, _mm_or_si128(_mm_and_si128(Load(out + 16), keep), p1));
    Put(out + 32, _mm_or_si128(_mm_and_si128(Load(out + 32), keep), p2));
    Put(out + 48, _mm_or_si128(_mm_and_si128(Load(out + 48), keep), p3));
  }

  // Two 8-byte pixels packed into the low 12 bytes: the upper one moves down
  // next to the lower one's 6 bytes.
  static V Pack12Words(V p) {
    const V lowQword = _mm_set_epi32(0, 0, -1, -1);
    return _mm_or_si128(_mm_and_si128(p, lowQword), _mm_srli_si128(_mm_andnot_si128(lowQword, p), 2));
  }

  static void Store6(uint8_t *out, V p0, V p1, V p2, V p3) {
    const V c0 = Pack12Words(p0);
    const V c1 = Pack12Words(p1);
    const V c2 = Pack12Words(p2);
    const V c3 = Pack12Words(p3);
    Put(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    Put(out + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    Put(out + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
  }
};

}  // namespace

void Interior8Sse2(const DemosaicJob &job) {
  InteriorRows<Row8<Sse2>>(job);
}

void Interior16Sse2(const DemosaicJob &job) {
  InteriorRows<Row16<Sse2>>(job);
}

}  // namespace quorel::bayer
