// Library and handle exports: version, creating and releasing camera objects,
// and the error history.
#include <memory>
#include <new>

#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

namespace {
constexpr int kDllVersion = 26477855;  // 0x0194051F
}  // namespace

extern "C" {

QUOREL_API int Quorel_GetDllVersion(void) {
  return kDllVersion;
}

QUOREL_API int Quorel_Initialize(HWND notifyWindow) {
  try {
    std::shared_ptr<quorel::CQuorel> camera;
    try {
      camera = std::make_shared<quorel::CQuorel>();
    } catch (const std::bad_alloc &) {
      return 0;
    }
    const int handle = quorel::CSdkChain::Instance().Register(camera);
    if (handle == 0) {
      // The entry could not be allocated: the new camera is destroyed here,
      // before any setting was loaded, so nothing is saved over the user's.
      return 0;
    }
    camera.reset();
    // The camera's own initialisation failure stands in its error history;
    // the handle is returned either way.
    quorel::ForwardToCamera(
        "Quorel_Initialize", handle, 0,
        [&](quorel::CQuorel &created) {
          created.Initialize(notifyWindow);
          return 1;
        },
        [&] { return quorel::FormatArguments("notifyWindow", notifyWindow); });
    return handle;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int Quorel_Release(int handle) {
  try {
    return quorel::CSdkChain::Instance().Release(handle);
  } catch (...) {
    return 0;
  }
}

QUOREL_API int Quorel_GetLastError(int handle) {
  QUOREL_FORWARD(0, camera.GetLastError());
}

}  // extern "C"
