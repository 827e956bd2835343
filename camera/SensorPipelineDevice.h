// The frame pipeline's sensor operations (used by the automatic iris),
// carried out on the camera's device object.
#pragma once

#include "device/CQuorel470KXPLUSdk.h"
#include "image/PipelineDevice.h"

namespace quorel {

class SensorPipelineDevice final : public PipelineDevice {
 public:
  explicit SensorPipelineDevice(CQuorel470KXPLUSdk &device) : device_(device) {}
  int GetGlobalGain() override { return device_.GetGlobalGain(); }
  void SetGlobalGain(int gain) override { device_.SetGlobalGain(gain); }
  int GetExposure() override { return device_.GetExposure(); }
  void SetExposure(int lines) override { device_.SetExposure(lines); }
  int GetExposureMax() override { return device_.GetExposureMax(); }

 private:
  CQuorel470KXPLUSdk &device_;
};

}  // namespace quorel
