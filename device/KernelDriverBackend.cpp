#include "device/KernelDriverBackend.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorel {

namespace {

int SystemOpen(const char *path, int flags) {
  return ::open(path, flags);
}

int SystemIoctl(int fd, unsigned long code, QuorelDriverRequest *request) {
  return ::ioctl(fd, code, request);
}

int SystemClose(int fd) {
  return ::close(fd);
}

class KernelDevice : public DriverDevice {
 public:
  KernelDevice(int fd, const KernelCalls &calls) : fd_(fd), calls_(calls) {}
  ~KernelDevice() override { calls_.close(fd_); }
  bool ReadsBlockInKernel() const override { return true; }

  bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength,
               size_t *transferred) override {
    if (transferred != nullptr) *transferred = 0;
    QuorelDriverRequest request{};
    if (code == IOCTL_SET_TIMEOUT) {
      // The time-out block itself is the data of this request.
      request.pipe = 0;
      request.buffer = reinterpret_cast<uintptr_t>(in);
      request.length = inLength;
    } else {
      uint32_t pipe = 0;
      if (in == nullptr || inLength < sizeof(pipe)) return false;
      const auto *bytes = static_cast<const uint8_t *>(in);
      pipe = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
      request.pipe = pipe;
      request.buffer = reinterpret_cast<uintptr_t>(data);
      request.length = dataLength;
    }
    int rc;
    do {
      rc = calls_.ioctl(fd_, static_cast<unsigned long>(code), &request);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) return false;
    if (transferred != nullptr) *transferred = static_cast<size_t>(request.transferred);
    return true;
  }

 private:
  int fd_;
  KernelCalls calls_;
};

}  // namespace

KernelDriverBackend::KernelDriverBackend() : calls_{SystemOpen, SystemIoctl, SystemClose} {}

DeviceHandle KernelDriverBackend::Open(const std::string &path) {
  int fd = calls_.open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<KernelDevice>(fd, calls_);
}

}  // namespace quorel
