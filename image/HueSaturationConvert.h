// Internal to the hue and saturation kernels: the tables and the per-pixel
// conversion shared by the plain path and the vector paths, and the vector
// row converters. See image/HueSaturation.h for the model.
//
// The vector units include this header before switching their target, so
// the inline conversion here is always compiled for the baseline processor.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace quorel::hue_saturation {

// Gray levels in three byte lanes (red high, blue low) and the reciprocals
// 0xFF0000 / d that spare a division per pixel.
struct FixedTables {
  std::array<int32_t, 256> gray3{};
  std::array<int32_t, 256> reciprocal{};  // entry 0 unused
};

// Tables for one saturation: adjusted lightness sum (the identity for
// lightness 0), the chroma limit that keeps a pixel in range, and the scaled
// chroma. Never changed once built.
struct SettingTables {
  int32_t saturation = 0;
  std::array<int32_t, 512> lightness{};
  std::array<int32_t, 512> limit{};
  std::array<int32_t, 256> chroma{};
};

// Channel masks and per-step increments of the hue ramp by sextant, on the
// packed value (red high, blue low); repeated so that indexes up to 11 hold.
constexpr std::array<int32_t, 12> kMask = {0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF,
                                           0xFF00FF, 0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x0000FF};
constexpr std::array<int32_t, 12> kStep = {-1, 256, -65536, 1, -256, 65536, -1, 256, -65536, 1, -256, 65536};

// The hue rotation as whole sextants and a remainder on the 1530-step circle.
struct HueShift {
  int32_t sextants = 0;  // 0 .. 5
  int32_t rest = 0;      // 0 .. 254
};

HueShift MakeHueShift(int32_t hue);

// Everything one call needs, resolved once.
struct Conversion {
  const FixedTables &fixed;
  const SettingTables &setting;
  HueShift shift;

  // Returns red << 16 | green << 8 | blue for 8-bit samples. Written with
  // selects rather than branches: on camera pictures the comparisons go
  // either way from pixel to pixel.
  int32_t operator()(int32_t b, int32_t g, int32_t r) const {
    // Ties prefer red over green over blue.
    const bool redOverGreen = r >= g;
    const int32_t larger = redOverGreen ? r : g;
    const int32_t smaller = redOverGreen ? g : r;
    const bool blueMax = b > larger;
    const int32_t max = blueMax ? b : larger;
    const int32_t min = std::min(b, smaller);
    int32_t sextant = blueMax ? 5 : (redOverGreen ? 1 : 3);
    int32_t n = blueMax ? r - g : (redOverGreen ? g - b : b - r);
    const int32_t d = max - min;
    const bool below = n < 0;
    sextant -= below ? 1 : 0;
    n += below ? d : 0;

    const int32_t l2 = max + min;
    const int32_t lt = setting.lightness[l2];
    const int32_t c = std::min(setting.limit[l2], setting.chroma[d]);
    const int32_t low = (lt - c) >> 1;
    // A gray pixel (d = 0) has c = 0 and so w = 0: the ramp term adds 0, and
    // needs no test (the reciprocal of 0 is stored as 0).
    int32_t v = ((n * fixed.reciprocal[d] + 0x8000) >> 16) + shift.rest;
    const bool wrap = v > 254;
    const int32_t idx = sextant + shift.sextants + (wrap ? 1 : 0);
    v -= wrap ? 255 : 0;
    const int32_t w = ((lt + c) >> 1) - low;
    return fixed.gray3[low] + (fixed.gray3[w] & kMask[idx]) + ((w * v + 128) >> 8) * kStep[idx];
  }
};

// One row of a call: n pixels from s (srcBpp bytes each) into d (dstBpp
// bytes each); shift is (significant bits - 8) for 16-bit samples, else 0.
struct Row {
  uint8_t *d;
  const uint8_t *s;
  size_t n;
  size_t dstBpp;
  size_t srcBpp;
  int shift;
};

// Vector rows: convert the leading pixels of the row that fill whole vector
// blocks and return how many; the caller converts the rest with Conversion.
// Handle 3- and 4-byte pixels (8-bit samples) and, with AVX-512, 6- and
// 8-byte pixels (16-bit samples) with equal source and destination sizes,
// where destination and source are the same memory or do not overlap; 0 for
// anything else. May only be called when the processor has the instructions.
size_t ConvertRowAvx2(const Conversion &convert, const Row &row);
size_t ConvertRowAvx512(const Conversion &convert, const Row &row);

}  // namespace quorel::hue_saturation
