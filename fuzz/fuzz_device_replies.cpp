// What the device library reads from a camera: register, port and serial-ROM
// replies, frame data and the outcome of every request, all taken from the
// fuzzer's bytes through a fake driver channel. The input is a program: each
// operation byte picks a library call (unit selection, geometry, exchanges,
// capture and window copies), and the bytes after it feed the replies.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/CQRLSdkLib.h"
#include "device/DriverChannel.h"
#include "device/PacketLayer.h"

namespace {

// The input, read from the front by the program and the fake device alike.
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

class FakeDevice : public quorel::DriverDevice {
 public:
  explicit FakeDevice(Input *in) : in_(in) {}
  bool Request(uint32_t, const void *, size_t, void *data, size_t length, size_t *moved) override {
    // One byte decides the outcome: fail, short, garbage-length or whole.
    const uint8_t how = in_->Byte();
    if ((how & 3) == 0) return false;
    size_t n = length;
    if ((how & 3) == 1) n = length / (2 + (how >> 2));
    if (data != nullptr && n > 0) {
      auto *out = static_cast<uint8_t *>(data);
      const size_t got = in_->Take(out, std::min<size_t>(n, 64));
      if (n > got) std::memset(out + got, how, n - got);
    }
    if (moved != nullptr) *moved = (how & 3) == 2 ? length + how : n;
    return true;
  }

 private:
  Input *in_;
};

class FakeBackend : public quorel::DriverBackend {
 public:
  explicit FakeBackend(Input *in) : in_(in) {}
  quorel::DeviceHandle Open(const std::string &) override {
    if ((in_->Byte() & 0x0F) == 0) return nullptr;  // a missing unit now and then
    return std::make_unique<FakeDevice>(in_);
  }

 private:
  Input *in_;
};

class Library : public quorel::CQRLSdkLib {
 public:
  Library() { SetModelTag("QrelKX470PLU"); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size, 0};
  auto backend = std::make_shared<FakeBackend>(&in);
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
          // The window copy needs image width x height samples at the depth.
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
  quorel::SetDriverBackendOverride(previous);
  return 0;
}
