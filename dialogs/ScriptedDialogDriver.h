// The headless driver of the dialogs: while it exists it is the process's
// dialog runner, and every dialog opened (by Quorel_SetCameraDlg and the
// others) runs its script in place of a user. The script acts by control
// identifier (select a list entry, type into an edit, move a trackbar, click
// a button, a check box or a radio button, spin an up-down, switch tabs),
// reads every control's state, and ends the dialog with OK or Cancel; the
// modal run then returns 1 or 2.
//
// Controls are looked up on the frame first, then on the shown page, then on
// hidden pages (the two filter pages share some identifiers); Page() reaches
// one page directly.
//
// Thread context: the script runs on the thread that opened the dialog.
// Other threads reach the dialog through DialogSession::Post; the script
// runs their tasks with Pump() or waits for them with PumpUntil().
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "dialogs/DialogRunner.h"

namespace quorel {

class ScriptedDialogDriver final : public DialogRunner {
 public:
  using Script = std::function<void(ScriptedDialogDriver &)>;

  // Installs itself as the process's dialog runner until destroyed.
  explicit ScriptedDialogDriver(Script script = {});
  ~ScriptedDialogDriver() override;
  ScriptedDialogDriver(const ScriptedDialogDriver &) = delete;
  ScriptedDialogDriver &operator=(const ScriptedDialogDriver &) = delete;

  // The script for the dialogs opened from now on.
  void SetScript(Script script) { script_ = std::move(script); }
  // How many dialogs ran, and the owner window the last one was given.
  int Runs() const { return runs_; }
  HWND LastOwner() const { return lastOwner_; }
  // Whether the last script returned without ending its dialog (the run was
  // then ended with Cancel, as closing the window does).
  bool LeftOpen() const { return leftOpen_; }

  int CanRun() override { return 0; }
  int Run(DialogSession &session, HWND owner) override;

  // --- inside a script ---
  DialogSession &Session();
  DialogWindow &Page(int index) { return Session().Page(index); }
  bool Click(int id);
  bool Type(int id, const std::string &text);
  bool Select(int id, int index);
  // Selects the entry with this text; false when the list has none.
  bool SelectText(int id, const std::string &text);
  bool MoveTrackbar(int id, int position);
  bool Spin(int id, int delta);
  bool SelectTab(int index) { return Session().UserSelectTab(index); }

  // State of a control; an unknown identifier fails the lookup with a
  // default-constructed control (kind static, id -1).
  const DialogControl &Control(int id);
  std::string Text(int id) { return Control(id).text; }
  bool Checked(int id) { return Control(id).checked; }
  bool Enabled(int id) { return Control(id).enabled; }
  bool Visible(int id) { return Control(id).visible; }
  int Selection(int id) { return Control(id).selection; }
  std::string SelectedText(int id);
  const std::vector<std::string> &Items(int id) { return Control(id).items; }
  int Position(int id) { return Control(id).position; }

  // Runs the tasks other threads queued for the dialog.
  int Pump();
  // Runs queued tasks until `done` holds or the deadline passes; true when
  // it held.
  bool PumpUntil(const std::function<bool()> &done, std::chrono::milliseconds deadline);

 private:
  DialogWindow *Owner(int id);
  static void Wake(void *context);

  Script script_;
  DialogSession *session_ = nullptr;
  int runs_ = 0;
  HWND lastOwner_ = nullptr;
  bool leftOpen_ = false;
  std::mutex wakeLock_;  // guards woken_
  std::condition_variable wakeSignal_;
  bool woken_ = false;
};

}  // namespace quorel
