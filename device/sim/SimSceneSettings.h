// What the virtual camera shows: the scene and its imperfections, as parsed
// from the QUOREL_SIM configuration string.
#pragma once

#include <cstdint>
#include <string>

namespace quorel::sim {

enum class SceneKind {
  kChart,    // synthetic colour chart (default)
  kImage,    // a PPM or PNG picture seen through the Bayer filter
  kRaw,      // samples taken verbatim from a file of packed rows
  kCounter,  // test scene: every frame carries its frame number in its first samples
};

struct SimSceneSettings {
  SceneKind kind = SceneKind::kChart;
  std::string file;   // for kImage and kRaw
  uint32_t seed = 1;  // noise and defect positions
  int noise = 0;      // standard deviation of added noise, in 8-bit sample units
  int defects = 0;    // number of hot/dead pixels on the sensor
  // The unit showing the scene (not configured: each unit sets its own). The
  // counter scene steps by 7 + 2 x unit per column, so that units running
  // side by side deliver frames that tell which unit sent them.
  int unit = 0;
};

}  // namespace quorel::sim
