// Internal to the luma kernel: rows of Y = (30 R + 59 G + 11 B) / 100 written
// so that the compiler vectorises them (the division as a multiply and shift,
// exact for every sum up to 25500). Internal linkage, one copy per unit and
// target, like image/SharpenRows.h.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorel::luma {
namespace {

// Step: bytes per colour pixel (3 or 4).
template <size_t Step>
void Row(uint8_t *__restrict d, const uint8_t *__restrict s, size_t n) {
  for (size_t x = 0; x < n; ++x) {
    const uint32_t sum = 30u * s[Step * x + 2] + 59u * s[Step * x + 1] + 11u * s[Step * x];
    d[x] = static_cast<uint8_t>((sum * 5243u) >> 19);
  }
}

// Rows of the frame whose destination pixels are single bytes and source
// pixels 3 or 4 bytes.
template <typename Frame>
void Rows(const Frame &f) {
  for (size_t y = 0; y < f.height; ++y) {
    if (f.srcBpp == 3)
      Row<3>(f.DstRow(y), f.SrcRow(y), f.width);
    else
      Row<4>(f.DstRow(y), f.SrcRow(y), f.width);
  }
}

}  // namespace
}  // namespace quorel::luma
