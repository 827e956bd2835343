// Camera-object operations that reach the sensor at once: capture window,
// mirrors, real exposure time, registers, serial ROM and the I/O port.
#include <vector>

#include "camera/CQuorel.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "device/ExposureMath.h"
#include "platform/SharedValue.h"
#include "settings/SettingsStore.h"

namespace quorel {

namespace {
constexpr int kUserIoPort = 7;
}  // namespace

int CQuorel::SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal, int vStart, int vEffective) {
  if (!RequireDevice("Quorel_SetCaptureWindowEx")) return 0;
  geometry_.horizontalTotal = hTotal;
  geometry_.horizontalStart = hStart;
  geometry_.width = hEffective;
  geometry_.verticalTotal = vTotal;
  geometry_.verticalStart = vStart;
  geometry_.height = vEffective;
  const int subSample = LoadShared(format_.subSample);
  if (!IsCaptureWindowValid(geometry_, subSample)) {
    ReportError(kErrGeometry, "Quorel_SetCaptureWindowEx");
    return 0;
  }
  device_->SetWindow(hStart, vStart, hEffective, vEffective, subSample);
  return 1;
}

int CQuorel::SetCaptureWindow(int width, int height) {
  if (!RequireDevice("Quorel_SetCaptureWindow")) return 0;
  std::vector<CaptureGeometry> presets;
  const CaptureGeometry *match = nullptr;
  if (ReadRootPresets(presets) != 0) {
    for (const CaptureGeometry &preset : presets) {
      if (preset.width == width && preset.height == height) {
        match = &preset;
        break;
      }
    }
  }
  if (match == nullptr) {
    ReportError(kErrWindow, "Quorel_SetCaptureWindow");
    return 0;
  }
  geometry_ = *match;
  const int subSample = LoadShared(format_.subSample);
  if (!IsCaptureWindowValid(geometry_, subSample)) {
    ReportError(kErrGeometry, "Quorel_SetCaptureWindow");
    ResetGeometryToSensor();
  }
  device_->SetWindow(geometry_.horizontalStart, geometry_.verticalStart, geometry_.width, geometry_.height, subSample);
  return 1;
}

int CQuorel::SetMirrorH(int on) {
  if (!RequireDevice("Quorel_SetMirrorH")) return 0;
  const int flag = on != 0 ? 1 : 0;
  device_->SetMirrorH(flag);
  StoreShared(analog_.mirrorH, flag);
  return 1;
}

int CQuorel::SetMirrorV(int on) {
  if (device_ == nullptr) {
    PostError(kErrNotReady, "Quorel_SetMirrorV");
    return 0;
  }
  const int flag = on != 0 ? 1 : 0;
  device_->SetMirrorV(flag);
  StoreShared(analog_.mirrorV, flag);
  return 1;
}

int CQuorel::GetMirrorH() {
  if (!RequireDevice("Quorel_GetMirrorH")) return 0;
  return LoadShared(analog_.mirrorH);
}

int CQuorel::GetMirrorV() {
  if (device_ == nullptr) {
    PostError(kErrNotReady, "Quorel_GetMirrorV");
    return 0;
  }
  return LoadShared(analog_.mirrorV);
}

int CQuorel::GetRealExposureTime(int *ok) {
  if (device_ == nullptr) {
    ReportError(kErrNotReady, "Quorel_GetRealExposureTime");
    if (ok != nullptr) *ok = 0;
    return 0;
  }
  const int halfClock = LoadShared(format_.halfClock);
  const int lineLength = LineLength(LoadShared(format_.subSample), geometry_.width);
  const double unit = ExposureUnitMs(halfClock);
  const int micros = RealExposureMicros(LoadShared(analog_.exposure), lineLength, halfClock);
  exposureLineLength_ = lineLength;
  exposureFine_ = 0;
  exposureUnit_ = unit;
  exposureResult_ = micros;
  if (ok != nullptr) *ok = 1;
  return micros;
}

int CQuorel::SetRealExposureTime(int microseconds) {
  if (!RequireDevice("Quorel_SetRealExposureTime")) return 0;
  const int halfClock = LoadShared(format_.halfClock);
  const int lineLength = LineLength(LoadShared(format_.subSample), geometry_.width);
  const double unit = ExposureUnitMs(halfClock);
  const int64_t lines = ExposureLinesFromMicros(microseconds, lineLength, halfClock);
  exposureLineLength_ = lineLength;
  exposureFine_ = 0;
  exposureUnit_ = unit;
  if (lines < 0 || lines > device_->GetExposureMax()) {
    ReportError(kErrArgument, "Quorel_SetRealExposureTime");
    return 0;
  }
  StoreShared(analog_.exposure, static_cast<int32_t>(lines));
  device_->SetExposure(static_cast<int>(lines));
  return 1;
}

int CQuorel::ReadRegister(int reg, int *ok) {
  if (ok != nullptr) *ok = 0;
  if (!RequireDevice("Quorel_ReadRegister")) return 0;
  int value = 0;
  if (device_->ReadRegister(reg, &value) == 0) {
    ReportError(kErrDevice, "Quorel_ReadRegister");
    return 0;
  }
  if (ok != nullptr) *ok = 1;
  return value;
}

int CQuorel::WriteRegister(int reg, int value) {
  if (!RequireDevice("Quorel_WriteRegister")) return 0;
  if (device_->WriteRegister(reg, value) == 0) {
    ReportError(kErrDevice, "Quorel_WriteRegister");
    return 0;
  }
  return 1;
}

int CQuorel::ReadSromID(int index, int *ok) {
  unsigned char byte = 0;
  if (device_ == nullptr || device_->ReadSromId(index, &byte) == 0) {
    if (ok != nullptr) *ok = 0;
    PostError(kErrNotReady, "Quorel_ReadSromID");
    return 0;
  }
  if (ok != nullptr) *ok = 1;
  return byte;
}

int CQuorel::WriteSromID(int index, int value) {
  if (device_ == nullptr || device_->WriteSromId(index, value) == 0) {
    PostError(kErrNotReady, "Quorel_WriteSromID");
    return 0;
  }
  return 1;
}

int CQuorel::GetIOPort(unsigned char *value) {
  if (value == nullptr) {
    PostError(kErrArgument, "Quorel_GetIOPort");
    return 0;
  }
  if (device_ == nullptr) {
    PostError(kErrNotReady, "Quorel_GetIOPort");
    return 0;
  }
  unsigned char byte = 0;
  device_->ReadPort(kUserIoPort, &byte);
  *value = byte;
  return 1;
}

int CQuorel::SetIOPort(int value) {
  if (device_ == nullptr) {
    PostError(kErrNotReady, "Quorel_SetIOPort");
    return 0;
  }
  return device_->WritePort(kUserIoPort, value);
}

}  // namespace quorel
