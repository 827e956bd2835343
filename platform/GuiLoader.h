// Finds and loads the GUI module (platform/GuiModule.h) the first time a
// window is wanted.
//
// Where: the file named by QUOREL_GUI_MODULE when that is set (build-tree
// tests); otherwise QUOREL_GUI_MODULE_FILE in the directory of the loaded core
// library, found with dladdr, so that a relocated install still finds its
// module. No search of the system's library path: a core only ever uses the
// module installed with it.
//
// A loaded module stays loaded for the life of the process (its windows and
// display connection may outlive any one caller). A failed load is not
// remembered: the next call tries again, so that a module or variable that
// appears later is found. Every outcome is written to the "gui" log.
//
// Thread-safe.
#pragma once

#include <string>

#include "platform/GuiModule.h"

namespace quorel {

// The module's table, or NULL when no usable module can be loaded.
const QuorelGuiModule *LoadGuiModule();

// The file LoadGuiModule would try now.
std::string GuiModuleCandidatePath();

// Tests: make LoadGuiModule return `module` (NULL: load normally again).
void SetGuiModuleForTesting(const QuorelGuiModule *module);

}  // namespace quorel
