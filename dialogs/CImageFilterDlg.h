// The image filter dialog: a property frame with the "Image Filter" page and,
// for gray images, the "Gray Filter" page. It edits the camera's filter block
// live; OK keeps the values, and the launcher puts back its copy of the
// block after anything else. Default resets the values without closing.
//
// One image filter dialog can be open at a time in a process: TryCreate
// returns null while another one exists.
//
// Thread context: the dialog's thread, except RequestRefresh, which the
// camera's worker calls (holding its frame lock) after an automatic white
// or gray balance changed the gains: it only queues the refresh for the
// dialog's thread and never waits.
#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "dialogs/CGrayFilterPage.h"
#include "dialogs/CImageFilterPage.h"
#include "dialogs/DialogSession.h"
#include "settings/CameraSettings.h"

namespace quorel {

class CImageFilterDlg final : public DialogSession, private DialogHandler {
 public:
  // Null when an image filter dialog is already open in this process.
  static std::unique_ptr<CImageFilterDlg> TryCreate(FilterBlock &block, int colorModeIndex, DialogLanguage language);
  ~CImageFilterDlg() override;

  const char *Kind() const override { return "image"; }
  DialogWindow &Frame() override { return frame_; }
  int PageCount() const override { return grayPage_ ? 2 : 1; }
  DialogWindow &Page(int index) override;
  void Open() override;

  // Any thread: redraw both pages from the block on the dialog's thread.
  // Requests that arrive while one is queued are merged into it.
  void RequestRefresh();

 private:
  CImageFilterDlg(FilterBlock &block, int colorModeIndex, DialogLanguage language);
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int) override {}
  void ShowTab(int index);
  void Refresh();

  FilterBlock &block_;
  const FilterPageFlags flags_;
  DialogWindow frame_;
  CImageFilterPage imagePage_;
  std::optional<CGrayFilterPage> grayPage_;
  std::atomic<bool> refreshQueued_{false};
};

}  // namespace quorel
