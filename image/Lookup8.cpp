#include "image/Lookup8.h"

#include <cstring>

#include "image/CpuPath.h"

namespace quorel::lookup8 {

namespace {

bool Vectors(const uint8_t *d, const uint8_t *s, size_t bytes) {
  if (ActiveCpuPath() != CpuPath::kAvx512) return false;
  const auto da = reinterpret_cast<uintptr_t>(d);
  const auto sa = reinterpret_cast<uintptr_t>(s);
  return da == sa || da + bytes <= sa || sa + bytes <= da;
}

}  // namespace

void Run(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *table) {
  const auto da = reinterpret_cast<uintptr_t>(d);
  const auto sa = reinterpret_cast<uintptr_t>(s);
  if (da != sa && da < sa + n && sa < da + n) {
    // Partly overlapping: strictly in order, each byte read after the
    // writes before it.
    for (size_t i = 0; i < n; ++i) d[i] = table[s[i]];
    return;
  }
  size_t i = Vectors(d, s, n) ? RunAvx512(d, s, n, table) : 0;
  // Four at a time: loads of the next bytes do not wait for earlier stores.
  for (; i + 4 <= n; i += 4) {
    const uint8_t a = table[s[i]], b = table[s[i + 1]], c = table[s[i + 2]], e = table[s[i + 3]];
    d[i] = a, d[i + 1] = b, d[i + 2] = c, d[i + 3] = e;
  }
  for (; i < n; ++i) d[i] = table[s[i]];
}

void FirstThreeOfFour(uint8_t *d, const uint8_t *s, size_t pixels, const uint8_t *table) {
  size_t x = Vectors(d, s, 4 * pixels) ? FirstThreeOfFourAvx512(d, s, pixels, table) : 0;
  for (; x < pixels; ++x) {
    const uint8_t b = table[s[4 * x]], g = table[s[4 * x + 1]], r = table[s[4 * x + 2]];
    d[4 * x] = b, d[4 * x + 1] = g, d[4 * x + 2] = r;
  }
}

void Alternating(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *even, const uint8_t *odd) {
  size_t i = Vectors(d, s, n) ? AlternatingAvx512(d, s, n, even, odd) : 0;
  for (; i + 2 <= n; i += 2) {
    d[i] = even[s[i]];
    d[i + 1] = odd[s[i + 1]];
  }
  if (i < n) d[i] = even[s[i]];
}

}  // namespace quorel::lookup8
