// How a dialog session is run modally: by the GUI module (real GTK windows)
// or, in tests, by a scripted driver installed in its place.
//
// Thread context: CanRun and Run are called on the thread that opens the
// dialog; the runner in force is read and replaced under a lock.
#pragma once

#include "QuorelSdk_470KX_PLU.h"
#include "dialogs/DialogSession.h"

namespace quorel {

class DialogRunner {
 public:
  virtual ~DialogRunner() = default;
  // 0 when a dialog can be run from the calling thread now; otherwise the
  // error code to report: 4 without a display or GUI module, 1 when the
  // window system is bound to another thread of the process.
  virtual int CanRun() = 0;
  // Opens the session, runs it modally owned by `owner` (an X11 window
  // registered with the host API, a message window, or null), and returns
  // its result, 1 (OK) or 2 (Cancel); or, when it could not be shown after
  // all, the negative error code (-4, -1).
  virtual int Run(DialogSession &session, HWND owner) = 0;
};

// The runner installed for this process, or the GUI module's.
DialogRunner &ActiveDialogRunner();

// Installs `runner` in place of the GUI module's (null restores it). The
// caller keeps ownership and uninstalls it before destroying it.
void InstallDialogRunner(DialogRunner *runner);

}  // namespace quorel
