// The analog dialog's sensor operations, carried out on the camera's device
// object on the dialog's thread.
#pragma once

#include "device/CQuorel470KXPLUSdk.h"
#include "dialogs/AnalogSensor.h"

namespace quorel {

class DialogSensor final : public AnalogSensor {
 public:
  explicit DialogSensor(CQuorel470KXPLUSdk &device) : device_(device) {}
  void SetGlobalGain(int gain) override { device_.SetGlobalGain(gain); }
  void SetColorGain(int reg, int gain) override { device_.SetColorGain(reg, gain); }
  void SetExposure(int lines) override { device_.SetExposure(lines); }
  void SetMirrorV(int on) override { device_.SetMirrorV(on); }
  void SetMirrorH(int on) override { device_.SetMirrorH(on); }
  void GlobalGainRange(int *minimum, int *maximum, int *fallback) override {
    device_.GetGlobalGainRange(minimum, maximum, fallback);
  }
  void ColorGainRange(int reg, int *minimum, int *maximum, int *fallback) override {
    device_.GetColorGainRange(reg, minimum, maximum, fallback);
  }
  int ExposureMax() override { return device_.GetExposureMax(); }
  int ExposureDefault() override { return device_.GetExposureDefault(); }

 private:
  CQuorel470KXPLUSdk &device_;
};

}  // namespace quorel
