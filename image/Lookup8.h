// Internal to the 8-bit tone and gray kernels: byte table lookups over rows,
// with byte permutes on processors that have them (AVX-512 VBMI: four 64-byte
// registers hold the table, two two-register permutes and a select by the top
// bit look up 64 bytes), otherwise byte by byte. Results are the same on
// every path.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorel::lookup8 {

// d[i] = table[s[i]] for i < n; d may be s. Partly overlapping runs are
// looked up byte by byte in order.
void Run(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *table);

// Pixels of four bytes: the first three looked up, d's fourth byte untouched.
void FirstThreeOfFour(uint8_t *d, const uint8_t *s, size_t pixels, const uint8_t *table);

// d[i] = (i even ? even : odd)[s[i]], the two-site rows of the gray gains.
void Alternating(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *even, const uint8_t *odd);

// The vector paths: handle the leading bytes (pixels) they can and return how
// many; only to be called when the processor has AVX-512 VBMI, with d equal
// to s or not overlapping it.
size_t RunAvx512(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *table);
size_t FirstThreeOfFourAvx512(uint8_t *d, const uint8_t *s, size_t pixels, const uint8_t *table);
size_t AlternatingAvx512(uint8_t *d, const uint8_t *s, size_t n, const uint8_t *even, const uint8_t *odd);

}  // namespace quorel::lookup8
