// Listing the attached cameras, naming them, switching a camera object to
// another unit, and the camera's fixed properties.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "camera/CQuorel.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "platform/WideString.h"
#include "settings/SettingsStore.h"

namespace quorel {

namespace {

constexpr const char *kBaseName = "Quorel470KX-PLU";
constexpr int kListedSlots = 10;
constexpr int kSlotChars = 256;
// Address in the serial ROM of the byte that selects the controller clock.
constexpr int kClockSelectAddress = 0x1EB0;
constexpr int kMinimumInfoSize = 36;

// "<base>_NN" as wide characters; false when the base name does not convert.
// A buffer too small for the whole name gets as much as fits, terminated:
// swprintf leaves a short buffer unterminated, so the name is formatted in
// full first and then copied.
bool FormatWideName(int number, wchar_t *out, size_t outCount) {
  wchar_t base[kSlotChars];
  if (outCount == 0 || !Utf8ToWide(kBaseName, base, kSlotChars)) return false;
  wchar_t full[kSlotChars + 8];
  const int length = std::swprintf(full, kSlotChars + 8, L"%ls_%02d", base, number);
  if (length < 0) return false;
  const size_t copied = std::min(static_cast<size_t>(length), outCount - 1);
  std::wmemcpy(out, full, copied);
  out[copied] = L'\0';
  return true;
}

}  // namespace

int CQuorel::EnumDevice(char (*names)[256]) {
  if (!RequireDevice("Quorel_EnumDevice")) return 0;
  // A null slot array still counts the cameras; nothing is written.
  int found = 0;
  for (int unit = 0; unit < device_->GetMaxUnits(); ++unit) {
    device_->ProbeUnits();
    if (device_->IsUnitPresent(unit)) {
      ++found;
      if (names != nullptr) std::snprintf(names[found - 1], kSlotChars, "%s_%02d", kBaseName, found);
    }
  }
  if (names != nullptr) {
    for (int slot = found; slot < kListedSlots; ++slot) names[slot][0] = '\0';
  }
  return found;
}

int CQuorel::EnumDeviceW(wchar_t (*names)[256]) {
  if (!RequireDevice("Quorel_EnumDeviceW")) return 0;
  int found = 0;
  for (int unit = 0; unit < device_->GetMaxUnits(); ++unit) {
    device_->ProbeUnits();
    if (device_->IsUnitPresent(unit)) {
      ++found;
      if (names != nullptr) FormatWideName(found, names[found - 1], kSlotChars);
    }
  }
  if (names != nullptr) {
    for (int slot = found; slot < kListedSlots; ++slot) names[slot][0] = L'\0';
  }
  return found;
}

int CQuorel::GetNarrowName(int index, char *name, int size) {
  if (size <= 14 || index < 0 || index >= device_->GetMaxUnits()) {
    ReportError(kErrArgument, "Quorel_GetDeviceName");
    return 0;
  }
  if (!device_->IsUnitPresent(index)) {
    ReportError(kErrNoCamera, "Quorel_GetDeviceName");
    return 0;
  }
  // The name needs 19 bytes; a smaller buffer gets a truncated, terminated
  // name rather than a write past its end.
  std::snprintf(name, static_cast<size_t>(size), "%s_%02d", kBaseName, index + 1);
  return 1;
}

int CQuorel::GetDeviceName(int index, char *name, int size) {
  if (!RequireDevice("Quorel_GetDeviceName")) return 0;
  if (name == nullptr) {
    ReportError(kErrArgument, "Quorel_GetDeviceName");
    return 0;
  }
  return GetNarrowName(index, name, size);
}

int CQuorel::GetDeviceNameW(int index, wchar_t *name, int size) {
  if (!RequireDevice("Quorel_GetDeviceNameW")) return 0;
  if (name == nullptr || size <= 14 || index < 0 || index >= device_->GetMaxUnits()) {
    ReportError(kErrArgument, "Quorel_GetDeviceNameW");
    return 0;
  }
  if (!device_->IsUnitPresent(index) || !FormatWideName(index + 1, name, static_cast<size_t>(size))) {
    ReportError(kErrNoCamera, "Quorel_GetDeviceNameW");
    return 0;
  }
  return 1;
}

int CQuorel::SetDeviceNumber(int index) {
  std::lock_guard<std::recursive_mutex> state(acquisition_.stateLock());
  if (!RequireDevice("Quorel_SetDeviceNumber")) return 0;
  SaveSettingsGroups(deviceNumber_);
  if (!device_->IsUnitPresent(index) || device_->InitUnit(index) != 0) {
    ReportError(kErrNoCamera, "Quorel_SetDeviceNumber");
    return 0;
  }
  LoadSettingsGroups(index);
  WriteAnalogBlockToSensor();
  unsigned char clockByte = 0;
  if (device_->ReadSrom(kClockSelectAddress, &clockByte) != 0) {
    if (clockByte == 1) device_->SetClockSelect(0);
    if (clockByte == 2) device_->SetClockSelect(1);
  }
  deviceNumber_ = index;
  return 1;
}

int CQuorel::GetCameraInfo(QuorelCameraInfo *info) {
  if (!RequireDevice("Quorel_GetCameraInfo")) return 0;
  if (info == nullptr) {
    ReportError(kErrArgument, "Quorel_GetCameraInfo");
    return 0;
  }
  // Widened to 64 bits and compared unsigned, so a negative size passes.
  if (static_cast<uint64_t>(static_cast<int64_t>(info->size)) < static_cast<uint64_t>(kMinimumInfoSize)) {
    ReportError(kErrMemory, "Quorel_GetCameraInfo");
    return 0;
  }
  int minimum = 0, maximum = 0, fallback = 0;
  info->width = kSensorWidth;
  info->height = kSensorHeight;
  device_->GetGlobalGainRange(&minimum, &maximum, &fallback);
  info->globalGainMin = minimum & 0xFF;
  info->globalGainMax = maximum & 0xFF;
  device_->GetColorGainRange(0x305A, &minimum, &maximum, &fallback);
  info->colorGainMin = minimum & 0xFF;
  info->colorGainMax = maximum & 0xFF;
  info->exposureMin = 0;
  info->exposureMax = device_->GetExposureMax() & 0xFFFF;
  return 1;
}

}  // namespace quorel
