#include "dialogs/DialogRunner.h"

#include <mutex>

#include "dialogs/ModuleDialogRunner.h"

namespace quorel {

namespace {

std::mutex g_runnerLock;  // guards g_installed
DialogRunner *g_installed = nullptr;

}  // namespace

DialogRunner &ActiveDialogRunner() {
  {
    std::lock_guard<std::mutex> lock(g_runnerLock);
    if (g_installed != nullptr) return *g_installed;
  }
  static ModuleDialogRunner module;
  return module;
}

void InstallDialogRunner(DialogRunner *runner) {
  std::lock_guard<std::mutex> lock(g_runnerLock);
  g_installed = runner;
}

}  // namespace quorel
