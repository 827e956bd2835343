// Template and control identifiers of the three settings dialogs. They are
// part of the library's interface: applications and tests address controls
// by these numbers.
#pragma once

namespace quorel::dialog_id {

// Templates by language.
inline constexpr int kCameraEnglish = 106;
inline constexpr int kCameraJapanese = 101;
inline constexpr int kFilterFrameEnglish = 108;
inline constexpr int kFilterFrameJapanese = 102;
inline constexpr int kImagePageEnglish = 107;
inline constexpr int kImagePageJapanese = 103;
inline constexpr int kGrayPageEnglish = 112;
inline constexpr int kGrayPageJapanese = 113;
inline constexpr int kAnalogFrameEnglish = 111;
inline constexpr int kAnalogFrameJapanese = 104;
inline constexpr int kAnalogPageEnglish = 110;
inline constexpr int kAnalogPageJapanese = 105;

// Buttons shared by the frames.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kDefault = 3;
inline constexpr int kApply = 1002;
inline constexpr int kTab = 1001;

// Camera dialog.
inline constexpr int kColorList = 1009;
inline constexpr int kSizeList = 1010;
inline constexpr int kSubSampleList = 1012;
inline constexpr int kClockList = 1014;
inline constexpr int kHTotal = 1039;
inline constexpr int kVTotal = 1040;
inline constexpr int kHEffective = 1041;
inline constexpr int kVEffective = 1042;
inline constexpr int kHStart = 1043;
inline constexpr int kVStart = 1044;
inline constexpr int kWaitTime = 1045;

// Image filter page (the gray page shares the automatic and Bayer controls).
inline constexpr int kOnce = 2074;
inline constexpr int kAllFrames = 1035;
inline constexpr int kBayerMode0 = 1030;  // .. 1033 for modes 0 to 3
inline constexpr int kGrayModeBayer = 1046;
inline constexpr int kGrayModeConvert = 1047;
inline constexpr int kGrayModeGrayscale = 1048;

// Analog page.
inline constexpr int kGlobalGainEdit = 1015;
inline constexpr int kExposureEdit = 1027;
inline constexpr int kMirrorV = 1028;
inline constexpr int kMirrorH = 1029;
inline constexpr int kIrisGain = 1036;
inline constexpr int kIrisExposure = 1037;
inline constexpr int kExposureReadout = 1049;

}  // namespace quorel::dialog_id
