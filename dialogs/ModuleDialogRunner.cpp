#include "dialogs/ModuleDialogRunner.h"

#include <cstddef>

#include "dialogs/GuiDialogBridge.h"
#include "platform/DebugLog.h"
#include "platform/GuiDialogs.h"
#include "platform/GuiLoader.h"
#include "platform/HostWindows.h"

namespace quorel {

namespace {

constexpr int kErrWindowNotCreated = 4;

// The module's dialog table, or null (logged) when there is no module or it
// was built without dialogs.
const QuorelGuiDialogTable *DialogTable() {
  const QuorelGuiModule *module = LoadGuiModule();
  if (module == nullptr) {
    LogPrint(LogCategory::kDialogs, 1, "no GUI module: dialogs cannot be shown");
    return nullptr;
  }
  if (module->size < offsetof(QuorelGuiModule, dialogTable) + sizeof module->dialogTable ||
      module->dialogTable == nullptr) {
    LogPrint(LogCategory::kDialogs, 1, "the GUI module has no dialogs");
    return nullptr;
  }
  const QuorelGuiDialogTable *table = module->dialogTable();
  if (table == nullptr || table->size < sizeof(QuorelGuiDialogTable) || table->version != QUOREL_GUI_DIALOGS_VERSION) {
    LogPrint(LogCategory::kDialogs, 1, "the GUI module's dialogs do not match this library");
    return nullptr;
  }
  return table;
}

}  // namespace

int ModuleDialogRunner::CanRun() {
  const QuorelGuiDialogTable *table = DialogTable();
  return table == nullptr ? kErrWindowNotCreated : table->canRun();
}

int ModuleDialogRunner::Run(DialogSession &session, HWND owner) {
  const QuorelGuiDialogTable *table = DialogTable();
  if (table == nullptr) return -kErrWindowNotCreated;
  // An application's X11 window registered with the host API owns the
  // dialog; message windows and null own nothing on screen.
  const unsigned long ownerXid = owner == nullptr ? 0 : HostWindowXid(owner);
  GuiDialogBridge bridge(session);
  return table->run(bridge.Handle(), &GuiDialogBridge::Ops(), ownerXid);
}

}  // namespace quorel
