// Acquisition: preparing sensor and buffers, the four modes (idle, preview,
// capture, trigger), the frame thread's preview and trigger workers, and the
// copy into the application's buffer.
//
// Threads: the exports run on application threads; one frame thread per
// camera runs a worker; the device object's transfer thread fills its ring.
// The frame lock is held from taking a frame until it is converted,
// processed, painted and copied, and by every reader of the output image.
#include <cstring>
#include <thread>

#include "camera/CQuorel.h"
#include "camera/SensorPipelineDevice.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "device/DeviceTable.h"
#include "device/ExposureMath.h"
#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "image/FramePipeline.h"
#include "image/SharedValue.h"
#include "platform/Clock.h"
#include "platform/HostWindows.h"
#include "platform/ThreadUtil.h"

namespace quorel {

namespace {

constexpr UINT kFrameMessage = QUOREL_WM_FRAME;
constexpr int kTriggerTimeoutMs = 3000;
constexpr uint32_t kClockSettleMs = 100;

// Results of the device's newest-frame wait.
constexpr int kFrameReady = 3;
constexpr int kFrameFailed = 1;

// Sample depth by colour-mode type: 16-bit samples for types 1, 4 and 5.
bool Is16BitType(int type) {
  return type == 1 || type == 4 || type == 5;
}

constexpr int kBitsOfType[6] = {8, 16, 24, 32, 48, 64};

}  // namespace

DibImage &CQuorel::RawImage() {
  return *images_[Is16BitType(LoadShared(format_.colorMode)) ? kImage16 : kImage8];
}

DibImage *CQuorel::OutputImageLocked() {
  const int type = LoadShared(format_.colorMode);
  if (type < 0 || type > 5) return nullptr;
  return images_[type].get();
}

void CQuorel::RunPipelineLocked() {
  if (pipelineSensor_ == nullptr) pipelineSensor_ = std::make_unique<SensorPipelineDevice>(*device_);
  FrameContext context{*images_[kImage8],
                       *images_[kImage16],
                       *images_[kImage24],
                       *images_[kImage32],
                       *images_[kImage48],
                       *images_[kImage64],
                       *images_[kSharpenCopy],
                       filters_,
                       analog_,
                       *pipelineSensor_,
                       kColorType8,
                       0,
                       {},
                       {}};
  context.colorType = LoadShared(format_.colorMode);
  context.subSample = LoadShared(format_.subSample);
  ProcessFrame(context);
}

void CQuorel::RespaceRawRowsLocked() {
  DibImage &raw = RawImage();
  const int bytesPerSample = raw.bitsPerPixel() / 8;
  if (raw.stride() == raw.width() * bytesPerSample) return;
  raw.ApplyKernel(bytesPerSample == 2 ? StrideRows16 : StrideRows8, raw, nullptr, 0, 0);
}

void CQuorel::FillFrameInfoLocked(const DibImage &raw, int type) {
  frameInfo_.size = 32;
  frameInfo_.width = raw.width();
  frameInfo_.height = raw.height();
  frameInfo_.bitCount = kBitsOfType[type];
  frameInfo_.buffer = destBuffer_;
}

void CQuorel::PostFrameMessage(WPARAM wParam, LPARAM lParam) {
  HWND window = callbackWindow_.load();
  if (window != nullptr) HostPostMessage(window, kFrameMessage, wParam, lParam);
}

int CQuorel::CopyToDestination(const DibImage &source, int bottomUp, unsigned char *destination, int size) {
  const size_t rows = static_cast<size_t>(source.height());
  const size_t stride = static_cast<size_t>(source.stride());
  if (size < 0 || static_cast<size_t>(size) < rows * stride || source.pixels() == nullptr) {
    PostFrameMessage(0, kErrMemory);
    ReportError(kErrMemory, "copy to destination");
    return 0;
  }
  const uint8_t *pixels = source.pixels();
  if (bottomUp != 0) {
    std::memcpy(destination, pixels, rows * stride);
  } else {
    for (size_t row = 0; row < rows; ++row) {
      std::memcpy(destination + row * stride, pixels + (rows - 1 - row) * stride, stride);
    }
  }
  return 1;
}

int CQuorel::PrepareAcquisition() {
  const int unit = device_->GetUnitIndex();
  if (!device_->IsUnitPresent(unit)) {
    ReportError(kErrNoCamera, "prepare acquisition");
    return 0;
  }
  if (deviceTable_->IsUnitInUse(unit)) {
    ReportError(kErrNoCamera, "prepare acquisition");
    return 0;
  }
  if (!IsCaptureWindowValid(geometry_, format_.subSample)) {
    ReportError(kErrGeometry, "prepare acquisition");
    return 0;
  }
  const int type = format_.colorMode;
  if (type < 0 || type > 5) {
    // Only a hand-edited settings file can hold another type.
    ReportError(kErrMemory, "prepare acquisition");
    return 0;
  }
  const int divisor = SubSampleDivisor(format_.subSample);
  const int width = geometry_.width / divisor;
  const int height = geometry_.height / divisor;
  {
    std::lock_guard<std::mutex> frame(frameLock_);
    // Which images each type needs: the raw image, the 24-bit image used for
    // display and recording reductions, and the output image.
    const bool need8 = type <= 3;
    const bool need16 = Is16BitType(type);
    bool ok = true;
    if (need8) ok = ok && images_[kImage8]->Create(width, height, 8) != 0;
    if (need16) ok = ok && images_[kImage16]->Create(width, height, 16) != 0;
    if (type != 1) ok = ok && images_[kImage24]->Create(width, height, 24) != 0;
    if (type >= 3) ok = ok && images_[type]->Create(width, height, kBitsOfType[type]) != 0;
    if (ok && need8) images_[kImage8]->SetPalette(0);
    if (!ok) {
      ReportError(kErrMemory, "prepare acquisition");
      return 0;
    }
    if (images_[kSharpenCopy]->CopyFormat(images_[type].get()) == 0) {
      ReportError(kErrMemory, "prepare acquisition");
      return 0;
    }
  }
  device_->SetSampleDepth(Is16BitType(type) ? 1 : 0);
  int clock = 0;
  device_->GetClock(&clock);
  if (clock != format_.halfClock) {
    device_->SetClock(format_.halfClock);
    SleepMs(kClockSettleMs);
  }
  device_->SetWindow(geometry_.horizontalStart, geometry_.verticalStart, geometry_.width, geometry_.height,
                     format_.subSample);
  device_->SetMirrorV(analog_.mirrorV);
  device_->SetMirrorH(analog_.mirrorH);
  device_->SetTriggerMode(0, 0);
  WriteGainsAndExposureToSensor();
  int ok = 0;
  GetRealExposureTime(&ok);
  // Without a preview window there is no display image to size.
  return 1;
}

int CQuorel::StopPreview() {
  if (!RequireDevice("Quorel_StopPreview")) return 0;
  runState_.store(0);
  if (mode_.load() != kModeIdle) {
    mode_.store(kModeIdle);
    device_->SetTriggerMode(0, 0);
    device_->StopTransfer();
    deviceTable_->ReleaseUnit(device_->GetUnitIndex(), notifyWindow_);
  }
  if (frameThread_.joinable()) frameThread_.join();
  recording_.store(0);
  if (recordThread_.joinable()) recordThread_.join();
  return 1;
}

bool CQuorel::StartFrameThread(bool trigger) {
  try {
    frameThread_ = std::thread([this, trigger] {
      SetCurrentThreadName(trigger ? "quorel-trigger" : "quorel-preview");
      if (trigger) {
        TriggerWorker();
      } else {
        PreviewWorker();
      }
    });
  } catch (const std::system_error &) {
    return false;
  }
  return true;
}

int CQuorel::StartPreview() {
  if (!RequireDevice("Quorel_StartPreview")) return 0;
  const int mode = mode_.load();
  if (mode == kModePreview) return 1;
  if (mode != kModeIdle) {
    ReportError(kErrNotReady, "Quorel_StartPreview");
    return 0;
  }
  if (PrepareAcquisition() == 0) {
    ReportError(kErrNotReady, "Quorel_StartPreview");
    return 0;
  }
  runState_.store(1);
  if (!StartFrameThread(false)) {
    StopPreview();
    ReportError(kErrThread, "Quorel_StartPreview");
    return 0;
  }
  device_->SetTriggerMode(0, 0);
  if (device_->StartTransfer() != 0) {
    StopPreview();
    ReportError(kErrDevice, "Quorel_StartPreview");
    return 0;
  }
  mode_.store(kModePreview);
  deviceTable_->ClaimUnit(device_->GetUnitIndex(), notifyWindow_);
  return 1;
}

void CQuorel::PreviewWorker() {
  while (runState_.load() != 0) {
    SleepMs(static_cast<uint32_t>(LoadShared(format_.waitTime)));
    if (runState_.load() != 1) continue;
    const int wait = device_->WaitNewestFrame();
    if (wait == kFrameFailed) {
      runState_.store(0);
      PostFrameMessage(0, kErrTransferStopped);
      ReportError(kErrTransferStopped, "preview worker");
      break;
    }
    if (wait != kFrameReady) continue;

    std::unique_lock<std::mutex> frame(frameLock_);
    DibImage &raw = RawImage();
    if (device_->ConvertNewest(raw.pixels()) != 0) {
      PostFrameMessage(0, kErrFrame);
      ReportError(kErrFrame, "preview worker");
      continue;
    }
    RespaceRawRowsLocked();
    const int type = LoadShared(format_.colorMode);
    FillFrameInfoLocked(raw, type);
    ++frameCount_;
    const uint32_t now = TimeGetTime();
    const uint32_t elapsed = now - rateStartTick_;
    if (elapsed > 1000U) {
      frameRate_ = static_cast<int32_t>(static_cast<double>(frameCount_) * 10000.0 / static_cast<double>(elapsed));
      frameCount_ = 0;
      rateStartTick_ = now;
    }
    frameInfo_.frameRate = frameRate_;
    RunPipelineLocked();
    frameReady_.store(1);
    imageValid_.store(1);
    PaintPreviewLocked();
    if (destBuffer_ != nullptr && destSize_ != 0) {
      if (CopyToDestination(*images_[type], bottomUp_, destBuffer_, destSize_) == 0) continue;
    }
    frame.unlock();
    PostFrameMessage(reinterpret_cast<WPARAM>(&frameInfo_), 0);
  }
}

void CQuorel::TriggerWorker() {
  while (runState_.load() != 0) {
    if (runState_.load() != 1) {
      SleepMs(10);
      continue;
    }
    const int captured = device_->CaptureFrame();
    if (runState_.load() == 0) break;
    if (captured != 0) continue;

    std::unique_lock<std::mutex> frame(frameLock_);
    DibImage &raw = RawImage();
    device_->ConvertCaptured(raw.pixels());
    RespaceRawRowsLocked();
    const int type = LoadShared(format_.colorMode);
    FillFrameInfoLocked(raw, type);
    frameInfo_.frameRate = 0;
    RunPipelineLocked();
    imageValid_.store(1);
    if (destBuffer_ != nullptr && destSize_ != 0) {
      if (CopyToDestination(*images_[type], bottomUp_, destBuffer_, destSize_) == 0) continue;
    }
    PostFrameMessage(reinterpret_cast<WPARAM>(&frameInfo_), 0);
    PaintPreviewLocked();
  }
}

bool CQuorel::PreviewWindowWanted() const {
  return previewParent_ != nullptr || previewRect_[0] != 0 || previewRect_[1] != 0 || previewRect_[2] != 0 ||
         previewRect_[3] != 0;
}

void CQuorel::SetDestination(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  std::lock_guard<std::mutex> frame(frameLock_);
  callbackWindow_.store(callbackWindow);
  destBuffer_ = buffer;
  destSize_ = size;
  bottomUp_ = bottomUp;
}

int CQuorel::Preview() {
  SetDestination(nullptr, nullptr, 0, 0);
  return StartShowingPreview("Quorel_Preview");
}

int CQuorel::CallBackPreview(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  SetDestination(callbackWindow, buffer, size, bottomUp);
  return StartShowingPreview("Quorel_CallBackPreview");
}

int CQuorel::StartShowingPreview(const char *operation) {
  if (PreviewWindowWanted() && CreatePreviewWindow() == 0) {
    ReportError(kErrWindow, operation);
    return 0;
  }
  if (StartPreview() == 1) return 1;
  Close();
  ReportError(kErrFrame, operation);
  return 0;
}

int CQuorel::Capture() {
  if (!RequireDevice("Quorel_Capture")) return 0;
  const int mode = mode_.load();
  if (mode == kModeCapture) return 1;
  if (mode != kModeIdle) {
    ReportError(kErrNotReady, "Quorel_Capture");
    return 0;
  }
  if (PrepareAcquisition() == 0) {
    ReportError(kErrNotReady, "Quorel_Capture");
    return 0;
  }
  mode_.store(kModeCapture);
  return 1;
}

int CQuorel::SnapShot(unsigned char *buffer, int size, int bottomUp) {
  if (device_ == nullptr || mode_.load() == kModePreview) {
    ReportError(kErrNotReady, "Quorel_SnapShot");
    return 0;
  }
  const int mode = mode_.load();
  if (mode == kModeTrigger || (mode == kModeIdle && PrepareAcquisition() == 0)) {
    ReportError(kErrNotReady, "Quorel_SnapShot");
    return 0;
  }
  const bool keepHandle = mode == kModeCapture;
  std::unique_lock<std::mutex> frame(frameLock_);
  const int captured = device_->CaptureFrame();
  int converted = -1;
  if (captured == 0) {
    converted = device_->ConvertCaptured(RawImage().pixels());
    if (converted == 0) RespaceRawRowsLocked();
  }
  if (captured == 0 && converted == 0) {
    RunPipelineLocked();
    imageValid_.store(1);
    if (buffer != nullptr && size != 0) {
      DibImage *output = OutputImageLocked();
      if (output == nullptr || CopyToDestination(*output, bottomUp, buffer, size) == 0) {
        if (!keepHandle) device_->ReleaseCaptureHandle();
        frame.unlock();
        ReportError(kErrMemory, "Quorel_SnapShot");
        return 0;
      }
    }
    frame.unlock();
    if (!keepHandle) device_->ReleaseCaptureHandle();
    return 1;
  }
  if (captured == 0) PostFrameMessage(0, kErrFrame);
  if (!keepHandle) device_->ReleaseCaptureHandle();
  ReportError(kErrFrame, "Quorel_SnapShot");
  return 0;
}

int CQuorel::Trigger(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  const int mode = mode_.load();
  if (device_ == nullptr || mode == kModePreview || mode == kModeCapture) {
    ReportError(kErrNotReady, "Quorel_Trigger");
    return 0;
  }
  SetDestination(callbackWindow, buffer, size, bottomUp);
  // A running trigger worker keeps running: the new destination applies from
  // its next frame, and no second worker is started.
  if (mode == kModeTrigger) return 1;
  if (PreviewWindowWanted() && CreatePreviewWindow() == 0) {
    ReportError(kErrWindow, "Quorel_Trigger");
    return 0;
  }
  if (PrepareAcquisition() == 0) {
    Close();
    ReportError(kErrNotReady, "Quorel_Trigger");
    return 0;
  }
  mode_.store(kModeTrigger);
  triggerTimeoutMs_ = kTriggerTimeoutMs;
  device_->SetTimeout(triggerTimeoutMs_);
  device_->SetTriggerMode(1, 0);
  runState_.store(1);
  if (!StartFrameThread(true)) {
    Close();
    ReportError(kErrThread, "Quorel_Trigger");
    return 0;
  }
  return 1;
}

int CQuorel::GetImage(unsigned char *buffer, int size, int bottomUp) {
  if (!RequireDevice("Quorel_GetImage")) return 0;
  std::unique_lock<std::mutex> frame(frameLock_);
  DibImage *output = OutputImageLocked();
  if (output == nullptr) {
    frame.unlock();
    ReportError(kErrNotReady, "Quorel_GetImage");
    return 0;
  }
  if (!output->empty() && buffer != nullptr) {
    if (CopyToDestination(*output, bottomUp, buffer, size) == 1) return 1;
  }
  frame.unlock();
  ReportError(kErrMemory, "Quorel_GetImage");
  return 0;
}

int CQuorel::SetPreviewWindow(HWND parent, int left, int top, int right, int bottom) {
  if (!RequireDevice("Quorel_SetPreviewWindow")) return 0;
  previewParent_ = parent;
  previewRect_[0] = left;
  previewRect_[1] = top;
  previewRect_[2] = right;
  previewRect_[3] = bottom;
  return 1;
}

// No windowing module is part of this build: the window cannot be created,
// which the acquisition starts report as code 4, as on a machine without a
// display.
int CQuorel::CreatePreviewWindow() {
  return 0;
}

void CQuorel::PaintPreviewLocked() {
  // The reductions to a displayable depth run on every frame, window or not.
  const int type = LoadShared(format_.colorMode);
  switch (type) {
    case 1:
      images_[kImage8]->ApplyKernel(Gray16To8Shr4, *images_[kImage16], nullptr, 0, 0);
      break;
    case 3:
      images_[kImage24]->ApplyKernel(Color32To24, *images_[kImage32], nullptr, 0, 0);
      break;
    case 4:
    case 5:
      images_[kImage24]->ApplyKernel(Color16To24Shr4, *images_[type], nullptr, 0, 0);
      break;
    default:
      break;
  }
}

}  // namespace quorel
