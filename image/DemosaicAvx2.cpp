// The interior passes with AVX2: 32 pixels a block for 8-bit mosaics, 16
// for 16-bit ones. Only this unit is
// compiled for AVX2 (the target pragma below starts after every shared
// header), and it is only entered after the CPU was found to support it.
#include <immintrin.h>

#include "image/BayerCell.h"
#include "image/DemosaicSimd.h"

#pragma GCC push_options
#pragma GCC target("avx2")

#include "image/DemosaicSimdRow.h"

namespace quorel::bayer {

namespace {

// Byte k of each 48-byte group of 16 pixels is channel k % 3 of pixel
// k / 3. kInterleave[part][channel] picks, for output bytes 16 * part ..
// 16 * part + 15 of both halves, the bytes of that channel (-1 elsewhere).
struct InterleaveMasks {
  int8_t bytes[3][3][32];
  constexpr InterleaveMasks() : bytes{} {
    for (int part = 0; part < 3; ++part) {
      for (int channel = 0; channel < 3; ++channel) {
        for (int i = 0; i < 32; ++i) {
          const int k = 16 * part + i % 16;
          bytes[part][channel][i] = static_cast<int8_t>(k % 3 == channel ? k / 3 : -1);
        }
      }
    }
  }
};
constexpr InterleaveMasks kInterleave{};

struct Avx2 {
  using V = __m256i;
  static constexpr int kWidth = 32;

  static V Load(const void *p) { return _mm256_loadu_si256(static_cast<const __m256i *>(p)); }
  static V Set16(int16_t v) { return _mm256_set1_epi16(v); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V Slli16(V a, int n) { return _mm256_slli_epi16(a, n); }
  static V Srli16(V a, int n) { return _mm256_srli_epi16(a, n); }
  static V MulHiU16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
  static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
  // The unpacks work within each 128-bit half, so p0..p3 below hold
  // pixels [0-3 | 16-19], [4-7 | 20-23], [8-11 | 24-27], [12-15 | 28-31].
  static V UnpackLo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
  static V UnpackHi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
  static V UnpackLo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
  static V UnpackHi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
  static V UnpackLo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
  static V UnpackHi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
  static V Set32(int32_t v) { return _mm256_set1_epi32(v); }
  static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
  static V Slli32(V a, int n) { return _mm256_slli_epi32(a, n); }
  static V Srli32(V a, int n) { return _mm256_srli_epi32(a, n); }
  static V Mul32(V a, V b) { return _mm256_mullo_epi32(a, b); }
  static V Min32(V a, V b) { return _mm256_min_epu32(a, b); }

  static void Put(uint8_t *p, V v) { _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), v); }
  static void Put(uint8_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

  static void Store4(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const DwordPixels<Avx2> px(blueE, blueO, greenE, greenO, redE, redO);
    const V p0 = px.p[0], p1 = px.p[1], p2 = px.p[2], p3 = px.p[3];
    const V keep = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const auto put = [&keep](uint8_t *at, V pixels) {
      Put(at, _mm256_or_si256(_mm256_and_si256(Load(at), keep), pixels));
    };
    put(out, _mm256_permute2x128_si256(p0, p1, 0x20));
    put(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
    put(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
    put(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
  }

  // Four groups of 12 bytes (low bytes of c0..c3) as 48 contiguous bytes.
  static void Put48(uint8_t *out, __m128i c0, __m128i c1, __m128i c2, __m128i c3) {
    Put(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    Put(out + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    Put(out + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
  }

  static V Mask(int part, int channel) { return Load(kInterleave.bytes[part][channel]); }

  // Three planes of 32 bytes (pixels 0-15 | 16-31) to 96 interleaved bytes.
  static void Store3(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const V b = _mm256_or_si256(blueE, _mm256_slli_epi16(blueO, 8));
    const V g = _mm256_or_si256(greenE, _mm256_slli_epi16(greenO, 8));
    const V r = _mm256_or_si256(redE, _mm256_slli_epi16(redO, 8));
    V part[3];
    for (int i = 0; i < 3; ++i) {
      part[i] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b, Mask(i, 0)), _mm256_shuffle_epi8(g, Mask(i, 1))),
                                _mm256_shuffle_epi8(r, Mask(i, 2)));
    }
    // part[i] holds bytes 16i.. of pixels 0-15 in its low half and of
    // pixels 16-31 in its high half.
    Put(out, _mm256_permute2x128_si256(part[0], part[1], 0x20));
    Put(out + 32, _mm256_permute2x128_si256(part[2], part[0], 0x30));
    Put(out + 64, _mm256_permute2x128_si256(part[1], part[2], 0x31));
  }

  // 16-bit samples: p0..p3 hold pixels [0-1 | 8-9], [2-3 | 10-11],
  // [4-5 | 12-13], [6-7 | 14-15], two 8-byte pixels per half.
  static void Store8(uint8_t *out, V p0, V p1, V p2, V p3) {
    const V keep = _mm256_set1_epi64x(static_cast<long long>(0xFFFF000000000000ull));
    const auto put = [&keep](uint8_t *at, V pixels) {
      Put(at, _mm256_or_si256(_mm256_and_si256(Load(at), keep), pixels));
    };
    put(out, _mm256_permute2x128_si256(p0, p1, 0x20));
    put(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
    put(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
    put(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
  }

  static void Store6(uint8_t *out, V p0, V p1, V p2, V p3) {
    // Drop the fourth word of each pixel: 12 bytes per half, then zeros.
    const V drop = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1,  //
                                    0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1);
    const V c0 = _mm256_shuffle_epi8(p0, drop);
    const V c1 = _mm256_shuffle_epi8(p1, drop);
    const V c2 = _mm256_shuffle_epi8(p2, drop);
    const V c3 = _mm256_shuffle_epi8(p3, drop);
    Put48(out, _mm256_castsi256_si128(c0), _mm256_castsi256_si128(c1), _mm256_castsi256_si128(c2),
          _mm256_castsi256_si128(c3));
    Put48(out + 48, _mm256_extracti128_si256(c0, 1), _mm256_extracti128_si256(c1, 1), _mm256_extracti128_si256(c2, 1),
          _mm256_extracti128_si256(c3, 1));
  }
};

}  // namespace

void Interior8Avx2(const DemosaicJob &job) {
  InteriorRows<Row8<Avx2>>(job);
}

void Interior16Avx2(const DemosaicJob &job) {
  InteriorRows<Row16<Avx2>>(job);
}

}  // namespace quorel::bayer

#pragma GCC pop_options
