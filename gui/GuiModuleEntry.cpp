// The module's one export: the function table of platform/GuiModule.h.
// Every entry catches: no exception leaves the module.
#include <memory>

#include "gui/GuiLog.h"
#include "gui/X11PreviewWindow.h"
#include "platform/GuiModule.h"

// Defined by the dialogs part of the module (gui/dialogs/) when it is built
// in; weak, so the module links and reports no dialogs without it.
extern "C" const struct QuorelGuiDialogTable *QuorelGuiDialogs_GetTable(void) __attribute__((weak));

namespace quorel::gui {
namespace {

X11PreviewWindow *Unwrap(QuorelGuiWindow *window) {
  return reinterpret_cast<X11PreviewWindow *>(window);
}

QuorelGuiWindow *CreateWindow(const QuorelGuiWindowSpec *spec) {
  if (spec == nullptr) return nullptr;
  try {
    return reinterpret_cast<QuorelGuiWindow *>(X11PreviewWindow::Create(*spec).release());
  } catch (...) {
    GuiLog(1, "preview window not created: out of memory");
    return nullptr;
  }
}

void DestroyWindow(QuorelGuiWindow *window) {
  try {
    std::unique_ptr<X11PreviewWindow> owned(Unwrap(window));
  } catch (...) {
  }
}

unsigned long WindowXid(const QuorelGuiWindow *window) {
  return window == nullptr ? 0 : reinterpret_cast<const X11PreviewWindow *>(window)->xid();
}

int QueryClient(QuorelGuiWindow *window, QuorelGuiClientState *state) {
  if (window == nullptr || state == nullptr) return 0;
  try {
    Unwrap(window)->Query(*state);
    return 1;
  } catch (...) {
    return 0;
  }
}

int Paint(QuorelGuiWindow *window, const QuorelGuiImage *image) {
  if (window == nullptr || image == nullptr) return 0;
  try {
    return Unwrap(window)->Paint(*image);
  } catch (...) {
    return 0;
  }
}

const QuorelGuiDialogTable *NoDialogs() {
  return nullptr;
}

const QuorelGuiModule kModule = {
    sizeof(QuorelGuiModule),
    QUOREL_GUI_INTERFACE_VERSION,
    CreateWindow,
    DestroyWindow,
    WindowXid,
    QueryClient,
    Paint,
    QuorelGuiDialogs_GetTable != nullptr ? QuorelGuiDialogs_GetTable : NoDialogs,
    {},
};

}  // namespace
}  // namespace quorel::gui

extern "C" __attribute__((visibility("default"))) const QuorelGuiModule *QuorelGui_GetModule(
    uint32_t version, const QuorelGuiHost *host) {
  if (version != QUOREL_GUI_INTERFACE_VERSION) return nullptr;
  quorel::gui::SetLogHost(host);
  return &quorel::gui::kModule;
}
