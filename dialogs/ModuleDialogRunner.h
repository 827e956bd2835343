// Runs dialogs through the GUI module, the separately loaded shared object
// that holds the GTK face. Without the module or without a display every
// dialog fails with code 4 (window not created).
//
// Thread context: any thread; the module itself accepts dialogs from one
// thread per process.
#pragma once

#include "dialogs/DialogRunner.h"

namespace quorel {

class ModuleDialogRunner final : public DialogRunner {
 public:
  int CanRun() override;
  int Run(DialogSession &session, HWND owner) override;
};

}  // namespace quorel
