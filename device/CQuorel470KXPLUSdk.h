// CQuorel470KXPLUSdk: the device object of the 470KX camera. Knows the
// sensor's register map, its power-up sequence, gains, exposure, mirroring,
// pixel clock, trigger setup and the programming of the readout window with
// sub-sampling or binning. All sensor access is one register exchange per
// call; nothing is cached except the flags named in the base class.
//
// Results: operations that mirror a register exchange return 1 for success
// and 0 for failure; SetWindow, InitUnit and the mirror setters return the
// device library's codes (0 for success).
#pragma once

#include "device/CQRLSdkLib.h"

namespace quorel {

class CQuorel470KXPLUSdk : public CQRLSdkLib {
 public:
  static constexpr int kSensorWidth = 3488;
  static constexpr int kSensorHeight = 2616;
  static constexpr int kGainMin = 0, kGainMax = 127, kGainDefault = 32;
  static constexpr int kExposureMax = 0x3FFF;
  static constexpr int kExposureDefault = 1970;

  // Sensor registers.
  static constexpr int kRegMirrorState = 0x0100;
  static constexpr int kRegGroupHold = 0x0104;
  static constexpr int kRegClockMultiplier = 0x0306;
  static constexpr int kRegFrameLength = 0x0340;
  static constexpr int kRegLineLength = 0x0342;
  static constexpr int kRegExposure = 0x3012;
  static constexpr int kRegReset = 0x301A;
  static constexpr int kRegReadMode = 0x3040;
  static constexpr int kRegGainGreen1 = 0x3056;
  static constexpr int kRegGainBlue = 0x3058;
  static constexpr int kRegGainRed = 0x305A;
  static constexpr int kRegGainGreen2 = 0x305C;
  static constexpr int kRegGlobalGain = 0x305E;

  // Controller ports.
  static constexpr int kPortTrigger = 11;
  static constexpr int kPortSampleDepth = 14;
  static constexpr int kPortInit = 15;
  // Frame transfers of at least this many bytes use the large request.
  static constexpr long kLargeTransferBytes = 3072000;

  // Probes the units and initialises unit 0 (whose outcome is not examined:
  // a missing camera leaves a usable object).
  CQuorel470KXPLUSdk();
  ~CQuorel470KXPLUSdk() override;

  // Selects the unit and brings its sensor to the power-up state: init
  // command, sensor sequence, full window, no vertical mirror, trigger off.
  // 0 or 22.
  int InitUnit(int unit);
  // The sensor's register sequence; the outcome of its port-15 write.
  int InitSensor();
  // Stores the flag, sends CMD_SAMPLE_DEPTH 1 (the controller is switched by
  // port 14, not by the command) and writes port 14. Returns 1.
  int SetSampleDepth(int is16) override;

  // --- gains (0..127, written as (g AND 0x7F) OR 0x1080) ---
  int SetGlobalGain(int g);
  // The global gain (0..127); 0 when the read fails.
  int GetGlobalGain();
  // Only for 0x3056, 0x3058, 0x305A, 0x305C; other registers give 0 without
  // device access.
  int SetColorGain(int reg, int g);
  // Writes the gain into *g; 1, or 0 for another register, a null pointer or
  // a failed read.
  int GetColorGain(int reg, int *g);
  // min 0, max 127, default 32; each pointer may be null. 1.
  int GetGlobalGainRange(int *min, int *max, int *def);
  // As GetGlobalGainRange for a colour gain register; 0 for another register.
  int GetColorGainRange(int reg, int *min, int *max, int *def);

  // --- exposure in lines ---
  // Low 16 bits of lines, 0 made 1, above 0x3FFF made 0x3FFF.
  int SetExposure(int lines);
  // The exposure register; 0 when the read fails.
  int GetExposure();
  int GetExposureMax() const { return kExposureMax; }
  int GetExposureDefault() const { return kExposureDefault; }

  // --- mirroring (0x3040 bit 14 horizontal, bit 15 vertical) ---
  // Returns 0. A failed read of 0x3040 leaves the register alone.
  int SetMirrorH(int on);
  int SetMirrorV(int on);
  // The state bit from 0x0100 (bit 0 horizontal, bit 1 vertical), also
  // stored; 0 when the read fails.
  int GetMirrorHState();
  int GetMirrorVState();
  int GetMirrorH() const { return mirrorH; }
  int GetMirrorV() const { return mirrorV; }

  // --- pixel clock: 0 normal (x32), 1 half (x16), 2 double (x64) ---
  int SetClock(int mode);
  // 1 with *mode set, or 0 when the read fails or mode is null.
  int GetClock(int *mode);

  // Port 11 and the trigger registers; 1, or 0 when the port write or the
  // last register write fails.
  int SetTriggerMode(int on, int pulse);

  // Programs the readout window (full-resolution pixels) with sub-sampling
  // code mode (0, 1, 2, 17, 18; other codes up to 20 leave the read mode
  // alone), sizes the raw ring for the delivered frame and writes the
  // transfer size to ports 0..3. 0, or 1 for a rejected window (nothing
  // written). Must not be called while streaming.
  int SetWindow(int x, int y, int width, int height, int mode);
  // Output size and line length that the last accepted SetWindow programmed.
  int GetOutputWidth() const { return outputWidth; }
  int GetOutputHeight() const { return outputHeight; }
  int GetLineLength() const { return lineLength; }

 private:
  // R |= bits: read, OR, write back; a failed read writes nothing.
  int OrRegister(int address, int bits);
  static bool IsColorGainRegister(int reg);
  int SetMirrorBit(int bit, int on);

  int outputWidth = 0;
  int outputHeight = 0;
  int lineLength = 0;
};

}  // namespace quorel
