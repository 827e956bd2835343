// The camera dialog: colour mode, image size (a stored size preset or a
// custom geometry), sub-sampling, wait time and clock. It works on the
// settings store rather than on the camera: it loads the preset table and the
// format values when it opens and writes them back on OK and on Apply; the
// camera reloads them after OK.
//
// One camera dialog can be open at a time in a process: TryCreate returns
// null while another one exists.
//
// Thread context: the thread that runs the dialog (see DialogSession).
#pragma once

#include <memory>

#include "dialogs/DialogSession.h"
#include "settings/SettingsStore.h"

namespace quorel {

class CCameraDlg final : public DialogSession, private DialogHandler {
 public:
  // Null when a camera dialog is already open in this process.
  static std::unique_ptr<CCameraDlg> TryCreate(int deviceNumber, DialogLanguage language);
  ~CCameraDlg() override;

  const char *Kind() const override { return "camera"; }
  DialogWindow &Frame() override { return window_; }
  int PageCount() const override { return 0; }
  DialogWindow &Page(int) override { return window_; }
  void Open() override;

  // The dialog's copy of the presets and format values (sub-sampling as a
  // code), as last loaded or saved.
  const CameraDialogTable &Table() const { return table_; }

  // Sub-sampling list position to code and back (position 0 for an unknown code).
  static int SubSampleCode(int position);
  static int SubSamplePosition(int code);

 private:
  CCameraDlg(int deviceNumber, DialogLanguage language);
  void OnCommand(int id, ControlNotify notify) override;
  void OnTrackbarMoved(int) override {}
  bool CustomSelected() const;
  void ShowPreset(int index);
  // Reads the controls into the table and saves it. False (nothing saved,
  // nothing changed) when a custom size is asked for with a full table.
  bool ReadControlsAndSave();

  const int deviceNumber_;
  CameraDialogTable table_;
  DialogWindow window_;
};

}  // namespace quorel
