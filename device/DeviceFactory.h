// Creates the device object a camera object owns.
#pragma once

#include <memory>

#include "device/CQuorel470KXPLUSdk.h"

namespace quorel {

// A new device object (probed, unit 0 initialised), or nullptr when it cannot
// be built. Never throws.
std::unique_ptr<CQuorel470KXPLUSdk> CreateDeviceObject();

}  // namespace quorel
