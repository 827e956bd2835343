// The calling frame shared by every export: look the handle up, return the
// export's failure value for an unknown handle (recording nothing, since
// there is no camera to record into), otherwise forward to the camera object
// and return its result unchanged. No exception leaves the library.
#pragma once

#include <exception>

#include "api/CSdkChain.h"
#include "camera/CQuorel.h"
#include "platform/DebugLog.h"

namespace quorel {

template <typename Operation>
int ForwardToCamera(const char *exportName, int handle, int failureValue, Operation &&operation) noexcept {
  try {
    std::shared_ptr<CQuorel> camera = CSdkChain::Instance().Lookup(handle);
    if (camera == nullptr) {
      if (LogEnabled(LogCategory::kApi, 2)) LogPrint(LogCategory::kApi, 2, "%s: unknown handle %d", exportName, handle);
      return failureValue;
    }
    const int result = operation(*camera);
    if (LogEnabled(LogCategory::kApi, 3)) LogPrint(LogCategory::kApi, 3, "%s(%d) = %d", exportName, handle, result);
    return result;
  } catch (const std::exception &error) {
    LogPrint(LogCategory::kApi, 1, "%s: internal failure: %s", exportName, error.what());
  } catch (...) {
    LogPrint(LogCategory::kApi, 1, "%s: internal failure", exportName);
  }
  return failureValue;
}

}  // namespace quorel

// Defines an export that forwards to one camera operation.
#define QUOREL_FORWARD(failure, expr)                       \
  return quorel::ForwardToCamera(__func__, handle, failure, \
                                 [&]([[maybe_unused]] quorel::CQuorel &camera) { return (expr); })
