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

}  // namespace quorel::cli
