// The slider rows of the filter and analog pages. Each row is a trackbar, a
// signed number edit and an up-down bound to the edit; the templates place
// them and the page logic binds them to their block entries.
#pragma once

#include <array>

namespace quorel {

struct SliderRow {
  int trackbar;
  int edit;
  int upDown;
  int entry;  // filter-block entry, or analog-block entry for the analog page
  int minimum;
  int maximum;
  int tickFrequency;
};

// Image page, in page order: brightness, contrast, hue, saturation,
// sharpness, R, G and B gain, gamma.
inline constexpr std::array<SliderRow, 9> kImageSliders{{
    {2001, 2002, 2004, 0, -255, 255, 64},
    {2011, 2012, 2014, 1, -127, 127, 32},
    {2021, 2022, 2024, 2, -360, 360, 90},
    {2031, 2032, 2034, 3, -255, 255, 64},
    {2041, 2042, 2044, 4, 0, 30, 4},
    {2051, 2052, 2054, 5, 0, 400, 32},
    {2061, 2062, 2063, 6, 0, 400, 32},
    {2071, 2072, 2073, 7, 0, 400, 32},
    {2081, 2082, 2084, 8, 0, 200, 32},
}};

// Gray page: gains R, G1, G2, B, then offsets R, G1, G2, B.
inline constexpr std::array<SliderRow, 8> kGraySliders{{
    {2100, 2101, 2102, 12, 0, 400, 32},
    {2103, 2104, 2105, 13, 0, 400, 32},
    {2106, 2107, 2108, 14, 0, 400, 32},
    {2109, 2110, 2111, 15, 0, 400, 32},
    {2112, 2113, 2114, 16, 0, 400, 32},
    {2115, 2116, 2117, 17, 0, 400, 32},
    {2118, 2119, 2120, 18, 0, 400, 32},
    {2121, 2122, 2123, 19, 0, 400, 32},
}};

// Analog page: global gain, colour gains G1, R, B, G2, exposure. Ranges and
// tick frequencies come from the sensor when the page opens.
inline constexpr std::array<SliderRow, 6> kAnalogSliders{{
    {1013, 1015, 1038, 0, 0, 0, 0},
    {1018, 1019, 1039, 1, 0, 0, 0},
    {1020, 1021, 1040, 2, 0, 0, 0},
    {1022, 1023, 1041, 3, 0, 0, 0},
    {1024, 1025, 1042, 4, 0, 0, 0},
    {1026, 1027, 1043, 5, 0, 0, 0},
}};

// Sensor registers of the analog page's colour-gain rows 1 to 4.
inline constexpr std::array<int, 4> kAnalogColorRegisters{0x3056, 0x305A, 0x3058, 0x305C};

}  // namespace quorel
