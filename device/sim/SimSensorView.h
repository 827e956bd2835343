// Read-only view of the virtual camera's sensor registers and controller
// ports, through which the frame generator learns what the host programmed
// (window, sub-sampling, mirrors, exposure, gains, clock, sample depth,
// transfer size, trigger mode).
#pragma once

#include <cstdint>

namespace quorel::sim {

class SimSensorView {
 public:
  virtual ~SimSensorView() = default;
  // The 16-bit value of a sensor register as last written (or its reset value).
  virtual uint16_t Register(uint16_t address) const = 0;
  // The byte of a controller port as last written.
  virtual uint8_t Port(int port) const = 0;
};

}  // namespace quorel::sim
