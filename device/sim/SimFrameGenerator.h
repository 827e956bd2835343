// Renders the raw frames of the virtual camera: the programmed window of a
// scene, seen through the sensor's Bayer filter, made brighter or darker by
// exposure and gains, at the programmed sample depth, laid out in the frame
// exactly as the host's window copy expects it.
//
// Bayer phase: in memory, the first two rows of an unmirrored frame read
// G R G R ... / B G B G ...; a horizontal mirror swaps the columns' colours
// and a vertical mirror the rows', as the host assumes. Green sites on red
// rows take the Green1 gain, those on blue rows the Green2 gain.
//
// Brightness: a white surface gives about 55 % of full scale at the default
// exposure (1970 lines) and gains (32); the level scales linearly with the
// exposure lines, the global gain / 32 and the site's colour gain / 32, and
// clips at full scale (255, or 4095 in 16-bit words).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/sim/SimFrameLayout.h"
#include "device/sim/SimPicture.h"
#include "device/sim/SimSceneSettings.h"
#include "device/sim/SimSensorView.h"

namespace quorel::sim {

// Exposure lines and gain that give the nominal level.
inline constexpr int kNominalExposure = 1970;
inline constexpr int kNominalGain = 32;

class SimFrameGenerator {
 public:
  explicit SimFrameGenerator(SimSceneSettings scene);
  SimFrameGenerator(const SimFrameGenerator &) = delete;
  SimFrameGenerator &operator=(const SimFrameGenerator &) = delete;

  // Fills dst[0, bytes) with frame number `frame` as the sensor described by
  // `view` delivers it. The picture sits in the rows and columns of the
  // layout DeriveFrameLayout gives; every other byte is 0. Returns false,
  // with a one-line reason in *error (may be null), when the scene cannot
  // be shown: a picture file that does not load, or a raw file whose size
  // does not match the delivered window at the current depth.
  //
  // Frames of an unchanged sensor setting are prepared once and copied, so a
  // frame costs little more than a copy. Thread context: one thread at a
  // time per generator (the unit's data pipe).
  bool Render(const SimSensorView &view, uint32_t frame, uint8_t *dst, size_t bytes, std::string *error);

  // The counter scene: sample (x, y) of the delivered window of frame
  // `frame`. The first four samples of row 0 carry the frame number, lowest
  // byte first, one byte per sample; every other sample is a function of
  // frame and position (and the unit: a column step of 7 + 2 x unit), so a
  // mixed or shifted frame, or one from another unit, shows.
  static uint16_t CounterSample(uint32_t frame, int x, int y, bool depth16, int unit = 0);

  // The bytes a raw-scene file must hold for `layout` at the given depth.
  static size_t RawSceneBytes(const SimFrameLayout &layout, bool depth16);

 private:
  // Everything a prepared frame depends on.
  struct Setting {
    SimFrameLayout layout;
    bool depth16 = false;
    size_t bytes = 0;
    uint16_t exposure = 0;
    uint16_t gains[5] = {};
    bool operator==(const Setting &) const;
  };

  Setting ReadSetting(const SimSensorView &view, size_t bytes) const;
  bool Prepare(const Setting &setting, std::string *error);
  bool LoadSource(std::string *error);
  static bool SameWindow(const SimFrameLayout &a, const SimFrameLayout &b);
  void RenderScene(const Setting &setting, std::vector<float> *reflectance) const;
  void StoreLevels(const Setting &setting, const std::vector<float> &reflectance, uint32_t variant,
                   std::vector<uint8_t> *frame) const;
  void RenderCounter(const Setting &setting, uint32_t frame, uint8_t *dst) const;

  const SimSceneSettings scene_;
  bool sourceLoaded_ = false;
  std::string sourceError_;       // why the picture or raw file cannot be used
  SimPicture picture_;            // kImage
  std::vector<uint8_t> rawFile_;  // kRaw: the file's bytes
  // The scene as the window's sites see it, kept across exposure and gain
  // changes so that an automatic exposure does not re-render the scene.
  bool reflectanceReady_ = false;
  SimFrameLayout reflectanceLayout_;
  std::vector<float> reflectance_;
  bool prepared_ = false;
  Setting setting_;                           // what prepared_ frames were made for
  std::vector<std::vector<uint8_t>> frames_;  // prepared frames, used in turn
};

}  // namespace quorel::sim
