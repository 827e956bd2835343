// What the analog gain dialog needs of the sensor: the register writes of
// gains, exposure and mirroring, and the ranges it offers. The camera object
// passes its device object through this; tests pass a recording fake.
//
// Thread context: called only on the dialog's thread.
#pragma once

namespace quorel {

class AnalogSensor {
 public:
  virtual ~AnalogSensor() = default;
  virtual void SetGlobalGain(int gain) = 0;
  virtual void SetColorGain(int reg, int gain) = 0;  // 0x3056, 0x305A, 0x3058, 0x305C
  virtual void SetExposure(int lines) = 0;
  virtual void SetMirrorV(int on) = 0;
  virtual void SetMirrorH(int on) = 0;
  virtual void GlobalGainRange(int *minimum, int *maximum, int *fallback) = 0;
  virtual void ColorGainRange(int reg, int *minimum, int *maximum, int *fallback) = 0;
  virtual int ExposureMax() = 0;
  virtual int ExposureDefault() = 0;
};

// What the camera kept from its last exposure conversion, for the
// millisecond read-out: (lines x line length + fine term) x unit time.
struct ExposureConversion {
  long long lineLength = 0;
  int fineTerm = 0;
  double unitMs = 1.0;  // milliseconds per line-length unit
};

}  // namespace quorel
