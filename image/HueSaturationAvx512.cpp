// Hue and saturation rows with AVX-512: 16 pixels a block in 32-bit lanes,
// the same integer steps as Conversion, the reciprocals of the fixed table
// computed by a division (cheaper than gathering them), the sextant masks
// and steps permuted from registers. Pixels are spread into lanes and packed
// back with byte and word permutes, so the fourth byte or word of 32- and
// 64-bit pixels is never written. Six-word pixels move as a whole and a
// half register rather than under a word mask, which some processors make
// several times slower. Only this unit is compiled for AVX-512 (the target
// pragma below follows every shared header), and it is only entered when
// the processor has it.
#include <immintrin.h>

#include <cstdint>

#include "image/HueSaturationConvert.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi")
// g++ 12 reports the deliberately undefined pass-through operand inside its
// own AVX-512 intrinsics as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace quorel::hue_saturation {

namespace {

struct Constants {
  __m512i chromaFactor;  // saturation + 256
  __m512i rest;
  __m512i sextants;
  __m512i masks;       // kMask[0 .. 11], then zeros
  __m512i steps;       // kStep[0 .. 11], then zeros
  __m512i stepShifts;  // log2 |kStep[i]|

  explicit Constants(const Conversion &c)
      : chromaFactor(_mm512_set1_epi32(c.setting.saturation + 256)),
        rest(_mm512_set1_epi32(c.shift.rest)),
        sextants(_mm512_set1_epi32(c.shift.sextants)),
        masks(_mm512_setr_epi32(kMask[0], kMask[1], kMask[2], kMask[3], kMask[4], kMask[5], kMask[6], kMask[7],
                                kMask[8], kMask[9], kMask[10], kMask[11], 0, 0, 0, 0)),
        steps(_mm512_setr_epi32(kStep[0], kStep[1], kStep[2], kStep[3], kStep[4], kStep[5], kStep[6], kStep[7],
                                kStep[8], kStep[9], kStep[10], kStep[11], 0, 0, 0, 0)),
        stepShifts(_mm512_setr_epi32(0, 8, 16, 0, 8, 16, 0, 8, 16, 0, 8, 16, 0, 0, 0, 0)) {}
};

// k * 0x010101 for k of 0 .. 255.
[[gnu::always_inline]] inline __m512i Gray3(__m512i k) {
  return _mm512_or_si512(_mm512_or_si512(k, _mm512_slli_epi32(k, 8)), _mm512_slli_epi32(k, 16));
}

// Conversion::operator() on 16 pixels; b, g, r hold 0 .. 255 per lane.
[[gnu::always_inline]] inline __m512i Convert(const Constants &k, __m512i b, __m512i g, __m512i r) {
  const __m512i one = _mm512_set1_epi32(1);
  const __mmask16 redOverGreen = _mm512_cmpge_epi32_mask(r, g);
  const __m512i larger = _mm512_max_epi32(r, g);
  const __m512i smaller = _mm512_min_epi32(r, g);
  const __mmask16 blueMax = _mm512_cmpgt_epi32_mask(b, larger);
  const __m512i max = _mm512_max_epi32(b, larger);
  const __m512i min = _mm512_min_epi32(b, smaller);
  __m512i sextant = _mm512_mask_blend_epi32(redOverGreen, _mm512_set1_epi32(3), one);
  sextant = _mm512_mask_blend_epi32(blueMax, sextant, _mm512_set1_epi32(5));
  __m512i n = _mm512_mask_blend_epi32(redOverGreen, _mm512_sub_epi32(b, r), _mm512_sub_epi32(g, b));
  n = _mm512_mask_blend_epi32(blueMax, n, _mm512_sub_epi32(r, g));
  const __m512i d = _mm512_sub_epi32(max, min);
  const __mmask16 below = _mm512_cmplt_epi32_mask(n, _mm512_setzero_si512());
  sextant = _mm512_mask_sub_epi32(sextant, below, sextant, one);
  n = _mm512_mask_add_epi32(n, below, n, d);

  // Lightness 0: the lightness table is the identity, the limit min(l2, 511 - l2).
  const __m512i l2 = _mm512_add_epi32(max, min);
  const __m512i limit = _mm512_min_epi32(l2, _mm512_sub_epi32(_mm512_set1_epi32(511), l2));
  // (saturation + 256) * d fits 32 bits from 16-bit halves (the high halves are 0).
  const __m512i chroma = _mm512_srai_epi32(
      _mm512_add_epi32(_mm512_slli_epi32(_mm512_madd_epi16(k.chromaFactor, d), 8), _mm512_set1_epi32(0x8000)), 16);
  const __m512i c = _mm512_min_epi32(limit, chroma);
  const __m512i low = _mm512_srai_epi32(_mm512_sub_epi32(l2, c), 1);
  // The reciprocal 0xFF0000 / d (0 for d = 0) by a single-precision
  // division, rounded to nearest whatever the caller's rounding mode, then
  // truncated: for every d of 1 .. 255 that is exactly the table's integer
  // quotient (the unit test pins all of them), and it spares the gather.
  const __m512 quotient = _mm512_div_round_ps(_mm512_set1_ps(16711680.0f), _mm512_cvtepi32_ps(d),
                                              _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  const __m512i reciprocal = _mm512_maskz_cvtt_roundps_epi32(_mm512_test_epi32_mask(d, d), quotient, _MM_FROUND_NO_EXC);
  __m512i v = _mm512_srai_epi32(_mm512_add_epi32(_mm512_mullo_epi32(n, reciprocal), _mm512_set1_epi32(0x8000)), 16);
  v = _mm512_add_epi32(v, k.rest);
  const __mmask16 wrap = _mm512_cmpgt_epi32_mask(v, _mm512_set1_epi32(254));
  const __m512i idx =
      _mm512_mask_add_epi32(_mm512_add_epi32(sextant, k.sextants), wrap, _mm512_add_epi32(sextant, k.sextants), one);
  v = _mm512_mask_sub_epi32(v, wrap, v, _mm512_set1_epi32(255));
  const __m512i w = _mm512_sub_epi32(_mm512_srai_epi32(_mm512_add_epi32(l2, c), 1), low);
  // w and v are at most 255: w * v fits the low 16 bits of each lane.
  const __m512i ramp = _mm512_srai_epi32(_mm512_add_epi32(_mm512_mullo_epi16(w, v), _mm512_set1_epi32(128)), 8);
  // The step is +-1, +-256 or +-65536: a shift and a sign.
  __m512i stepped = _mm512_sllv_epi32(ramp, _mm512_permutexvar_epi32(idx, k.stepShifts));
  const __mmask16 negative = _mm512_cmplt_epi32_mask(_mm512_permutexvar_epi32(idx, k.steps), _mm512_setzero_si512());
  stepped = _mm512_mask_sub_epi32(stepped, negative, _mm512_setzero_si512(), stepped);
  const __m512i result =
      _mm512_add_epi32(Gray3(low), _mm512_and_si512(Gray3(w), _mm512_permutexvar_epi32(idx, k.masks)));
  return _mm512_add_epi32(result, stepped);
}

[[gnu::always_inline]] inline __m512i Byte(__m512i x, int shift) {
  return _mm512_and_si512(_mm512_srli_epi32(x, static_cast<unsigned>(shift)), _mm512_set1_epi32(0xFF));
}

// Byte permutes between 3-byte pixels and 32-bit lanes: 64 pixels (three
// registers in, three out) at a time, so that no load or store needs a mask,
// and 16 pixels under a mask for the rest of the row.
struct BytePermutes {
  __m512i spread[4];  // group g, lane i, byte c: byte 48g + 3i + c of the row's three registers
  __m512i pack[3];    // output register k, byte o: lane byte of the group pair k, k + 1
  __m512i spreadOne;  // 16 pixels from one register
  __m512i packOne;
  BytePermutes() {
    alignas(64) uint8_t t[64];
    static constexpr int kBase[4] = {0, 0, 64, 128};  // first byte of each group's register pair
    for (int g = 0; g < 4; ++g) {
      for (int j = 0; j < 64; ++j)
        t[j] = static_cast<uint8_t>((j & 3) == 3 ? 0 : 48 * g + (j / 4) * 3 + (j & 3) - kBase[g]);
      spread[g] = _mm512_load_si512(t);
    }
    for (int k = 0; k < 3; ++k) {
      for (int j = 0; j < 64; ++j) {
        const int o = 64 * k + j;
        const int pixel = o / 3;
        t[j] = static_cast<uint8_t>((pixel / 16 - k) * 64 + (pixel % 16) * 4 + o % 3);
      }
      pack[k] = _mm512_load_si512(t);
    }
    for (int j = 0; j < 64; ++j) t[j] = static_cast<uint8_t>((j & 3) == 3 ? 0 : (j / 4) * 3 + (j & 3));
    spreadOne = _mm512_load_si512(t);
    for (int j = 0; j < 64; ++j) t[j] = static_cast<uint8_t>(j < 48 ? (j / 3) * 4 + j % 3 : 0);
    packOne = _mm512_load_si512(t);
  }
};

[[gnu::always_inline]] inline __m512i Convert24(const Constants &k, __m512i px) {
  px = _mm512_and_si512(px, _mm512_set1_epi32(0xFFFFFF));
  return Convert(k, Byte(px, 0), Byte(px, 8), Byte(px, 16));
}

size_t Row24(const Constants &k, const Row &row) {
  static const BytePermutes perm;
  size_t x = 0;
  for (; x + 64 <= row.n; x += 64) {
    const uint8_t *s = row.s + 3 * x;
    const __m512i a = _mm512_loadu_si512(s);
    const __m512i b = _mm512_loadu_si512(s + 64);
    const __m512i c = _mm512_loadu_si512(s + 128);
    const __m512i r0 = Convert24(k, _mm512_permutex2var_epi8(a, perm.spread[0], b));
    const __m512i r1 = Convert24(k, _mm512_permutex2var_epi8(a, perm.spread[1], b));
    const __m512i r2 = Convert24(k, _mm512_permutex2var_epi8(b, perm.spread[2], c));
    const __m512i r3 = Convert24(k, _mm512_permutex2var_epi8(c, perm.spread[3], c));
    uint8_t *d = row.d + 3 * x;
    _mm512_storeu_si512(d, _mm512_permutex2var_epi8(r0, perm.pack[0], r1));
    _mm512_storeu_si512(d + 64, _mm512_permutex2var_epi8(r1, perm.pack[1], r2));
    _mm512_storeu_si512(d + 128, _mm512_permutex2var_epi8(r2, perm.pack[2], r3));
  }
  constexpr __mmask64 k48 = 0x0000FFFFFFFFFFFFull;
  for (; x + 16 <= row.n; x += 16) {
    const __m512i raw = _mm512_maskz_loadu_epi8(k48, row.s + 3 * x);
    const __m512i rgb = Convert24(k, _mm512_permutexvar_epi8(perm.spreadOne, raw));
    _mm512_mask_storeu_epi8(row.d + 3 * x, k48, _mm512_permutexvar_epi8(perm.packOne, rgb));
  }
  return x;
}

size_t Row32(const Constants &k, const Row &row) {
  constexpr __mmask64 kFirstThree = 0x7777777777777777ull;
  size_t x = 0;
  for (; x + 16 <= row.n; x += 16) {
    const __m512i px = _mm512_loadu_si512(row.s + 4 * x);
    const __m512i rgb = Convert(k, Byte(px, 0), Byte(px, 8), Byte(px, 16));
    _mm512_mask_storeu_epi8(row.d + 4 * x, kFirstThree, rgb);
  }
  return x;
}

// Word permutes between pixels of Words 16-bit samples and 32-bit lanes.
template <int Words>
struct WordPermutes {
  __m512i channel[3];  // words of channel c of pixels 0 .. 15 into words 0 .. 15
  __m512i pack[2];     // output words from (blue | green << 16) lanes and red lanes
  WordPermutes() {
    alignas(64) uint16_t t[64];
    for (int c = 0; c < 3; ++c) {
      for (int j = 0; j < 32; ++j) t[j] = static_cast<uint16_t>(j < 16 ? Words * j + c : 0);
      channel[c] = _mm512_load_si512(t);
    }
    for (int part = 0; part < 2; ++part) {
      for (int j = 0; j < 32; ++j) {
        const int word = 32 * part + j;
        const int i = word / Words;
        const int c = word % Words;
        t[j] = static_cast<uint16_t>(c == 0 ? 2 * i : c == 1 ? 2 * i + 1 : c == 2 ? 32 + 2 * i : 0);
      }
      pack[part] = _mm512_load_si512(t);
    }
  }
};

template <int Words>
size_t Row16(const Constants &k, const Row &row) {
  static const WordPermutes<Words> perm;
  const __m512i shift = _mm512_set1_epi32(row.shift);
  const __m512i full = _mm512_set1_epi32(255);
  constexpr size_t kPixelBytes = 2 * Words;
  size_t x = 0;
  for (; x + 16 <= row.n; x += 16) {
    const uint8_t *s = row.s + kPixelBytes * x;
    const __m512i a = _mm512_loadu_si512(s);
    // Six-word pixels: 96 bytes a block, the last 32 by a plain half-width
    // load (the upper half of the register is never picked).
    const __m512i b = Words == 3 ? _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(s + 64)))
                                 : _mm512_loadu_si512(s + 64);
    __m512i in[3];
    for (int c = 0; c < 3; ++c) {
      const __m512i words = _mm512_permutex2var_epi16(a, perm.channel[c], b);
      const __m512i lanes = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(words));
      in[c] = _mm512_min_epu32(_mm512_srlv_epi32(lanes, shift), full);
    }
    const __m512i rgb = Convert(k, in[0], in[1], in[2]);
    const __m512i blue = _mm512_sllv_epi32(Byte(rgb, 0), shift);
    const __m512i green = _mm512_sllv_epi32(Byte(rgb, 8), shift);
    const __m512i red = _mm512_sllv_epi32(Byte(rgb, 16), shift);
    const __m512i blueGreen = _mm512_or_si512(blue, _mm512_slli_epi32(green, 16));
    uint8_t *d = row.d + kPixelBytes * x;
    const __m512i out0 = _mm512_permutex2var_epi16(blueGreen, perm.pack[0], red);
    const __m512i out1 = _mm512_permutex2var_epi16(blueGreen, perm.pack[1], red);
    if constexpr (Words == 3) {
      _mm512_storeu_si512(d, out0);
      _mm256_storeu_si256(reinterpret_cast<__m256i *>(d + 64), _mm512_castsi512_si256(out1));
    } else {
      _mm512_mask_storeu_epi16(d, 0x77777777u, out0);
      _mm512_mask_storeu_epi16(d + 64, 0x77777777u, out1);
    }
  }
  return x;
}

}  // namespace

size_t ConvertRowAvx512(const Conversion &convert, const Row &row) {
  if (row.dstBpp != row.srcBpp || row.n < 16) return 0;
  const auto d = reinterpret_cast<uintptr_t>(row.d);
  const auto s = reinterpret_cast<uintptr_t>(row.s);
  const size_t bytes = row.n * row.srcBpp;
  if (d != s && d < s + bytes && s < d + bytes) return 0;
  const Constants k(convert);
  switch (row.srcBpp) {
    case 3:
      return Row24(k, row);
    case 4:
      return Row32(k, row);
    case 6:
      return Row16<3>(k, row);
    case 8:
      return Row16<4>(k, row);
    default:
      return 0;
  }
}

}  // namespace quorel::hue_saturation

#pragma GCC diagnostic pop
#pragma GCC pop_options
