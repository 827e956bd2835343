// The three settings dialogs as the camera runs them: what is stopped,
// copied and restored around each, and how the frame pipeline reaches an
// open dialog.
//
// Each dialog runs modally on the calling thread through the active dialog
// runner (the GUI module, or the scripted driver in tests). When no dialog
// can be shown (no display, no GUI module: code 4; GTK bound to another
// thread, or a dialog of the same kind already open: code 1) the export
// fails before it touches acquisition or settings.
//
// The frame thread calls into an open dialog only while it holds the frame
// lock; after clearing its pointer the launcher waits out a frame in
// progress, so a dialog is never destroyed under a frame telling it about a
// measurement.
#include <array>

#include "camera/CQuorel.h"
#include "camera/DialogSensor.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "dialogs/CAnalogDlg.h"
#include "dialogs/CCameraDlg.h"
#include "dialogs/CImageFilterDlg.h"
#include "dialogs/DialogRunner.h"
#include "dialogs/DialogTemplates.h"
#include "dialogs/SliderRows.h"
#include "platform/SharedValue.h"
#include "settings/SettingsStore.h"

namespace quorel {

namespace {

constexpr char kCameraDlg[] = "Quorel_SetCameraDlg";
constexpr char kImageDlg[] = "Quorel_SetImageDlg";
constexpr char kAnalogDlg[] = "Quorel_SetAnalogDlg";

bool SameGeometry(const CaptureGeometry &a, const CaptureGeometry &b) {
  return a.horizontalTotal == b.horizontalTotal && a.verticalTotal == b.verticalTotal && a.width == b.width &&
         a.height == b.height && a.horizontalStart == b.horizontalStart && a.verticalStart == b.verticalStart &&
         a.presetBuffer == b.presetBuffer;
}

bool SameFormat(const FormatValues &a, const FormatValues &b) {
  return a.colorMode == b.colorMode && a.subSample == b.subSample && a.waitTime == b.waitTime &&
         a.halfClock == b.halfClock;
}

}  // namespace

// The error code that keeps a dialog from being shown now, or 0.
int CQuorel::DialogBlocked(DialogRunner &runner, const char *operation) {
  if (!RequireDevice(operation)) return kErrNotReady;
  const int code = runner.CanRun();
  if (code != 0) ReportError(code, operation);
  return code;
}

int CQuorel::SetCameraDlg(HWND owner) {
  DialogRunner &runner = ActiveDialogRunner();
  if (DialogBlocked(runner, kCameraDlg) != 0) return 0;
  std::unique_ptr<CCameraDlg> dialog = CCameraDlg::TryCreate(deviceNumber_, CurrentDialogLanguage());
  if (dialog == nullptr) {
    ReportError(kErrNotReady, kCameraDlg);
    return 0;
  }
  // No worker may read the format while the camera reloads it.
  const AcquisitionMode mode = acquisition_.mode();
  if (mode == AcquisitionMode::kPreview || mode == AcquisitionMode::kCapture) {
    StopPreview();
  } else if (mode == AcquisitionMode::kTrigger) {
    acquisition_.PauseTrigger();
  }

  const int result = runner.Run(*dialog, owner);
  bool resumed = false;
  if (result == 1) {
    CaptureGeometry geometry = geometry_;
    FormatValues format{LoadShared(format_.colorMode), LoadShared(format_.subSample), LoadShared(format_.waitTime),
                        LoadShared(format_.halfClock)};
    LoadSizePreset(deviceNumber_, geometry);
    LoadFormatValues(deviceNumber_, format);
    const bool changed = !SameGeometry(geometry, geometry_) || !SameFormat(format, format_);
    if (mode == AcquisitionMode::kTrigger) {
      // The paused trigger worker converts with the buffers it was prepared
      // for, and the dialog edits the format live (so `changed` cannot tell
      // a new format from the one it was prepared for). OK therefore
      // restarts trigger mode, which prepares for the format it leaves.
      const FrameDestination destination = acquisition_.Destination();
      StopPreview();
      geometry_ = geometry;
      format_ = format;
      acquisition_.Trigger(destination);
      resumed = true;
    } else if (changed) {
      geometry_ = geometry;
      format_ = format;
    }
  }
  if (!resumed) {
    if (mode == AcquisitionMode::kPreview) {
      StartPreview();
    } else if (mode == AcquisitionMode::kCapture) {
      Capture();
    } else if (mode == AcquisitionMode::kTrigger) {
      acquisition_.ResumeTrigger();
    }
  }
  dialog.reset();
  if (result < 0) {
    ReportError(-result, kCameraDlg);
    return 0;
  }
  return 1;
}

int CQuorel::SetImageDlg(HWND owner) {
  DialogRunner &runner = ActiveDialogRunner();
  if (DialogBlocked(runner, kImageDlg) != 0) return 0;
  std::unique_ptr<CImageFilterDlg> dialog =
      CImageFilterDlg::TryCreate(filters_, LoadShared(format_.colorMode), CurrentDialogLanguage());
  if (dialog == nullptr) {
    ReportError(kErrNotReady, kImageDlg);
    return 0;
  }
  FilterBlock saved;
  for (size_t i = 0; i < saved.size(); ++i) saved[i] = LoadShared(filters_[i]);
  imageDialog_.store(dialog.get());
  const int result = runner.Run(*dialog, owner);
  if (result != 1) {
    for (size_t i = 0; i < saved.size(); ++i) StoreShared(filters_[i], saved[i]);
  }
  imageDialog_.store(nullptr);
  acquisition_.WaitForFrameInProgress();
  dialog.reset();
  if (result < 0) {
    ReportError(-result, kImageDlg);
    return 0;
  }
  return 1;
}

int CQuorel::SetAnalogDlg(HWND owner) {
  DialogRunner &runner = ActiveDialogRunner();
  if (DialogBlocked(runner, kAnalogDlg) != 0) return 0;
  DialogSensor sensor(*device_);
  const ExposureConversion conversion{exposureLineLength_.load(), exposureFine_.load(), exposureUnit_.load()};
  std::unique_ptr<CAnalogDlg> dialog = CAnalogDlg::TryCreate(analog_, sensor, conversion, CurrentDialogLanguage());
  if (dialog == nullptr) {
    ReportError(kErrNotReady, kAnalogDlg);
    return 0;
  }
  const int32_t bayerMode = LoadShared(filters_[kBayerMode]);
  // The dialog starts from what the sensor holds; the auto-iris mode is the camera's.
  StoreShared(analog_.globalGain, device_->GetGlobalGain() & 0x7F);
  int32_t *colorGains[4] = {&analog_.colorGainGreen1, &analog_.colorGainRed, &analog_.colorGainBlue,
                            &analog_.colorGainGreen2};
  for (size_t i = 0; i < kAnalogColorRegisters.size(); ++i) {
    int gain = 0;
    device_->GetColorGain(kAnalogColorRegisters[i], &gain);
    StoreShared(*colorGains[i], gain & 0x7F);
  }
  StoreShared(analog_.exposure, device_->GetExposure() & 0xFFFF);
  StoreShared(analog_.mirrorV, device_->GetMirrorVState());
  StoreShared(analog_.mirrorH, device_->GetMirrorHState());
  const AnalogBlock saved{
      LoadShared(analog_.globalGain),    LoadShared(analog_.colorGainGreen1), LoadShared(analog_.colorGainRed),
      LoadShared(analog_.colorGainBlue), LoadShared(analog_.colorGainGreen2), LoadShared(analog_.exposure),
      LoadShared(analog_.mirrorV),       LoadShared(analog_.mirrorH),         LoadShared(analog_.autoIris)};
  analogDialog_.store(dialog.get());
  const int result = runner.Run(*dialog, owner);
  if (result != 1) {
    // Back to the values of the opening, on the sensor first.
    device_->SetGlobalGain(saved.globalGain);
    const int32_t savedColorGains[4] = {saved.colorGainGreen1, saved.colorGainRed, saved.colorGainBlue,
                                        saved.colorGainGreen2};
    for (size_t i = 0; i < kAnalogColorRegisters.size(); ++i) {
      device_->SetColorGain(kAnalogColorRegisters[i], savedColorGains[i]);
    }
    device_->SetExposure(saved.exposure);
    device_->SetMirrorV(saved.mirrorV);
    device_->SetMirrorH(saved.mirrorH);
    StoreShared(analog_.globalGain, saved.globalGain);
    StoreShared(analog_.colorGainGreen1, saved.colorGainGreen1);
    StoreShared(analog_.colorGainRed, saved.colorGainRed);
    StoreShared(analog_.colorGainBlue, saved.colorGainBlue);
    StoreShared(analog_.colorGainGreen2, saved.colorGainGreen2);
    StoreShared(analog_.exposure, saved.exposure);
    StoreShared(analog_.mirrorV, saved.mirrorV);
    StoreShared(analog_.mirrorH, saved.mirrorH);
    StoreShared(analog_.autoIris, saved.autoIris);
    StoreShared(filters_[kBayerMode], bayerMode);
  }
  analogDialog_.store(nullptr);
  acquisition_.WaitForFrameInProgress();
  dialog.reset();
  if (result < 0) {
    ReportError(-result, kAnalogDlg);
    return 0;
  }
  return 1;
}

void CQuorel::ShowMeasuredFiltersLocked() {
  if (CImageFilterDlg *dialog = imageDialog_.load()) dialog->RequestRefresh();
}

void CQuorel::ShowAutoIrisValueLocked(int control, int value) {
  if (CAnalogDlg *dialog = analogDialog_.load()) dialog->ShowAutoIrisValue(control, value);
}

}  // namespace quorel
