// Internal to the SIMD demosaic units: the interior rows of 8-bit and 16-bit
// mosaics, written once over a small instruction-set description (Isa) that each unit
// supplies. Everything here has internal linkage, so each unit compiles its
// own copy for its own target.
//
// Block layout. A block covers kWidth pixels x0 .. x0 + kWidth - 1 of one
// row. Loading kWidth bytes at x0 and splitting each 16-bit lane into its low
// byte ("even" plane, column x0 + 2j) and its high byte ("odd" plane, column
// x0 + 2j + 1) gives the two column classes in separate 16-bit lanes, so no
// lane ever needs its neighbour: the planes one site to the left and to the
// right come from the loads at x0 - 2 and x0 + 2.
//
// Separable weights. 9/3/3/1 is (3, 1) down the column times (3, 1) along
// the row: V = 3 * near + far on the colour's two rows, then 3 * V(cell
// column) + V(far column). For a colour whose sites lie in the even plane
// the even output pixel owns the cell column (far column to the left) and
// the odd output pixel has it on its left (far column to the right); for the
// odd plane it is the other way round.
//
//   rows y-2 .. y+1, one colour's sites (.) and a block's two pixels E O:
//        x0-2 x0-1  x0  x0+1 x0+2
//   V:    Vm         Vc        Vp      even plane: E = 3Vc + Vm, O = 3Vc + Vp
//   V:         Vm        Vc            odd plane:  E = 3Vm + Vc, O = 3Vc + Vm
//
// 8-bit samples: 16-bit lanes. (S * K) >> 11 with S <= 4080 and K <= 512
// is mulhi(S, K << 5) = (S * K * 32) >> 16, exact in unsigned 16 bits; min
// with 255 gives the clamp at 0x80000.
//
// 16-bit samples: 32-bit lanes (the low and high word of each dword are the
// even and odd planes), so any 16-bit sample value, not only 12-bit ones,
// gives the scalar result: S <= 16 * 65535 and K <= 512 stay below 2^30.
// (S * K) >> 11 limited to 4095 equals the clamp at 0x800000.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/BayerCell.h"

namespace quorel::bayer {
namespace {

// The block's even- and odd-column channels (16-bit lanes, values <= 255)
// as dwords blue | green << 8 | red << 16, four vectors in column order
// within each 128-bit half.
template <class Isa>
struct DwordPixels {
  using V = typename Isa::V;
  V p[4];
  DwordPixels(V blueE, V blueO, V greenE, V greenO, V redE, V redO) {
    const V bgE = Isa::Or(blueE, Isa::Slli16(greenE, 8));
    const V bgO = Isa::Or(blueO, Isa::Slli16(greenO, 8));
    const V loE = Isa::UnpackLo16(bgE, redE);
    const V hiE = Isa::UnpackHi16(bgE, redE);
    const V loO = Isa::UnpackLo16(bgO, redO);
    const V hiO = Isa::UnpackHi16(bgO, redO);
    p[0] = Isa::UnpackLo32(loE, loO);
    p[1] = Isa::UnpackHi32(loE, loO);
    p[2] = Isa::UnpackLo32(hiE, hiO);
    p[3] = Isa::UnpackHi32(hiE, hiO);
  }
};

template <class Isa>
struct Row8 {
  using Sample = uint8_t;
  using V = typename Isa::V;
  static constexpr int kWidth = Isa::kWidth;

  static V Plane(const uint8_t *p, bool odd) {
    const V v = Isa::Load(p);
    return odd ? Isa::Srli16(v, 8) : Isa::And(v, Isa::Set16(0x00FF));
  }
  static V Times3Plus(V nearV, V farV) { return Isa::Add16(Isa::Add16(nearV, Isa::Slli16(nearV, 1)), farV); }
  static V Half(V a, V b) { return Isa::Srli16(Isa::Add16(a, b), 1); }
  static V Scale(V sum, V k32) { return Isa::Min16(Isa::MulHiU16(sum, k32), Isa::Set16(255)); }

  // Red or blue of the block's even and odd pixels: sites in plane `odd` of
  // rows nearRow (in the cell) and farRow (two rows beyond), at byte x0.
  template <bool kOdd>
  static void Colour(const uint8_t *nearRow, const uint8_t *farRow, size_t x0, V k, V &even, V &oddOut) {
    const V vc = Times3Plus(Plane(nearRow + x0, kOdd), Plane(farRow + x0, kOdd));
    const V vm = Times3Plus(Plane(nearRow + x0 - 2, kOdd), Plane(farRow + x0 - 2, kOdd));
    if constexpr (kOdd) {
      even = Scale(Times3Plus(vm, vc), k);
      oddOut = Scale(Times3Plus(vc, vm), k);
    } else {
      const V vp = Times3Plus(Plane(nearRow + x0 + 2, kOdd), Plane(farRow + x0 + 2, kOdd));
      even = Scale(Times3Plus(vc, vm), k);
      oddOut = Scale(Times3Plus(vc, vp), k);
    }
  }

  // kRedOdd: red sites in the odd plane (relative to x0). kRowA: the row
  // class of y (1: red sites in row y, 0: in row y - 1). kFourth: 4-byte
  // destination pixels. Returns the first column not done.
  template <bool kRedOdd, bool kRowA, bool kFourth>
  static int Run(const DemosaicJob &job, int y, int x0, int xEnd) {
    const uint8_t *rowM2 = job.SrcRow<uint8_t>(y - 2);
    const uint8_t *rowM1 = job.SrcRow<uint8_t>(y - 1);
    const uint8_t *row0 = job.SrcRow<uint8_t>(y);
    const uint8_t *rowP1 = job.SrcRow<uint8_t>(y + 1);
    // Red near/far rows: y and y - 2 when red sites are in row y, else y - 1
    // and y + 1; blue takes the other pair.
    const uint8_t *redNear = kRowA ? row0 : rowM1;
    const uint8_t *redFar = kRowA ? rowM2 : rowP1;
    const uint8_t *blueNear = kRowA ? rowM1 : row0;
    const uint8_t *blueFar = kRowA ? rowP1 : rowM2;
    // Row y's greens have column class b = a, red sites b = 0: the green
    // plane of row y is the red plane when a = 0, the other one when a = 1.
    constexpr bool kGreenOdd = kRedOdd != kRowA;
    const V kr32 = Isa::Set16(static_cast<int16_t>(job.kr << 5));
    const V kb32 = Isa::Set16(static_cast<int16_t>(job.kb << 5));
    uint8_t *out = job.DstPixel(x0, y);
    int x = x0;
    // Outputs reach x + kWidth - 1 < xEnd; reads reach x + kWidth + 1 (the
    // load at x + 2), which is < right since xEnd = right - 2.
    for (; x + kWidth <= xEnd; x += kWidth) {
      const size_t xs = static_cast<size_t>(x);
      V redE, redO, blueE, blueO;
      Colour<kRedOdd>(redNear, redFar, xs, kr32, redE, redO);
      Colour<!kRedOdd>(blueNear, blueFar, xs, kb32, blueE, blueO);
      V greenE, greenO;
      if constexpr (!kGreenOdd) {
        const V g0 = Plane(row0 + xs, false);
        greenE = Half(g0, Plane(rowM1 + xs - 2, true));
        greenO = Half(g0, Plane(rowM1 + xs, true));
      } else {
        const V g1 = Plane(rowM1 + xs, false);
        greenE = Half(Plane(row0 + xs - 2, true), g1);
        greenO = Half(Plane(row0 + xs, true), g1);
      }
      if constexpr (kFourth) {
        Isa::Store4(out, blueE, blueO, greenE, greenO, redE, redO);
        out += static_cast<size_t>(kWidth) * 4;
      } else {
        Isa::Store3(out, blueE, blueO, greenE, greenO, redE, redO);
        out += static_cast<size_t>(kWidth) * 3;
      }
    }
    return x;
  }
};

template <class Isa>
struct Row16 {
  using Sample = uint16_t;
  using V = typename Isa::V;
  static constexpr int kWidth = Isa::kWidth / 2;  // pixels a block: two per dword lane

  static V Plane(const uint16_t *p, bool odd) {
    const V v = Isa::Load(p);
    return odd ? Isa::Srli32(v, 16) : Isa::And(v, Isa::Set32(0xFFFF));
  }
  static V Times3Plus(V nearV, V farV) { return Isa::Add32(Isa::Add32(nearV, Isa::Slli32(nearV, 1)), farV); }
  static V Half(V a, V b) { return Isa::Min32(Isa::Srli32(Isa::Add32(a, b), 1), Isa::Set32(4095)); }
  static V Scale(V sum, V k) { return Isa::Min32(Isa::Srli32(Isa::Mul32(sum, k), 11), Isa::Set32(4095)); }

  template <bool kOdd>
  static void Colour(const uint16_t *nearRow, const uint16_t *farRow, size_t x0, V k, V &even, V &oddOut) {
    const V vc = Times3Plus(Plane(nearRow + x0, kOdd), Plane(farRow + x0, kOdd));
    const V vm = Times3Plus(Plane(nearRow + x0 - 2, kOdd), Plane(farRow + x0 - 2, kOdd));
    if constexpr (kOdd) {
      even = Scale(Times3Plus(vm, vc), k);
      oddOut = Scale(Times3Plus(vc, vm), k);
    } else {
      const V vp = Times3Plus(Plane(nearRow + x0 + 2, kOdd), Plane(farRow + x0 + 2, kOdd));
      even = Scale(Times3Plus(vc, vm), k);
      oddOut = Scale(Times3Plus(vc, vp), k);
    }
  }

  template <bool kRedOdd, bool kRowA, bool kFourth>
  static int Run(const DemosaicJob &job, int y, int x0, int xEnd) {
    const uint16_t *rowM2 = job.SrcRow<uint16_t>(y - 2);
    const uint16_t *rowM1 = job.SrcRow<uint16_t>(y - 1);
    const uint16_t *row0 = job.SrcRow<uint16_t>(y);
    const uint16_t *rowP1 = job.SrcRow<uint16_t>(y + 1);
    const uint16_t *redNear = kRowA ? row0 : rowM1;
    const uint16_t *redFar = kRowA ? rowM2 : rowP1;
    const uint16_t *blueNear = kRowA ? rowM1 : row0;
    const uint16_t *blueFar = kRowA ? rowP1 : rowM2;
    constexpr bool kGreenOdd = kRedOdd != kRowA;
    const V kr = Isa::Set32(static_cast<int32_t>(job.kr));
    const V kb = Isa::Set32(static_cast<int32_t>(job.kb));
    uint8_t *out = job.DstPixel(x0, y);
    int x = x0;
    for (; x + kWidth <= xEnd; x += kWidth) {
      const size_t xs = static_cast<size_t>(x);
      V redE, redO, blueE, blueO;
      Colour<kRedOdd>(redNear, redFar, xs, kr, redE, redO);
      Colour<!kRedOdd>(blueNear, blueFar, xs, kb, blueE, blueO);
      V greenE, greenO;
      if constexpr (!kGreenOdd) {
        const V g0 = Plane(row0 + xs, false);
        greenE = Half(g0, Plane(rowM1 + xs - 2, true));
        greenO = Half(g0, Plane(rowM1 + xs, true));
      } else {
        const V g1 = Plane(rowM1 + xs, false);
        greenE = Half(Plane(row0 + xs - 2, true), g1);
        greenO = Half(Plane(row0 + xs, true), g1);
      }
      // Pixels as qwords blue | green << 16 | red << 32, in column order.
      const V bgE = Isa::Or(blueE, Isa::Slli32(greenE, 16));
      const V bgO = Isa::Or(blueO, Isa::Slli32(greenO, 16));
      const V loE = Isa::UnpackLo32(bgE, redE);
      const V hiE = Isa::UnpackHi32(bgE, redE);
      const V loO = Isa::UnpackLo32(bgO, redO);
      const V hiO = Isa::UnpackHi32(bgO, redO);
      const V p0 = Isa::UnpackLo64(loE, loO);
      const V p1 = Isa::UnpackHi64(loE, loO);
      const V p2 = Isa::UnpackLo64(hiE, hiO);
      const V p3 = Isa::UnpackHi64(hiE, hiO);
      if constexpr (kFourth) {
        Isa::Store8(out, p0, p1, p2, p3);
        out += static_cast<size_t>(kWidth) * 8;
      } else {
        Isa::Store6(out, p0, p1, p2, p3);
        out += static_cast<size_t>(kWidth) * 6;
      }
    }
    return x;
  }
};

// Walks the interior rows of job, choosing the block variant per row. A
// row's last block is moved back to end at the row's end (keeping the
// column parity of the first), so it recomputes a few pixels already
// written with identical bytes instead of leaving a long tail to the scalar
// code; at most one pixel, or a row narrower than a block, is left to it.
template <class Impl>
void InteriorRows(const DemosaicJob &job) {
  using Sample = typename Impl::Sample;
  using RunFn = int (*)(const DemosaicJob &, int, int, int);
  // Indexed by red-in-odd-plane | row class a << 1 | fourth byte << 2.
  static constexpr RunFn kRuns[8] = {
      Impl::template Run<false, false, false>, Impl::template Run<true, false, false>,
      Impl::template Run<false, true, false>,  Impl::template Run<true, true, false>,
      Impl::template Run<false, false, true>,  Impl::template Run<true, false, true>,
      Impl::template Run<false, true, true>,   Impl::template Run<true, true, true>,
  };
  const int xBegin = job.left + 2;
  const int xEnd = job.right - 2;  // exclusive
  const bool redOdd = ((job.pc + xBegin) & 1) != 0;
  const bool fourth = job.dstBytesPerPixel == 4 * static_cast<int>(sizeof(Sample));
  for (int y = job.top + 2; y <= job.bottom - 3; ++y) {
    const bool rowA = ((y + job.pr) & 1) != 0;
    const RunFn run = kRuns[(redOdd ? 1 : 0) | (rowA ? 2 : 0) | (fourth ? 4 : 0)];
    int x = run(job, y, xBegin, xEnd);
    if (x < xEnd && xEnd - xBegin >= Impl::kWidth) {
      x = run(job, y, xBegin + ((xEnd - Impl::kWidth - xBegin) & ~1), xEnd);
    }
    for (; x < xEnd; ++x) DemosaicInteriorPixel<Sample>(job, x, y);
  }
}

}  // namespace
}  // namespace quorel::bayer
