// Where the virtual camera puts the picture inside one raw frame. The host
// computes its raw-frame geometry when it programs the window; the camera only
// sees the registers that programming left behind, so this works the same
// geometry out again from them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/sim/SimSensorView.h"

namespace quorel::sim {

inline constexpr int kSensorWidth = 3488;
inline constexpr int kSensorHeight = 2616;

// Sensor registers and controller ports that shape a frame.
inline constexpr uint16_t kRegClockMultiplier = 0x0306;
inline constexpr uint16_t kRegFrameLength = 0x0340;
inline constexpr uint16_t kRegLineLength = 0x0342;
inline constexpr uint16_t kRegColumnStart = 0x0344;
inline constexpr uint16_t kRegRowStart = 0x0346;
inline constexpr uint16_t kRegColumnEnd = 0x0348;
inline constexpr uint16_t kRegRowEnd = 0x034A;
inline constexpr uint16_t kRegOutputWidth = 0x034C;
inline constexpr uint16_t kRegOutputHeight = 0x034E;
inline constexpr uint16_t kRegExposure = 0x3012;
inline constexpr uint16_t kRegReadMode = 0x3040;
inline constexpr uint16_t kRegGainGreen1 = 0x3056;
inline constexpr uint16_t kRegGainBlue = 0x3058;
inline constexpr uint16_t kRegGainRed = 0x305A;
inline constexpr uint16_t kRegGainGreen2 = 0x305C;
inline constexpr uint16_t kRegGainGlobal = 0x305E;
inline constexpr int kPortTrigger = 11;
inline constexpr int kPortSampleDepth = 14;
inline constexpr uint8_t kTriggerOn = 0x25;

// Read-mode bits.
inline constexpr uint16_t kReadModeSkip2 = 0x0002;
inline constexpr uint16_t kReadModeSkip4 = 0x0004;
inline constexpr uint16_t kReadModeBinning = 0x0400;
inline constexpr uint16_t kReadModeMirrorH = 0x4000;
inline constexpr uint16_t kReadModeMirrorV = 0x8000;

struct SimFrameLayout {
  // False when the window registers do not describe a window the host could
  // have programmed (e.g. never programmed); every other field is then 0.
  bool valid = false;
  // Window on the sensor, full-resolution pixels.
  int windowX = 0;
  int windowY = 0;
  int windowWidth = 0;
  int windowHeight = 0;
  int divisor = 1;       // 1, 2 or 4: sensor pixels per delivered pixel, each way
  bool binning = false;  // true: groups are averaged; false: rows/columns skipped
  bool mirrorH = false;
  bool mirrorV = false;
  // The host's raw-frame geometry, in samples and rows.
  int lineTotal = 0;
  int lineStart = 0;
  int imageWidth = 0;
  int frameLines = 0;
  int imageTop = 0;
  int imageHeight = 0;
  // (imageTop + imageHeight) x lineTotal raised to a multiple of 1024.
  size_t transferSamples = 0;
};

// The sensor's output size for `size` full-resolution pixels at `divisor`
// (1: as is; 2: half raised to even; 4: quarter raised to a multiple of 4).
int SimOutputSize(int size, int divisor);

// The raw-frame layout the host computed when it last programmed the window.
// Thread context: any; reads the view only.
SimFrameLayout DeriveFrameLayout(const SimSensorView &view);

// Samples per frame transfer as programmed on ports 0 to 3.
size_t ProgrammedTransferSamples(const SimSensorView &view);
// True when port 14 asks for 16-bit samples.
bool Programmed16Bit(const SimSensorView &view);
// Bytes per frame transfer: the programmed samples, times 2 at 16-bit depth.
size_t ProgrammedTransferBytes(const SimSensorView &view);

}  // namespace quorel::sim
