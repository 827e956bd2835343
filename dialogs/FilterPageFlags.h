// Which controls of the image filter dialog are usable, by the camera's
// colour mode: gray images (8 and 16 bits) have no hue, saturation, colour
// gains, white balance or Bayer choice, and get the gray page instead.
#pragma once

#include <array>

namespace quorel {

struct FilterPageFlags {
  std::array<bool, 9> sliders{};  // image page, in page order
  bool grayPage = false;
  bool autoWhiteBalance = false;  // white-balance and Bayer-mode controls

  static FilterPageFlags ForColorMode(int colorModeIndex) {
    FilterPageFlags flags;
    const bool gray = colorModeIndex == 0 || colorModeIndex == 1;
    // brightness, contrast, hue, saturation, sharpness, R, G, B, gamma
    flags.sliders = {true, true, !gray, !gray, true, !gray, !gray, !gray, true};
    flags.grayPage = gray;
    flags.autoWhiteBalance = !gray;
    return flags;
  }
};

}  // namespace quorel
