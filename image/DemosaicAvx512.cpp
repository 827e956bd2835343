// The interior pass of 8-bit mosaics with AVX-512: 64 pixels a block. The
// arithmetic is the shared row code's; the three colour planes, which come
// out in pixel order (the low and high byte of each 16-bit lane are a pair
// of neighbouring pixels), are interleaved into the destination's 3- or
// 4-byte pixels with byte permutes. Only this unit is compiled for AVX-512
// (the target pragma below starts after every shared header), and it is
// only entered after the CPU was found to support it.
#include <immintrin.h>

#include "image/BayerCell.h"
#include "image/DemosaicSimd.h"

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi")
// g++ 12 reports the deliberately undefined pass-through operand inside its
// own AVX-512 intrinsics as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include "image/DemosaicSimdRow.h"

namespace quorel::bayer {

namespace {

// Byte permutes from three planes of 64 pixels (blue, green, red, one byte
// per pixel in pixel order) to 3- or 4-byte pixels. For output register m
// and byte j: blueGreen picks the blue (index p) or green (64 + p) byte of
// the pixel p there, red the red byte p where the mask says so.
struct Interleave {
  alignas(64) uint8_t blueGreen3[3][64];
  alignas(64) uint8_t red3[3][64];
  __mmask64 redMask3[3];
  alignas(64) uint8_t blueGreen4[4][64];
  alignas(64) uint8_t red4[4][64];
  constexpr Interleave() : blueGreen3{}, red3{}, redMask3{}, blueGreen4{}, red4{} {
    for (int m = 0; m < 3; ++m) {
      for (int j = 0; j < 64; ++j) {
        const int k = 64 * m + j;
        const int pixel = k / 3;
        const int channel = k % 3;
        blueGreen3[m][j] = static_cast<uint8_t>(channel == 1 ? 64 + pixel : pixel);
        red3[m][j] = static_cast<uint8_t>(pixel);
        if (channel == 2) redMask3[m] |= __mmask64{1} << j;
      }
    }
    for (int m = 0; m < 4; ++m) {
      for (int j = 0; j < 64; ++j) {
        const int pixel = 16 * m + j / 4;
        blueGreen4[m][j] = static_cast<uint8_t>(j % 4 == 1 ? 64 + pixel : pixel);
        red4[m][j] = static_cast<uint8_t>(pixel);
      }
    }
  }
};
constexpr Interleave kInterleave{};
// Red bytes, and the fourth bytes that keep what the destination holds.
constexpr __mmask64 kRed4 = 0x4444444444444444ull;
constexpr __mmask64 kFourth = 0x8888888888888888ull;

struct Avx512 {
  using V = __m512i;
  static constexpr int kWidth = 64;

  static V Load(const void *p) { return _mm512_loadu_si512(p); }
  static V Set16(int16_t v) { return _mm512_set1_epi16(v); }
  static V And(V a, V b) { return _mm512_and_si512(a, b); }
  static V Or(V a, V b) { return _mm512_or_si512(a, b); }
  static V Add16(V a, V b) { return _mm512_add_epi16(a, b); }
  static V Slli16(V a, int n) { return _mm512_slli_epi16(a, static_cast<unsigned>(n)); }
  static V Srli16(V a, int n) { return _mm512_srli_epi16(a, static_cast<unsigned>(n)); }
  static V MulHiU16(V a, V b) { return _mm512_mulhi_epu16(a, b); }
  static V Min16(V a, V b) { return _mm512_min_epi16(a, b); }

  // The planes of the block's even and odd pixels (16-bit lanes, values
  // <= 255) as one byte per pixel in pixel order.
  static V Bytes(V even, V odd) { return _mm512_or_si512(even, _mm512_slli_epi16(odd, 8)); }
  static V Table(const uint8_t *t) { return _mm512_load_si512(t); }

  static void Store3(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const V b = Bytes(blueE, blueO);
    const V g = Bytes(greenE, greenO);
    const V r = Bytes(redE, redO);
    for (int m = 0; m < 3; ++m) {
      const V bg = _mm512_permutex2var_epi8(b, Table(kInterleave.blueGreen3[m]), g);
      _mm512_storeu_si512(out + 64 * m,
                          _mm512_mask_permutexvar_epi8(bg, kInterleave.redMask3[m], Table(kInterleave.red3[m]), r));
    }
  }

  static void Store4(uint8_t *out, V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const V b = Bytes(blueE, blueO);
    const V g = Bytes(greenE, greenO);
    const V r = Bytes(redE, redO);
    for (int m = 0; m < 4; ++m) {
      uint8_t *at = out + 64 * m;
      const V bg = _mm512_permutex2var_epi8(b, Table(kInterleave.blueGreen4[m]), g);
      const V bgr = _mm512_mask_permutexvar_epi8(bg, kRed4, Table(kInterleave.red4[m]), r);
      _mm512_storeu_si512(at, _mm512_mask_blend_epi8(kFourth, bgr, Load(at)));
    }
  }
};

}  // namespace

void Interior8Avx512(const DemosaicJob &job) {
  InteriorRows<Row8<Avx512>>(job);
}

}  // namespace quorel::bayer

#pragma GCC diagnostic pop
#pragma GCC pop_options
