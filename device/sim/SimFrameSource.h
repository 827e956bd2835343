// The frame side of one virtual unit: what its data pipe delivers after a
// capture command. The unit's packet model (register file, ports, protocol)
// owns one SimFrameSource and calls ReadFrame from its pipe-2 read; the
// QuorelSim_* entry points call Trigger, InjectFault and SetPresent.
//
// Usage from the unit's data pipe:
//
//   size_t moved = 0;
//   bool ok = frames.ReadFrame(sensorView, buffer, length, timeoutMs, &moved);
//   // the request succeeds with `moved` bytes when ok, else fails
//
// A read waits as the camera would: in trigger mode (port 11 = 0x25) for a
// pulse, bounded by the driver time-out; otherwise for the next frame at the
// configured pacing. It then delivers the programmed transfer size
// (ports 0-3, times 2 at 16-bit depth), or `length` if that is smaller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "device/sim/SimFrameFaults.h"
#include "device/sim/SimFrameGenerator.h"
#include "device/sim/SimFramePacer.h"
#include "device/sim/SimSceneSettings.h"
#include "device/sim/SimSensorView.h"
#include "device/sim/SimTrigger.h"

namespace quorel::sim {

struct SimFrameSourceOptions {
  SimSceneSettings scene;
  SimPacing pacing;              // fps=
  uint32_t triggerPeriodMs = 0;  // trigger=MS; 0: only explicit pulses
};

class SimFrameSource {
 public:
  explicit SimFrameSource(SimFrameSourceOptions options);
  // Ends any wait in progress; the owner must not destroy the source while a
  // ReadFrame is running on another thread.
  ~SimFrameSource();
  SimFrameSource(const SimFrameSource &) = delete;
  SimFrameSource &operator=(const SimFrameSource &) = delete;

  // One frame into dst[0, length). True with *moved bytes written (the
  // programmed transfer size or `length`, whichever is smaller; about half
  // of it once after a "short-frame" fault). False with *moved = 0 when:
  // the unit is absent or is unplugged during the wait; a "fail-frame" fault
  // is armed; in trigger mode no pulse comes within timeoutMs (0: no
  // limit); otherwise the paced frame would come later than timeoutMs;
  // the scene cannot be shown (the
  // reason goes to stderr once). A "stall=MS" fault delays the frame by MS
  // whatever the time-out. Thread context: one reader at a time (further
  // readers queue); may block for the frame time, the trigger time-out or a
  // stall; an unplug ends any of these waits.
  bool ReadFrame(const SimSensorView &view, uint8_t *dst, size_t length, uint32_t timeoutMs, size_t *moved);

  // One external trigger pulse. Any thread.
  void Trigger() { trigger_.Pulse(); }
  // Arms a fault (SimFrameFaults::Inject). Any thread.
  bool InjectFault(const char *fault);
  // "fail-register" is the packet model's to act on: true once after it
  // was armed. Any thread.
  bool TakeRegisterFault() { return faults_.TakeFailRegister(); }
  // Plugs or unplugs the unit; unplugging ends a read in progress. Any thread.
  void SetPresent(bool present);
  bool Present() const { return present_.load(std::memory_order_acquire); }

  // Frames delivered so far (the counter scene's next frame number). Any thread.
  uint32_t FramesDelivered() const { return delivered_.load(std::memory_order_acquire); }

 private:
  SimFrameFaults faults_;
  SimTrigger trigger_;
  std::atomic<bool> present_{true};
  std::atomic<uint32_t> delivered_{0};
  std::mutex readMutex_;         // one reader at a time; guards the members below
  SimFramePacer pacer_;          // guarded by readMutex_
  SimFrameGenerator generator_;  // guarded by readMutex_
  std::string lastError_;        // guarded by readMutex_: the scene error already reported
};

}  // namespace quorel::sim
