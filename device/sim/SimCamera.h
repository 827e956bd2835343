// One unit of the virtual 470KX camera: its presence on the bus, sensor
// register file, controller ports 0-15, serial ROM, reply pipe and data pipe,
// answering the 64-byte packet protocol as the camera does. Shared by every
// device handle opened on the unit; thread-safe (mutex_ guards all state
// the frame counter is atomic).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/sim/SimConfig.h"
#include "device/sim/SimRegisterFile.h"
#include "device/sim/SimSensorView.h"

namespace quorel::sim {

// Misbehaviour asked for with QuorelSim_InjectFault.
struct SimFaults {
  bool failRegister = false;  // register exchanges fail until cleared
  int shortFrames = 0;        // the next N frames are one sample short
  int failFrames = 0;         // the next N frame requests fail
  int stallMs = 0;            // the next frame request waits this long first
};

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
  // "fail-register", "short-frame", "fail-frame", "stall=MS", or "clear";
  // false for anything else.
  bool InjectFault(std::string_view fault);
  SimFaults Faults() const;
  // One external trigger pulse (counted; the frame side consumes it).
  void Trigger();
  int PendingTriggers() const;

  // For tests: the register writes in order, and their reset.
  std::vector<RegisterWrite> RegisterWriteLog() const;
  void ClearRegisterWriteLog();
  // Serial-ROM byte; 0 outside the ROM.
  uint8_t SromByte(size_t address) const;
  // Last time-out set by the host, ms.
  int TimeoutMs() const;
  // Bytes of one frame as programmed (transfer size x sample bytes); 0 when
  // no transfer size was sent yet.
  size_t FrameBytes() const;
  // Frames delivered on the data pipe so far.
  uint32_t FramesDelivered() const { return framesDelivered_.load(); }

 private:
  bool HandleCommand(const uint8_t *packet, size_t length);             // mutex_ held
  bool HandleReply(uint8_t *data, size_t length, size_t *transferred);  // mutex_ held
  bool HandleFrame(uint32_t code, void *data, size_t length, size_t *transferred);
  void QueueAnswer(const uint8_t *answer, size_t count);  // mutex_ held
  size_t FrameBytesLocked() const;                        // mutex_ held

  const int unit_;
  const SimConfig config_;
  mutable std::mutex mutex_;
  bool present_;                                 // guarded by mutex_
  SimRegisterFile registers_;                    // guarded by mutex_
  std::array<uint8_t, kPortCount> ports_{};      // guarded by mutex_
  std::vector<uint8_t> srom_;                    // guarded by mutex_
  std::deque<std::array<uint8_t, 64>> replies_;  // guarded by mutex_
  uint32_t transferSamples_ = 0;                 // guarded by mutex_
  bool depthCommand16_ = false;                  // guarded by mutex_
  int capturesPending_ = 0;                      // guarded by mutex_
  int timeoutMs_ = 3000;                         // guarded by mutex_
  int triggers_ = 0;                             // guarded by mutex_
  SimFaults faults_;                             // guarded by mutex_
  std::atomic<uint32_t> framesDelivered_{0};
};

}  // namespace quorel::sim
