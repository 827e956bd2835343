// The camera object's settings blocks, shared by the camera object, the
// settings store, the frame pipeline and the dialogs. Every value is a plain
// signed 32-bit integer, read and written whole.
#pragma once

#include <array>
#include <cstdint>

namespace quorel {

constexpr int kSensorWidth = 3488;
constexpr int kSensorHeight = 2616;

// Capture geometry; the order is that of the size presets ("TH" .. "Buf").
struct CaptureGeometry {
  int32_t horizontalTotal = kSensorWidth;
  int32_t verticalTotal = kSensorHeight;
  int32_t width = kSensorWidth;    // horizontal effective
  int32_t height = kSensorHeight;  // vertical effective
  int32_t horizontalStart = 0;
  int32_t verticalStart = 0;
  int32_t presetBuffer = 4;  // stored and loaded with a preset, otherwise unused
};

// Indices into the 30-entry filter block.
enum FilterEntry : int {
  kBrightness = 0,
  kContrast = 1,
  kHue = 2,
  kSaturation = 3,
  kSharpness = 4,
  kBayerGainRed = 5,
  kBayerGainGreen = 6,
  kBayerGainBlue = 7,
  kGamma = 8,
  kBayerMode = 9,
  kGrayMode = 11,
  kGrayGainR = 12,
  kGrayGainG1 = 13,
  kGrayGainG2 = 14,
  kGrayGainB = 15,
  kGrayOffsetR = 16,
  kGrayOffsetG1 = 17,
  kGrayOffsetG2 = 18,
  kGrayOffsetB = 19,
  kBayerGainAuto = 25,
  kAwbOnceA = 26,  // awbOnce is two flags, always written together
  kAwbOnceB = 27,
  kGrayAutoGain = 29,
  kFilterBlockSize = 30,
};

using FilterBlock = std::array<int32_t, kFilterBlockSize>;

// The analog block, in the order of the "Gain" registry group.
struct AnalogBlock {
  int32_t globalGain = 0;
  int32_t colorGainGreen1 = 0;  // sensor register 0x3056
  int32_t colorGainRed = 0;     // 0x305A
  int32_t colorGainBlue = 0;    // 0x3058
  int32_t colorGainGreen2 = 0;  // 0x305C
  int32_t exposure = 0;         // lines, an unsigned 16-bit value
  int32_t mirrorV = 0;
  int32_t mirrorH = 0;
  int32_t autoIris = 0;  // 0 off, 1 by exposure, 2 by gain
};

// Colour-mode types (FormatValues::colorMode): 8, 16, 24, 32, 48 and 64 bits
// per pixel. 16, 48 and 64 carry 16-bit samples with 12 significant bits.
constexpr int kColorType8 = 0;
constexpr int kColorType16 = 1;
constexpr int kColorType24 = 2;
constexpr int kColorType32 = 3;
constexpr int kColorType48 = 4;
constexpr int kColorType64 = 5;
constexpr int kColorTypeCount = 6;
constexpr int kBitsOfColorType[kColorTypeCount] = {8, 16, 24, 32, 48, 64};

// False for a type outside the table (only a hand-edited settings file holds one).
constexpr bool IsKnownColorType(int type) {
  return type >= kColorType8 && type <= kColorType64;
}

constexpr bool HasSixteenBitSamples(int type) {
  return type == kColorType16 || type == kColorType48 || type == kColorType64;
}

// Width and height of a delivered image are divided by this for the
// sub-sampling code (1 and 17: 2, 2 and 18: 4, 3 and 19: 8, else 1).
constexpr int SubSampleDivisor(int code) {
  switch (code) {
    case 1:
    case 17:
      return 2;
    case 2:
    case 18:
      return 4;
    case 3:
    case 19:
      return 8;
    default:
      return 1;
  }
}

// The capture-window test of initialisation, preparation and the window
// setters: the window lies on the sensor, and codes 3 and 19 are refused.
constexpr bool IsCaptureWindowValid(const CaptureGeometry &g, int subSample) {
  if (g.width < 0 || g.height < 0 || g.horizontalStart < 0 || g.verticalStart < 0) return false;
  if (g.width > kSensorWidth || g.height > kSensorHeight) return false;
  if (g.horizontalStart > kSensorWidth || g.verticalStart > kSensorHeight) return false;
  if (g.horizontalStart + g.width > kSensorWidth || g.verticalStart + g.height > kSensorHeight) return false;
  return subSample != 3 && subSample != 19;
}

// Format values kept directly in the camera's registry key.
struct FormatValues {
  int32_t colorMode = 0;  // type 0..5 for 8, 16, 24, 32, 48, 64 bits per pixel
  int32_t subSample = 0;  // 0, 1, 2, 17, 18
  int32_t waitTime = 10;  // milliseconds
  int32_t halfClock = 0;  // 0 normal, 1 half, 2 double
};

}  // namespace quorel
