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

}  // namespace

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
