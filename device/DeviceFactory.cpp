#include "device/DeviceFactory.h"

#include <new>

namespace quorel {

std::unique_ptr<CQuorel470KXPLUSdk> CreateDeviceObject() {
  try {
    return std::make_unique<CQuorel470KXPLUSdk>();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace quorel
