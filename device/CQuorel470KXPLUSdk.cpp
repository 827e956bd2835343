#include "device/CQuorel470KXPLUSdk.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace quorel {

namespace {

constexpr char kModelTag[] = "QrelKX470PLU";
constexpr int kGainBits = 0x1080;

int EncodeGain(int g) {
  return (g & 0x7F) | kGainBits;
}

// One row of the readout-mode table.
struct WindowMode {
  int divisor;
  int mask;  // read-mode bits kept
  int bits;  // read-mode bits set
  int minLineLength;
  int rowTime1, rowTime2;
  bool changesReadMode;
};

WindowMode ModeFor(int mode) {
  switch (mode) {
    case 0:
      return {1, 0xF241, 0x0041, 1780, 256, 1386, true};
    case 1:
      return {2, 0xF2C3, 0x00C3, 1780, 256, 1386, true};
    case 2:
      return {4, 0xF3C7, 0x01C7, 1780, 256, 1386, true};
    case 17:
      return {2, 0xF6C3, 0x04C3, 2560, 568, 2842, true};
    case 18:
      return {4, 0xFFC7, 0x0DC7, 2560, 568, 2842, true};
    default:
      return {1, 0xFFFF, 0, 1780, 256, 1386, false};
  }
}

// Output size of one axis: halves and quarters rounded to a whole Bayer
// period as the sensor requires.
int OutputSize(int size, int divisor) {
  if (divisor == 2) return (size / 2 + 1) & ~1;
  if (divisor == 4) return (size / 4 + 3) & ~3;
  return size;
}

}  // namespace

CQuorel470KXPLUSdk::CQuorel470KXPLUSdk() {
  SetModelTag(kModelTag);
  ProbeUnits();
  // A missing camera still leaves a usable object; the camera object finds
  // out through IsUnitPresent.
  InitUnit(0);
}

CQuorel470KXPLUSdk::~CQuorel470KXPLUSdk() = default;

int CQuorel470KXPLUSdk::InitUnit(int unit) {
  int result = SelectUnit(unit);
  if (result != kSdkOk) return result;
  SendInit();
  InitSensor();
  SetWindow(0, 0, kSensorWidth, kSensorHeight, 0);
  SetMirrorV(0);
  SetTriggerMode(0, 0);
  return kSdkOk;
}

int CQuorel470KXPLUSdk::OrRegister(int address, int bits) {
  int value = 0;
  if (!ReadRegister(address, &value)) return 0;
  return WriteRegister(address, value | bits);
}

int CQuorel470KXPLUSdk::InitSensor() {
  // 1. Reset the sensor's interface and the controller's init port.
  WriteRegister(0x301A, 0x0001);
  int portResult = WritePort(kPortInit, 0);
  // 2. Clock configuration.
  WriteRegister(0x0300, 4);
  WriteRegister(0x0304, 4);
  WriteRegister(kRegClockMultiplier, 32);
  WriteRegister(0x0308, 8);
  // 3.
  OrRegister(0x3016, 0x0101);
  WriteRegister(0x301A, 0x10D0);
  WriteRegister(0x0008, 0x0150);
  WriteRegister(0x301A, 0x10D8);
  // 4.
  WriteRegister(0x316C, 0xB468);
  WriteRegister(0x3044, 0x0594);
  OrRegister(0x3080, 0x0080);
  // 5.
  WriteRegister(0x308E, 0xD66A);
  WriteRegister(0x3098, 0xECA4);
  WriteRegister(0x309A, 0xA5A4);
  WriteRegister(0x309C, 0x9900);
  WriteRegister(0x30B2, 0xC000);
  // 6.
  WriteRegister(0x30E2, 0x00FF);
  WriteRegister(0x30E6, 0x00FF);
  WriteRegister(0x30EA, 0xA404);
  WriteRegister(0x30EE, 0xA40C);
  WriteRegister(0x30F2, 0xA404);
  WriteRegister(0x30FE, 0x705A);
  // 7.
  WriteRegister(0x3100, 0x6C5C);
  WriteRegister(0x3102, 0xA25A);
  WriteRegister(0x3106, 0x581C);
  WriteRegister(0x311A, 0x6E1C);
  WriteRegister(0x3128, 0xA402);
  WriteRegister(0x312A, 0xA602);
  // 8.
  WriteRegister(0x3170, 0x0814);
  WriteRegister(0x317A, 0x8002);
  WriteRegister(0x317C, 0x8002);
  // 9.
  WriteRegister(0x31C0, 0x00FF);
  WriteRegister(0x31C8, 0xA608);
  WriteRegister(0x31CA, 0x00FF);
  WriteRegister(0x31CC, 0x00FF);
  WriteRegister(0x31CE, 0xA502);
  WriteRegister(0x31D0, 0x00FF);
  // 10.
  WriteRegister(0x3088, 0x60F8);
  WriteRegister(0x301A, 0x10DC);
  // 11.
  WriteRegister(0x0202, 0x01B5);
  WriteRegister(0x3028, 8);
  WriteRegister(0x302A, 8);
  WriteRegister(0x302C, 12);
  WriteRegister(0x302E, 8);
  WriteRegister(0x3030, 8);
  WriteRegister(0x3026, 0xFC7F);
  // 12. Start streaming out of the sensor.
  WriteRegister(0x301A, 0x11DC);
  WriteRegister(0x3070, 4);
  return portResult;
}

int CQuorel470KXPLUSdk::SetSampleDepth(int is16) {
  sampleDepth16 = is16 != 0 ? 1 : 0;
  const uint8_t one = 1;
  SendCommand(CMD_SAMPLE_DEPTH, &one, 1);
  WritePort(kPortSampleDepth, 0x84 | (is16 != 0 ? 1 : 0));
  return 1;
}

// --- gains ---

bool CQuorel470KXPLUSdk::IsColorGainRegister(int reg) {
  return reg == kRegGainGreen1 || reg == kRegGainBlue || reg == kRegGainRed || reg == kRegGainGreen2;
}

int CQuorel470KXPLUSdk::SetGlobalGain(int g) {
  return WriteRegister(kRegGlobalGain, EncodeGain(g));
}

int CQuorel470KXPLUSdk::GetGlobalGain() {
  int value = 0;
  if (!ReadRegister(kRegGlobalGain, &value)) return 0;
  return value & 0x7F;
}

int CQuorel470KXPLUSdk::SetColorGain(int reg, int g) {
  if (!IsColorGainRegister(reg)) return 0;
  return WriteRegister(reg, EncodeGain(g));
}

int CQuorel470KXPLUSdk::GetColorGain(int reg, int *g) {
  if (!IsColorGainRegister(reg) || g == nullptr) return 0;
  int value = 0;
  if (!ReadRegister(reg, &value)) return 0;
  *g = value & 0x7F;
  return 1;
}

int CQuorel470KXPLUSdk::GetGlobalGainRange(int *min, int *max, int *def) {
  if (min != nullptr) *min = kGainMin;
  if (max != nullptr) *max = kGainMax;
  if (def != nullptr) *def = kGainDefault;
  return 1;
}

int CQuorel470KXPLUSdk::GetColorGainRange(int reg, int *min, int *max, int *def) {
  if (!IsColorGainRegister(reg)) return 0;
  return GetGlobalGainRange(min, max, def);
}

// --- exposure ---

int CQuorel470KXPLUSdk::SetExposure(int lines) {
  int value = lines & 0xFFFF;
  value = std::clamp(value, 1, kExposureMax);
  return WriteRegister(kRegExposure, value);
}

int CQuorel470KXPLUSdk::GetExposure() {
  int value = 0;
  if (!ReadRegister(kRegExposure, &value)) return 0;
  return value & 0xFFFF;
}

// --- mirroring ---

int CQuorel470KXPLUSdk::SetMirrorBit(int bit, int on) {
  int mode = 0;
  // Writing back a value that was never read would wipe the readout mode.
  if (ReadRegister(kRegReadMode, &mode)) {
    mode = on == 1 ? (mode | bit) : (mode & ~bit);
    WriteRegister(kRegReadMode, mode & 0xFFFF);
  }
  return 0;
}

int CQuorel470KXPLUSdk::SetMirrorH(int on) {
  SetMirrorBit(1 << 14, on);
  mirrorH = on;
  return 0;
}

int CQuorel470KXPLUSdk::SetMirrorV(int on) {
  SetMirrorBit(1 << 15, on);
  mirrorV = on;
  return 0;
}

int CQuorel470KXPLUSdk::GetMirrorHState() {
  int state = 0;
  if (!ReadRegister(kRegMirrorState, &state)) return 0;
  mirrorH = state & 1;
  return mirrorH;
}

int CQuorel470KXPLUSdk::GetMirrorVState() {
  int state = 0;
  if (!ReadRegister(kRegMirrorState, &state)) return 0;
  mirrorV = (state >> 1) & 1;
  return mirrorV;
}

// --- clock ---

int CQuorel470KXPLUSdk::SetClock(int mode) {
  int multiplier = mode == 1 ? 16 : (mode == 2 ? 64 : 32);
  return WriteRegister(kRegClockMultiplier, multiplier);
}

int CQuorel470KXPLUSdk::GetClock(int *mode) {
  int value = 0;
  if (mode == nullptr || !ReadRegister(kRegClockMultiplier, &value)) return 0;
  *mode = value == 16 ? 1 : (value == 64 ? 2 : 0);
  return 1;
}

// --- trigger ---

int CQuorel470KXPLUSdk::SetTriggerMode(int on, int pulse) {
  if (!WritePort(kPortTrigger, on != 0 ? 0x25 : 0)) return 0;
  WriteRegister(0x3046, 0);
  WriteRegister(0x3048, 32);
  WriteRegister(0x3162, 0x9F);
  if (!WriteRegister(0x3160, pulse != 0 ? 4 : 0)) return 0;
  triggerMode = on;
  return 1;
}

// --- window ---

int CQuorel470KXPLUSdk::SetWindow(int x, int y, int width, int height, int mode) {
  if (x < 0 || y < 0 || width < 4 || height < 3 || x > kSensorWidth - width || y > kSensorHeight - height || mode < 0 ||
      mode > 20)
    return 1;
  subSampleMode = mode;
  windowX = x;
  windowY = y;
  windowWidth = width;
  windowHeight = height;
  int readMode = 0;
  const bool haveReadMode = ReadRegister(kRegReadMode, &readMode) != 0;

  const WindowMode m = ModeFor(mode);
  const int ow = OutputSize(width, m.divisor);
  const int oh = OutputSize(height, m.divisor);
  if (m.changesReadMode) readMode = (readMode & m.mask) | m.bits;
  const int lineLen = std::max(ow + 160, m.minLineLength);
  outputWidth = ow;
  outputHeight = oh;
  lineLength = lineLen;

  const int rawWidth = width / m.divisor, rawHeight = height / m.divisor;
  SetGeometry(rawWidth, 0, rawWidth, rawHeight, 0, rawHeight, 4);

  // Hold the sensor's register group so the window changes in one frame.
  WriteRegister(kRegGroupHold, 1);
  // Without a read-mode value to start from, the table's bits alone are the
  // safest complete mode; codes that keep the mode then write nothing.
  if (haveReadMode) {
    WriteRegister(kRegReadMode, readMode & 0xFFFF);
  } else if (m.changesReadMode) {
    WriteRegister(kRegReadMode, m.bits);
  }
  WriteRegister(0x0344, x + 8);
  WriteRegister(0x0348, x + width + 16);
  WriteRegister(0x0346, y + 8);
  WriteRegister(0x034A, y + height + 16);
  WriteRegister(0x0400, 0);
  WriteRegister(0x0404, 16);
  WriteRegister(0x034C, ow);
  WriteRegister(0x034E, oh);
  WriteRegister(kRegLineLength, 2 * lineLen);
  WriteRegister(kRegFrameLength, oh + 345);
  WriteRegister(0x3010, m.rowTime1);
  WriteRegister(0x3014, m.rowTime2);
  WriteRegister(0x3018, 0);
  OrRegister(0x3044, 4);
  OrRegister(kRegReset, 2);
  WriteRegister(kRegGroupHold, 0);

  const auto n = static_cast<uint32_t>(transferSamples);
  WritePort(0, static_cast<int>(n & 0xFF));
  WritePort(1, static_cast<int>((n >> 8) & 0xFF));
  WritePort(2, static_cast<int>((n >> 16) & 0xFF));
  WritePort(3, static_cast<int>((n >> 24) & 0xFF));
  // The controller needs this long to take the new window.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const long bytes = static_cast<long>(transferSamples) * (sampleDepth16 == 1 ? 2 : 1);
  largeTransfer = bytes >= kLargeTransferBytes ? 1 : 0;
  return 0;
}

}  // namespace quorel
