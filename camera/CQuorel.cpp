// Construction, initialisation, Close and teardown of the camera object, its
// error reporting, and the operations that only store or report settings.
#include "camera/CQuorel.h"

#include "camera/PreviewWindow.h"

#include "device/CQuorel470KXPLUSdk.h"
#include "device/DeviceFactory.h"
#include "device/DeviceTable.h"
#include "image/DibImage.h"
#include "output/AviWriter.h"
#include "platform/DebugLog.h"
#include "platform/HostWindows.h"
#include "platform/SharedValue.h"
#include "settings/ConfigurationList.h"
#include "settings/SettingsStore.h"

namespace quorel {

namespace {

constexpr UINT kErrorMessage = QUOREL_WM_ERROR;

// What Quorel_GetColorMode reports for each colour type (the modes with
// 16-bit samples report their 12 significant bits).
constexpr int kReportedBitsOfType[kColorTypeCount] = {8, 12, 24, 32, 44, 60};

}  // namespace

CQuorel::CQuorel()
    : deviceTable_(std::make_unique<DeviceTable>()),
      config_(std::make_unique<ConfigurationList>()),
      avi_(std::make_unique<AviWriter>()),
      acquisition_(*this, AcquisitionSettings{geometry_, format_, filters_, analog_}, *deviceTable_) {}

CQuorel::~CQuorel() {
  // Settings are saved only when they were loaded: a camera whose
  // initialisation failed holds construction zeros, and saving those would
  // wipe the user's stored gains and filters.
  if (settingsLoaded_) SaveSettingsGroups(deviceNumber_);
  Close();
  if (device_ != nullptr) deviceTable_->ReleaseUnit(device_->GetUnitIndex(), notifyWindow_);
  device_.reset();
  config_.reset();
  deviceTable_->Close();
}

int CQuorel::ReportError(int32_t code, const char *operation) {
  errors_.Push(code);
  LogRecordedError(code, operation != nullptr ? operation : "camera");
  if (notifyWindow_ != nullptr) HostPostMessage(notifyWindow_, kErrorMessage, 0, static_cast<LPARAM>(code));
  return 1;
}

void CQuorel::PostError(int32_t code, const char *operation) {
  if (LogEnabled(LogCategory::kErrors, 1)) {
    LogPrint(LogCategory::kErrors, 1, "%s: posted (not recorded) code %d", operation != nullptr ? operation : "camera",
             code);
  }
  HostPostMessage(notifyWindow_, kErrorMessage, 0, static_cast<LPARAM>(code));
}

bool CQuorel::RequireDevice(const char *operation) {
  if (device_ != nullptr) return true;
  ReportError(kErrNotReady, operation);
  return false;
}

int CQuorel::NotAvailable(const char *operation) {
  ReportError(kErrNotReady, operation);
  return 0;
}

void CQuorel::ResetGeometryToSensor() {
  geometry_.horizontalTotal = kSensorWidth;
  geometry_.verticalTotal = kSensorHeight;
  geometry_.width = kSensorWidth;
  geometry_.height = kSensorHeight;
  geometry_.horizontalStart = 0;
  geometry_.verticalStart = 0;
}

AnalogBlock CQuorel::DeviceAnalogDefaults() {
  AnalogBlock defaults;
  int minimum = 0, maximum = 0, fallback = 0;
  device_->GetGlobalGainRange(&minimum, &maximum, &fallback);
  defaults.globalGain = fallback;
  device_->GetColorGainRange(0x3056, &minimum, &maximum, &fallback);
  defaults.colorGainGreen1 = fallback;
  device_->GetColorGainRange(0x305A, &minimum, &maximum, &fallback);
  defaults.colorGainRed = fallback;
  device_->GetColorGainRange(0x3058, &minimum, &maximum, &fallback);
  defaults.colorGainBlue = fallback;
  device_->GetColorGainRange(0x305C, &minimum, &maximum, &fallback);
  defaults.colorGainGreen2 = fallback;
  defaults.exposure = device_->GetExposureDefault();
  defaults.mirrorV = device_->GetMirrorVState();
  defaults.mirrorH = device_->GetMirrorHState();
  defaults.autoIris = 0;
  return defaults;
}

void CQuorel::LoadSettingsGroups(int deviceNumber) {
  LoadFilterGroup(deviceNumber, filters_);
  LoadGrayGroup(deviceNumber, filters_);
  LoadGainGroup(deviceNumber, analog_, [this] { return DeviceAnalogDefaults(); });
  settingsLoaded_ = true;
}

void CQuorel::SaveSettingsGroups(int deviceNumber) {
  SaveGainGroup(deviceNumber, analog_);
  SaveFilterGroup(deviceNumber, filters_);
  SaveGrayGroup(deviceNumber, filters_);
}

// Each value is read as the setters write it (one atomic access): a start on
// one thread writes them to the sensor while the application sets them.
void CQuorel::WriteGainsAndExposureToSensor() {
  device_->SetGlobalGain(LoadShared(analog_.globalGain));
  device_->SetColorGain(0x3056, LoadShared(analog_.colorGainGreen1));
  device_->SetColorGain(0x305A, LoadShared(analog_.colorGainRed));
  device_->SetColorGain(0x3058, LoadShared(analog_.colorGainBlue));
  device_->SetColorGain(0x305C, LoadShared(analog_.colorGainGreen2));
  device_->SetExposure(LoadShared(analog_.exposure));
}

void CQuorel::WriteAnalogBlockToSensor() {
  WriteGainsAndExposureToSensor();
  device_->SetMirrorV(LoadShared(analog_.mirrorV));
  device_->SetMirrorH(LoadShared(analog_.mirrorH));
}

int CQuorel::Initialize(HWND notifyWindow) {
  // Without the cross-process table the camera could not be shared safely;
  // the notification window is not stored yet, so this is recorded only.
  if (!deviceTable_->Open()) {
    ReportError(kErrMemory, "Quorel_Initialize");
    return 0;
  }
  device_ = CreateDeviceObject();
  const bool buffersMissing = !acquisition_.Attach(device_.get(), notifyWindow);
  notifyWindow_ = notifyWindow;
  if (device_ == nullptr || buffersMissing) {
    ReportError(kErrMemory, "Quorel_Initialize");
    return 0;
  }

  LoadSizePreset(deviceNumber_, geometry_);
  if (!IsCaptureWindowValid(geometry_, format_.subSample)) {
    ReportError(kErrGeometry, "Quorel_Initialize");
    ResetGeometryToSensor();
  }
  device_->SetWindow(geometry_.horizontalStart, geometry_.verticalStart, geometry_.width, geometry_.height,
                     format_.subSample);
  previewRect_[0] = 0;
  previewRect_[1] = 0;
  previewRect_[2] = geometry_.width;
  previewRect_[3] = geometry_.height;

  LoadSettingsGroups(deviceNumber_);
  WriteAnalogBlockToSensor();
  LoadFormatValues(deviceNumber_, format_);
  return 1;
}

int CQuorel::Close() {
  std::lock_guard<std::recursive_mutex> state(acquisition_.stateLock());
  DestroyPreviewWindow();
  StopPreview();
  acquisition_.InvalidateImage();
  if (device_ != nullptr) device_->ReleaseCaptureHandle();
  windowClassName_.clear();
  return 1;
}

// --- format, geometry and timing ---

int CQuorel::SetColorMode(int bitsPerPixel) {
  for (int type = kColorType8; type < kColorTypeCount; ++type) {
    if (kBitsOfColorType[type] == bitsPerPixel) {
      StoreShared(format_.colorMode, type);
      return 1;
    }
  }
  ReportError(kErrArgument, "Quorel_SetColorMode");
  return 0;
}

int CQuorel::GetColorMode() const {
  const int type = LoadShared(format_.colorMode);
  // A type outside the table can only come from a hand-edited settings file.
  if (!IsKnownColorType(type)) return -1;
  return kReportedBitsOfType[type];
}

int CQuorel::SetSubSample(int code) {
  if (code != 0 && code != 1 && code != 2 && code != 17 && code != 18) return 0;
  StoreShared(format_.subSample, code);
  return 1;
}

int CQuorel::SetWaitTime(int milliseconds) {
  if (milliseconds < 0) return 0;
  StoreShared(format_.waitTime, milliseconds);
  return 1;
}

int CQuorel::SetHalfClock(int mode) {
  StoreShared(format_.halfClock, mode);
  return 1;
}

int CQuorel::GetHalfClock(int *ok) {
  int mode = 0;
  if (device_ == nullptr || device_->GetClock(&mode) == 0) {
    if (ok != nullptr) *ok = 0;
    PostError(kErrNotReady, "Quorel_GetHalfClock");
    return 0;
  }
  if (ok != nullptr) *ok = 1;
  return mode;
}

int CQuorel::GetCaptureWindowEx(int *hTotal, int *hStart, int *hEffective, int *vTotal, int *vStart,
                                int *vEffective) const {
  if (hTotal != nullptr) *hTotal = geometry_.horizontalTotal;
  if (hStart != nullptr) *hStart = geometry_.horizontalStart;
  if (hEffective != nullptr) *hEffective = geometry_.width;
  if (vTotal != nullptr) *vTotal = geometry_.verticalTotal;
  if (vStart != nullptr) *vStart = geometry_.verticalStart;
  if (vEffective != nullptr) *vEffective = geometry_.height;
  return 1;
}

int CQuorel::SetAutoIris(int mode) {
  if (static_cast<unsigned>(mode) >= 3U) {
    PostError(kErrArgument, "Quorel_SetAutoIris");
    return 0;
  }
  StoreShared(analog_.autoIris, mode);
  return 1;
}

int CQuorel::GetAutoIris(int *ok) {
  if (ok != nullptr) *ok = 1;
  return LoadShared(analog_.autoIris);
}

// --- not supported by this camera ---

int CQuorel::NotSupportedPost() {
  PostError(kErrNotSupported, "not supported");
  return 0;
}

int CQuorel::NotSupportedZero(int *value) {
  if (value != nullptr) *value = 0;
  return 0;
}

int CQuorel::NotSupportedRecord() {
  ReportError(kErrNotSupported, "not supported");
  return -1;
}

}  // namespace quorel
