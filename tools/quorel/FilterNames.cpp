#include "FilterNames.h"

#include <array>

#include "CliSupport.h"

namespace quorel::cli {
namespace {

// Indexed by identifier; entry 0 is unused.
constexpr std::array<std::string_view, kLastFilterId + 1> kNames = {
    "",
    "brightness",
    "contrast",
    "hue",
    "saturation",
    "sharpness",
    "bayer-gain-rgb",
    "bayer-gain-red",
    "bayer-gain-green",
    "bayer-gain-blue",
    "bayer-gain-auto",
    "gamma",
    "bayer-mode",
    "global-gain",
    "color-gain-red",
    "color-gain-green1",
    "color-gain-green2",
    "color-gain-blue",
    "exposure",
    "gray-mode",
    "gray-gain-r",
    "gray-gain-g1",
    "gray-gain-g2",
    "gray-gain-b",
    "gray-offset-r",
    "gray-offset-g1",
    "gray-offset-g2",
    "gray-offset-b",
    "gray-auto-gain",
};

// Indexed by identifier; entry 0 is unused.
constexpr std::array<FilterRange, kLastFilterId + 1> kRanges = {{
    {},           {-255, 255},  // brightness
    {-127, 127},                // contrast
    {-360, 360},                // hue
    {-255, 255},                // saturation
    {0, 30},                    // sharpness
    {0, 0, true},               // bayer-gain-rgb: red | green << 8 | blue << 16
    {0, 400},                   // bayer-gain-red
    {0, 400},                   // bayer-gain-green
    {0, 400},                   // bayer-gain-blue
    {0, 0, true},               // bayer-gain-auto: non-zero is on
    {0, 200},                   // gamma
    {0, 3},                     // bayer-mode
    {0, 127},                   // global-gain
    {0, 127},                   // color-gain-red
    {0, 127},                   // color-gain-green1
    {0, 127},                   // color-gain-green2
    {0, 127},                   // color-gain-blue
    {0, 16383},                 // exposure, sensor lines
    {0, 2},                     // gray-mode
    {0, 255},                   // gray-gain-r
    {0, 255},                   // gray-gain-g1
    {0, 255},                   // gray-gain-g2
    {0, 255},                   // gray-gain-b
    {-255, 255},                // gray-offset-r
    {-255, 255},                // gray-offset-g1
    {-255, 255},                // gray-offset-g2
    {-255, 255},                // gray-offset-b
    {0, 1},                     // gray-auto-gain
}};

}  // namespace

FilterRange FilterValueRange(int id) {
  if (id < kFirstFilterId || id > kLastFilterId) return {};
  return kRanges[static_cast<size_t>(id)];
}

std::string_view FilterName(int id) {
  if (id < kFirstFilterId || id > kLastFilterId) return "";
  return kNames[static_cast<size_t>(id)];
}

std::optional<int> FilterIdFromName(std::string_view name) {
  if (auto number = ParseInteger(name, kFirstFilterId, kLastFilterId)) return static_cast<int>(*number);
  const std::string wanted = NormaliseName(name);
  if (wanted.empty()) return std::nullopt;
  for (int id = kFirstFilterId; id <= kLastFilterId; ++id) {
    if (NormaliseName(kNames[static_cast<size_t>(id)]) == wanted) return id;
  }
  // The named exports spell exposure as ExposureTime.
  if (wanted == "exposuretime") return 18;
  return std::nullopt;
}

}  // namespace quorel::cli
