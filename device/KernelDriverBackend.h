// The kernel-driver backend: camera units are /dev nodes and requests are
// ioctl(2) calls carrying a QuorelDriverRequest (include/QuorelDriver.h).
#pragma once

#include <string>

#include "QuorelDriver.h"
#include "device/DriverChannel.h"

namespace quorel {

// The three system calls the backend makes. Normally the real ones; a test
// or fuzz target that plays the driver (and so decides every reply, error and
// transferred count) passes its own.
struct KernelCalls {
  int (*open)(const char *path, int flags);
  int (*ioctl)(int fd, unsigned long code, QuorelDriverRequest *request);
  int (*close)(int fd);
};

class KernelDriverBackend : public DriverBackend {
 public:
  KernelDriverBackend();
  explicit KernelDriverBackend(const KernelCalls &calls) : calls_(calls) {}
  DeviceHandle Open(const std::string &path) override;

 private:
  KernelCalls calls_;
};

}  // namespace quorel
