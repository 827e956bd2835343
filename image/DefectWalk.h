// Internal to the defect-suppression kernels: the in-place walk with a vector
// pre-screen, written once over an instruction-set description (Isa) that
// each unit supplies. Internal linkage: each unit compiles its own copy for
// its own target.
//
// Why the result equals the plain pixel-by-pixel walk: rows are walked in
// order, so rows y - 2 and y + 2 hold exactly what the plain walk would see
// when row y starts. Within the row, a block's screen is taken after every
// earlier block is done, so it sees the current samples left of the block
// and still-original samples inside it. The first step of both rules reads
// only v, the samples two columns away and the rows two away; the later
// steps run only on screened-in pixels, and always through the exact Fix on
// the current samples. The one way a screen can go stale is a replacement at
// column x changing the mean of x + 2, so a replacement re-queues x + 2 for
// the exact test. The screen may pass extra pixels (Fix rejects them); it
// never drops one that the plain walk could replace.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/DefectPixel.h"
#include "image/PixelKernel.h"

namespace quorel::bayer {
namespace {

template <class Isa, class Defects, class T>
int WalkDefects(const Defects &defects, const KernelRect &rect, int threshold) {
  constexpr int kWidth = Isa::template kWidth<T>;
  const auto screen = Isa::template MakeScreen<T>(threshold);
  int replaced = 0;
  const int xEnd = rect.right - 2;  // exclusive; a block's reads end at x + kWidth + 1 < right
  const int xBegin = rect.left + 2;
  // Exact tests of the screened-in pixels of the block at x, in order,
  // skipping the first `done` pixels (already tested).
  const auto block = [&](T *row, int y, int x, int done) {
    uint64_t pending = screen.Candidates(row + x, defects.stride) & ~((uint64_t{1} << done) - 1);
    while (pending != 0) {
      const int i = __builtin_ctzll(pending);
      pending &= pending - 1;
      if (defects.Fix(x + i, y)) {
        ++replaced;
        if (i + 2 < kWidth) pending |= uint64_t{1} << (i + 2);
      }
    }
  };
  for (int y = rect.top + 2; y <= rect.bottom - 3; ++y) {
    T *row = defects.base + static_cast<size_t>(y) * defects.stride;
    int x = xBegin;
    for (; x + kWidth <= xEnd; x += kWidth) block(row, y, x, 0);
    // The row's last block ends at the row's end and overlaps pixels done
    // already; they are masked out, and the screen of the others sees the
    // current samples to their left just as it would have block by block.
    if (x < xEnd && xEnd - xBegin >= kWidth) {
      block(row, y, xEnd - kWidth, x - (xEnd - kWidth));
      x = xEnd;
    }
    for (; x < xEnd; ++x) {
      if (defects.Fix(x, y)) ++replaced;
    }
  }
  return replaced;
}

}  // namespace
}  // namespace quorel::bayer
