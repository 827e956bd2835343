// The "Gray Filter" page, present for gray images: the gray filter mode,
// four gray gains and four gray offsets as sliders, the automatic gray gain
// ("Once", "All frames") and the Bayer mode. Every change goes straight into
// the camera's filter block.
//
// Thread context: the dialog's thread; block entries are written and read
// one 32-bit value at a time.
#pragma once

#include <functional>
#include <utility>

#include "dialogs/DialogWindow.h"
#include "settings/CameraSettings.h"

namespace quorel {

class CGrayFilterPage final : private DialogHandler {
 public:
  CGrayFilterPage(const DialogTemplate &pageTemplate, FilterBlock &block);

  DialogWindow &Window() { return window_; }
  void Open();
  // Trackbars and edits from the block.
  void Refresh();
  // Entries 12 to 19 from the edits.
  void ReadBack();
  // Called after the user chose a Bayer mode on this page, so that the other
  // page shows it too (both pages edit the same entry, and OK reads it back).
  void SetBayerModeListener(std::function<void(int)> listener) { bayerListener_ = std::move(listener); }

 private:
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int id) override;

  DialogWindow window_;
  FilterBlock &block_;
  bool ready_ = false;
  std::function<void(int)> bayerListener_;
};

}  // namespace quorel
