// The module's side of the core's debug log ("gui" category): lines go
// through the host table the core handed over when it loaded the module.
//
// Thread-safe; silent until the host is set and the level enabled.
#pragma once

#include "platform/GuiModule.h"

namespace quorel::gui {

// Keeps a copy of the core's services (NULL: no log).
void SetLogHost(const QuorelGuiHost *host);

bool GuiLogEnabled(int level);

void GuiLog(int level, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace quorel::gui
