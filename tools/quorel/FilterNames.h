// Names of the filter identifiers 1 to 28 as the tool prints and accepts them.
#pragma once

#include <optional>
#include <string_view>

namespace quorel::cli {

inline constexpr int kFirstFilterId = 1;
inline constexpr int kLastFilterId = 28;

// "brightness" for 1 ... "gray-auto-gain" for 28; "" outside 1..28.
std::string_view FilterName(int id);

// The identifier for a name, matched without regard to case, '-' and '_'
// ("Gamma", "bayer_gain_rgb", "BayerGainRGB"), or a number 1..28.
std::optional<int> FilterIdFromName(std::string_view name);

// The values Quorel_SetFilterValue accepts for an identifier, as the
// library's documentation gives them (a test holds them against the library).
// `any` marks the two that take every value: 6 (packed Bayer gains) and 10
// (automatic Bayer gain, non-zero meaning on).
struct FilterRange {
  int min = 0;
  int max = 0;
  bool any = false;
};
FilterRange FilterValueRange(int id);

}  // namespace quorel::cli
