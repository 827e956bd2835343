#include "camera/PreviewWindow.h"

#include <cstdio>
#include <cstdlib>

#include "image/DibImage.h"
#include "platform/Clock.h"
#include "platform/DebugLog.h"
#include "platform/GuiLoader.h"
#include "platform/HostWindows.h"

namespace quorel {

std::string FormPreviewClassName(const void *camera) {
  char name[64];
  const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(camera));
  const uint32_t stamp = TimeGetTime() + static_cast<uint32_t>(std::rand());
  std::snprintf(name, sizeof name, "VideoRenderer_%08x_%08x", address, stamp);
  return name;
}

std::unique_ptr<PreviewWindow> PreviewWindow::Create(const Request &request) {
  QuorelGuiWindowSpec spec{};
  spec.className = request.className.c_str();
  if (request.parent != nullptr) {
    spec.parentXid = HostWindowXid(request.parent);
    if (spec.parentXid == 0) {
      LogPrint(LogCategory::kGui, 1, "no preview window: the parent handle %p names no X11 window",
               static_cast<void *>(request.parent));
      return nullptr;
    }
    spec.left = request.rect[0];
    spec.top = request.rect[1];
    spec.width = request.rect[2];
    spec.height = request.rect[3];
    spec.title = "ActiveMovie Window";
    spec.childId = kPreviewChildId;
  } else {
    if (request.rect[0] == 0 && request.rect[1] == 0 && request.rect[2] == 0 && request.rect[3] == 0) return nullptr;
    spec.width = request.imageWidth;
    spec.height = request.imageHeight;
    spec.title = "Active Window";
  }
  const QuorelGuiModule *module = LoadGuiModule();
  if (module == nullptr) {
    LogPrint(LogCategory::kGui, 1, "no preview window: the GUI module is not available (tried %s)",
             GuiModuleCandidatePath().c_str());
    return nullptr;
  }
  QuorelGuiWindow *window = module->createWindow(&spec);
  if (window == nullptr) return nullptr;
  const HWND handle = HostRegisterWindow(module->windowXid(window));
  if (handle == nullptr) {
    module->destroyWindow(window);
    LogPrint(LogCategory::kGui, 1, "no preview window: the window table is full");
    return nullptr;
  }
  return std::unique_ptr<PreviewWindow>(new PreviewWindow(module, window, handle));
}

PreviewWindow::PreviewWindow(const QuorelGuiModule *module, QuorelGuiWindow *window, HWND handle)
    : module_(module), window_(window), handle_(handle) {}

PreviewWindow::~PreviewWindow() {
  HostDestroyWindow(handle_);
  module_->destroyWindow(window_);
}

unsigned long PreviewWindow::xid() const {
  return module_->windowXid(window_);
}

bool PreviewWindow::VisibleClient(int *width, int *height) {
  QuorelGuiClientState state{};
  if (module_->queryClient(window_, &state) == 0 || state.exists == 0 || state.visible == 0) return false;
  *width = state.width;
  *height = state.height;
  return true;
}

int PreviewWindow::Draw(const DibImage &image, bool bottomUp) {
  if (image.empty() || (image.bitsPerPixel() != 8 && image.bitsPerPixel() != 24)) return 0;
  const QuorelGuiImage view{image.pixels(),       image.width(),
                            image.height(),       image.stride(),
                            image.bitsPerPixel(), reinterpret_cast<const uint8_t *>(image.info().colors),
                            bottomUp ? 1 : 0};
  return module_->paint(window_, &view);
}

}  // namespace quorel
