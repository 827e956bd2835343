// The kernel-driver backend: camera units are /dev nodes and requests are
// ioctl(2) calls carrying a QuorelDriverRequest (include/QuorelDriver.h).
#pragma once

#include <string>

#include "device/DriverChannel.h"

namespace quorel {

class KernelDriverBackend : public DriverBackend {
 public:
  DeviceHandle Open(const std::string &path) override;
};

}  // namespace quorel
