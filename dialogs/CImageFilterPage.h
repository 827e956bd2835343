// The "Image Filter" page: brightness, contrast, hue, saturation, sharpness,
// the three Bayer gains and gamma as sliders, the automatic white balance
// ("Once", "All frames") and the Bayer mode. Every change goes straight into
// the camera's filter block, which the frame pipeline reads at each frame.
//
// Thread context: the dialog's thread. The block entries are written and
// read one 32-bit value at a time (the worker reads them concurrently).
#pragma once

#include <functional>
#include <utility>

#include "dialogs/DialogWindow.h"
#include "dialogs/FilterPageFlags.h"
#include "settings/CameraSettings.h"

namespace quorel {

class CImageFilterPage final : private DialogHandler {
 public:
  CImageFilterPage(const DialogTemplate &pageTemplate, FilterBlock &block, const FilterPageFlags &flags);

  DialogWindow &Window() { return window_; }
  void Open();
  // Trackbars, edits and the Bayer-mode radio from the block.
  void Refresh();
  // Entries 0 to 8 from the edits, entry 9 from the checked Bayer radio.
  void ReadBack();
  // Called after the user chose a Bayer mode on this page, so that the other
  // page shows it too (both pages edit the same entry, and OK reads it back).
  void SetBayerModeListener(std::function<void(int)> listener) { bayerListener_ = std::move(listener); }

 private:
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int id) override;

  DialogWindow window_;
  FilterBlock &block_;
  const FilterPageFlags flags_;
  bool ready_ = false;
  std::function<void(int)> bayerListener_;
};

// Bayer-mode radios shared by both filter pages: all cleared, then the one of
// `mode` checked (none for a mode outside 0 to 3).
void ShowBayerMode(DialogWindow &window, int mode);
// The mode of the first checked Bayer radio; -1 when none is.
int CheckedBayerMode(const DialogWindow &window);

}  // namespace quorel
