// The sensor operations the frame pipeline needs, implemented by the camera
// object over its device object. Called on the acquisition thread while the
// camera's frame lock is held.
#pragma once

namespace quorel {

class PipelineDevice {
 public:
  virtual ~PipelineDevice() = default;

  // Current global analog gain, 7 bits (0 to 127).
  virtual int GetGlobalGain() = 0;
  virtual void SetGlobalGain(int gain) = 0;
  // Current exposure in lines.
  virtual int GetExposure() = 0;
  virtual void SetExposure(int lines) = 0;
  // Largest exposure in lines the sensor accepts (0x3FFF).
  virtual int GetExposureMax() = 0;
};

}  // namespace quorel
