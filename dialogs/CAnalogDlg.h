// The analog gain dialog: a property frame with the one "Analog Gain" page.
// It edits the sensor and the camera's analog block live; OK keeps the
// values, and the launcher writes its copy from the opening back after
// anything else. Default puts the sensor's default gains and exposure in
// place without closing.
//
// One analog dialog can be open at a time in a process: TryCreate returns
// null while another one exists.
//
// Thread context: the dialog's thread, except ShowAutoIrisValue, which the
// camera's worker calls (holding its frame lock) after the automatic iris
// changed the gain or exposure: it only queues the new text for the dialog's
// thread, where it is handled as if typed (so the page's sensor writes stay
// on the dialog's thread), and never waits.
#pragma once

#include <atomic>
#include <memory>

#include "dialogs/CAnalogPage.h"
#include "dialogs/DialogSession.h"

namespace quorel {

class CAnalogDlg final : public DialogSession, private DialogHandler {
 public:
  // Null when an analog dialog is already open in this process.
  static std::unique_ptr<CAnalogDlg> TryCreate(AnalogBlock &block, AnalogSensor &sensor,
                                               const ExposureConversion &conversion, DialogLanguage language);
  ~CAnalogDlg() override;

  const char *Kind() const override { return "analog"; }
  DialogWindow &Frame() override { return frame_; }
  int PageCount() const override { return 1; }
  DialogWindow &Page(int) override { return page_.Window(); }
  void Open() override;

  // Any thread: show `value` in edit 1015 (global gain) or 1027 (exposure).
  // A newer value for the same edit replaces one still queued.
  void ShowAutoIrisValue(int control, int value);

 private:
  CAnalogDlg(AnalogBlock &block, AnalogSensor &sensor, const ExposureConversion &conversion, DialogLanguage language);
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int) override {}
  void ShowQueuedValues();

  AnalogBlock &block_;
  AnalogSensor &sensor_;
  DialogWindow frame_;
  CAnalogPage page_;
  // The newest automatic-iris values not yet shown, and whether a task to
  // show them is queued.
  std::atomic<bool> gainQueued_{false};
  std::atomic<int> queuedGain_{0};
  std::atomic<bool> exposureQueued_{false};
  std::atomic<int> queuedExposure_{0};
  std::atomic<bool> taskQueued_{false};
};

}  // namespace quorel
