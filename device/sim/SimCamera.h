// One unit of the virtual 470KX camera: its presence on the bus, sensor
// register file, controller ports 0-15, serial ROM, reply pipe and data pipe,
// answering the 64-byte packet protocol as the camera does. The data pipe is
// served by the unit's SimFrameSource (frame content, pacing, trigger waits,
// frame faults). Shared by every device handle opened on the unit;
// thread-safe: mutex_ guards the packet-side state, and the frame source is
// thread-safe on its own.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/sim/SimConfig.h"
#include "device/sim/SimFrameSource.h"
#include "device/sim/SimRegisterFile.h"
#include "device/sim/SimSensorView.h"

namespace quorel::sim {

class SimCamera : public SimSensorView {
 public:
  static constexpr size_t kPortCount = 16;
  static constexpr size_t kSromSize = 8192;
  static constexpr size_t kSromIdBase = 0x1800;
  static constexpr size_t kSromClockByte = 0x1EB0;

  SimCamera(int unit, const SimConfig &config);
  ~SimCamera() override;

  // SimSensorView.
  uint16_t Register(uint16_t address) const override;
  uint8_t Port(int port) const override;

  // One driver request on a handle of this unit; see DriverDevice::Request.
  // Requests fail while the unit is unplugged.
  bool Request(uint32_t code, const void *in, size_t inLength, void *data, size_t dataLength, size_t *transferred);

  int unit() const { return unit_; }
  bool Present() const;
  void SetPresent(bool present);
  // Arms one fault for the next operation it concerns: "fail-register",
  // "short-frame", "fail-frame", "stall=MS"; false for anything else.
  bool InjectFault(const char *fault);
  // One external trigger pulse.
  void Trigger();

  // For tests: the register writes in order, and their reset.
  std::vector<RegisterWrite> RegisterWriteLog() const;
  void ClearRegisterWriteLog();
  // Serial-ROM byte; 0 outside the ROM.
  uint8_t SromByte(size_t address) const;
  // Last time-out set by the host, ms.
  int TimeoutMs() const;
  // Samples per transfer last sent with CMD_TRANSFER_SIZE.
  uint32_t TransferSamples() const;
  // Frames delivered on the data pipe so far.
  uint32_t FramesDelivered() const { return frames_->FramesDelivered(); }

 private:
  bool HandleCommand(const uint8_t *packet, size_t length);             // mutex_ held
  bool HandleReply(uint8_t *data, size_t length, size_t *transferred);  // mutex_ held
  bool HandleFrame(uint32_t code, void *data, size_t length, size_t *transferred);
  void QueueAnswer(const uint8_t *answer, size_t count);  // mutex_ held

  const int unit_;
  const SimConfig config_;
  mutable std::mutex mutex_;
  bool present_;                                  // guarded by mutex_
  SimRegisterFile registers_;                     // guarded by mutex_
  std::array<uint8_t, kPortCount> ports_{};       // guarded by mutex_
  std::vector<uint8_t> srom_;                     // guarded by mutex_
  std::deque<std::array<uint8_t, 64>> replies_;   // guarded by mutex_
  uint32_t transferSamples_ = 0;                  // guarded by mutex_
  bool depthCommand16_ = false;                   // guarded by mutex_
  int capturesPending_ = 0;                       // guarded by mutex_
  int timeoutMs_ = 3000;                          // guarded by mutex_
  const std::unique_ptr<SimFrameSource> frames_;  // thread-safe itself
};

}  // namespace quorel::sim
