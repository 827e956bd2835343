#include "dialogs/ModuleDialogRunner.h"

#include "platform/DebugLog.h"

namespace quorel {

namespace {

constexpr int kErrWindowNotCreated = 4;

}  // namespace

// This build has no GUI module to load the GTK face from.
int ModuleDialogRunner::CanRun() {
  LogPrint(LogCategory::kDialogs, 1, "no GUI module: dialogs cannot be shown");
  return kErrWindowNotCreated;
}

int ModuleDialogRunner::Run(DialogSession &, HWND) {
  return -kErrWindowNotCreated;
}

}  // namespace quorel
