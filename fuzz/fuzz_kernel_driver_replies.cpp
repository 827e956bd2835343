// What the kernel-driver backend hands up from a driver: every open, every
// ioctl's result, errno and transferred count, and the bytes a read puts into
// the library's buffer, all taken from the fuzzer's bytes through the
// backend's system-call seam. The input is a program as in
// fuzz_device_replies: each operation byte picks a device-library call, and
// the bytes after it feed the driver.
//
// Beyond not crashing, the driver checks what the library asks of it: a
// pipe it does not have, a buffer missing for a transfer that has a length,
// a close of a descriptor it never opened, or a descriptor still open when
// the library object is gone all stop the run.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "device/CQRLSdkLib.h"
#include "device/DriverChannel.h"
#include "device/KernelDriverBackend.h"

namespace {

struct Input {
  const uint8_t *data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  size_t Take(uint8_t *out, size_t want) {
    const size_t n = std::min(want, size - pos);
    if (n > 0) std::memcpy(out, data + pos, n);
    pos += n;
    return n;
  }
};

// The fake driver's state for one input (the seam takes plain functions).
Input *g_in = nullptr;
std::set<int> g_open;
int g_nextFd = 100;

int FakeOpen(const char *path, int) {
  if (path == nullptr) __builtin_trap();
  if ((g_in->Byte() & 0x0F) == 0) {  // a missing unit now and then
    errno = ENOENT;
    return -1;
  }
  const int fd = g_nextFd++;
  g_open.insert(fd);
  return fd;
}

int FakeClose(int fd) {
  if (g_open.erase(fd) != 1) __builtin_trap();  // not one of ours, or closed twice
  return 0;
}

int FakeIoctl(int fd, unsigned long code, QuorelDriverRequest *request) {
  if (g_open.count(fd) != 1 || request == nullptr) __builtin_trap();
  if (request->length > 0 && request->buffer == 0) __builtin_trap();
  const bool timeout = code == quorel::IOCTL_SET_TIMEOUT;
  if (!timeout && request->pipe > 2) __builtin_trap();
  const uint8_t how = g_in->Byte();
  switch (how & 7) {
    case 0:
      errno = EIO;
      return -1;
    case 1:
      errno = EINTR;  // issued again by the backend; the input runs out in time
      return -1;
    case 2:
      errno = ETIMEDOUT;
      return -1;
    default:
      break;
  }
  const uint64_t length = request->length;
  uint64_t moved = length;
  if ((how & 7) == 3) moved = length / (2 + (how >> 3));  // short
  if ((how & 7) == 4) moved = length + 1 + (how >> 3);    // more than asked: a broken driver
  if ((how & 7) == 5) moved = 0;
  // Pipes 1 and 2 carry data to the host: the driver writes the buffer (never
  // past its length, whatever count it reports).
  if (!timeout && request->pipe != 0 && length > 0) {
    auto *out = reinterpret_cast<uint8_t *>(static_cast<uintptr_t>(request->buffer));
    const size_t fill = static_cast<size_t>(std::min(moved, length));
    const size_t got = g_in->Take(out, std::min<size_t>(fill, 64));
    if (fill > got) std::memset(out + got, how, fill - got);
  }
  request->transferred = moved;
  return 0;
}

class Library : public quorel::CQRLSdkLib {
 public:
  Library() { SetModelTag("QrelKX470PLU"); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size, 0};
  g_in = &in;
  g_open.clear();
  auto backend = std::make_shared<quorel::KernelDriverBackend>(quorel::KernelCalls{FakeOpen, FakeIoctl, FakeClose});
  auto previous = quorel::SetDriverBackendOverride(backend);
  {
    Library lib;
    std::vector<uint8_t> dest;
    int steps = 0;
    while (in.pos < in.size && ++steps < 64) {
      const uint8_t op = in.Byte();
      int value = 0;
      unsigned char byte = 0;
      switch (op % 12) {
        case 0:
          lib.ProbeUnits();
          break;
        case 1:
          lib.SelectUnit(static_cast<int8_t>(in.Byte()));
          break;
        case 2: {
          const int lineTotal = 1 + in.Byte();
          const int width = 1 + in.Byte() % lineTotal;
          const int lines = 1 + in.Byte() % 64;
          lib.SetGeometry(lineTotal, in.Byte() % (lineTotal - width + 1), width, lines, 0, 1 + in.Byte() % lines,
                          2 + in.Byte() % 3);
          break;
        }
        case 3:
          lib.ReadRegister(in.Byte() << 8 | in.Byte(), &value);
          break;
        case 4:
          lib.ReadPort(in.Byte(), &byte);
          break;
        case 5:
          lib.ReadSrom(0x1800 + (in.Byte() << 8 | in.Byte()), &byte);
          break;
        case 6:
          lib.ReadSromId(in.Byte(), &byte);
          break;
        case 7:
          lib.CaptureFrame();
          break;
        case 8:
          dest.assign(size_t{2} * static_cast<size_t>(lib.GetImageWidth()) * static_cast<size_t>(lib.GetImageHeight()),
                      0);
          lib.ConvertCaptured(dest.data());
          lib.ConvertNewest(dest.data());
          break;
        case 9:
          lib.SetSampleDepth(in.Byte() & 1);
          break;
        case 10:
          lib.WriteRegister(in.Byte(), in.Byte());
          lib.WritePort(in.Byte(), in.Byte());
          break;
        default:
          lib.SendInit();
          lib.SetTimeout(in.Byte());
          break;
      }
    }
    quorel::SetDriverBackendOverride(nullptr);
  }
  // Every descriptor the library opened is closed once its object is gone.
  if (!g_open.empty()) __builtin_trap();
  quorel::SetDriverBackendOverride(previous);
  g_in = nullptr;
  return 0;
}
