// The virtual camera's configuration, parsed from a "key=value;key=value"
// string (QUOREL_SIM or the argument of QuorelSim_Enable).
//
//   units=0,3            units present (0..31; default 0)
//   fps=max|sensor|N     frame pacing: as fast as asked, from the programmed
//                        sensor timing, or N frames per second (1..1000)
//   scene=chart|counter|image:FILE|raw:FILE
//   seed=N  noise=N  defects=N
//   trigger=MS           an automatic trigger pulse every MS milliseconds
//                        (0: only QuorelSim_Trigger)
//
// Spaces around keys and values are ignored; empty items (";;") are allowed;
// a later key overrides an earlier one.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "device/sim/SimSceneSettings.h"

namespace quorel::sim {

enum class FpsMode { kMax, kSensor, kFixed };

struct SimConfig {
  std::array<bool, 32> units{true};  // unit 0 present by default
  FpsMode fpsMode = FpsMode::kMax;
  int fps = 0;  // for kFixed
  SimSceneSettings scene;
  int triggerPeriodMs = 0;
};

// Parses text into *config (which starts from the defaults). On failure
// returns false, leaves *config unchanged and puts a one-line reason into
// *error (when given).
bool ParseSimConfig(std::string_view text, SimConfig *config, std::string *error);

}  // namespace quorel::sim
