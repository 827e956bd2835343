// A driver backend whose devices deliver the frames of one virtual unit's
// frame side (SimFrameSource over a FakeSensorView): a capture command on
// pipe 0 is accepted, a read on pipe 2 returns the next frame. Every path
// but kPath fails to open. Lets the transfer engine be tested and measured
// against real frame content without the packet model.
#pragma once

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "device/DriverChannel.h"
#include "device/sim/SimFrameSource.h"
#include "tests/fakes/FakeSensorView.h"

namespace quorel::test {

class SimFrameBackend : public DriverBackend {
 public:
  static constexpr const char *kPath = "/dev/sim-frames-0";

  explicit SimFrameBackend(sim::SimFrameSourceOptions options) : source_(std::move(options)) {}

  DeviceHandle Open(const std::string &path) override {
    if (path != kPath) return nullptr;
    return std::make_unique<Device>(this);
  }

  FakeSensorView &sensor() { return sensor_; }
  sim::SimFrameSource &source() { return source_; }
  // The driver time-out the reads use (IOCTL_SET_TIMEOUT on the camera).
  void SetTimeoutMs(uint32_t ms) { timeoutMs_ = ms; }

 private:
  class Device : public DriverDevice {
   public:
    explicit Device(SimFrameBackend *owner) : owner_(owner) {}
    bool Request(uint32_t, const void *in, size_t inLength, void *data, size_t dataLength,
                 size_t *transferred) override {
      if (in == nullptr || inLength < 4 || data == nullptr) return false;
      const uint8_t pipe = static_cast<const uint8_t *>(in)[0];
      size_t moved = 0;
      if (pipe == kPipeData) {
        if (!owner_->source_.ReadFrame(owner_->sensor_, static_cast<uint8_t *>(data), dataLength,
                                       owner_->timeoutMs_.load(), &moved)) {
          return false;
        }
      } else {
        moved = dataLength;
      }
      if (transferred != nullptr) *transferred = moved;
      return true;
    }

   private:
    SimFrameBackend *owner_;
  };

  FakeSensorView sensor_;
  sim::SimFrameSource source_;
  std::atomic<uint32_t> timeoutMs_{3000};
};

}  // namespace quorel::test
