// The "Analog Gain" page: global gain, the four colour gains and the
// exposure as sliders, the automatic-iris mode, vertical and horizontal
// mirroring, and the exposure in milliseconds. Every change goes to the
// sensor at once and into the camera's analog block.
//
// Thread context: the dialog's thread; every sensor write the page causes
// happens there. Block entries are written one 32-bit value at a time.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/AnalogSensor.h"
#include "dialogs/DialogWindow.h"
#include "settings/CameraSettings.h"

namespace quorel {

// Analog-block entry by index, in block order (global gain .. autoIris).
int32_t &AnalogEntry(AnalogBlock &block, int index);

class CAnalogPage final : private DialogHandler {
 public:
  CAnalogPage(const DialogTemplate &pageTemplate, AnalogBlock &block, AnalogSensor &sensor,
              const ExposureConversion &conversion);

  DialogWindow &Window() { return window_; }
  void Open();
  // Trackbars, edits and the read-out of the six sliders from the block.
  void Refresh();
  // Entries 0 to 5 from the edits.
  void ReadBack();
  // The read-out text for an exposure in lines ("=299.44ms").
  static std::string ExposureText(int lines, const ExposureConversion &conversion);

 private:
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int id) override;
  void ShowExposure();

  DialogWindow window_;
  AnalogBlock &block_;
  AnalogSensor &sensor_;
  const ExposureConversion conversion_;
  bool ready_ = false;
};

}  // namespace quorel
