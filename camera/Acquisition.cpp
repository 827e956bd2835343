// Acquisition: preparation of sensor and images, the mode entry points, the
// frame thread's worker loop over its frame source, and the copy into the
// application's buffer. See Acquisition.h for threads and locks.
#include "camera/Acquisition.h"

#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

#include "camera/SensorPipelineDevice.h"
#include "device/CQuorel470KXPLUSdk.h"
#include "device/DeviceTable.h"
#include "image/DibImage.h"
#include "image/FormatKernels.h"
#include "image/FramePipeline.h"
#include "platform/Clock.h"
#include "platform/DebugLog.h"
#include "platform/ErrorCodes.h"
#include "platform/HostWindows.h"
#include "platform/SharedValue.h"
#include "platform/ThreadUtil.h"

namespace quorel {

namespace {

constexpr UINT kFrameMessage = QUOREL_WM_FRAME;
constexpr int kTriggerTimeoutMs = 3000;
constexpr uint32_t kClockSettleMs = 100;
constexpr uint32_t kPausePollMs = 10;

// Results of the device's newest-frame wait.
constexpr int kFrameReady = 3;
constexpr int kFrameFailed = 1;

}  // namespace

// --- frame sources ---

enum class FrameWait { kReady, kNone, kFailed };

// Where the worker's frames come from. Wait blocks until a frame can be
// converted (kReady), there is none this round (kNone) or the source has
// failed for good (kFailed); Convert copies it into the raw image and tells
// which frame it was.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual FrameWait Wait(RunState state) = 0;
  virtual int Convert(uint8_t *raw, RawFrameMeta *meta) = 0;
  // Whether the frame record carries a measured frame rate (0 otherwise).
  virtual bool measuresRate() const = 0;
};

namespace {

// Streaming: the transfer thread fills the ring continuously; the worker
// waits the configured time, then takes the newest complete frame.
class StreamingSource final : public FrameSource {
 public:
  StreamingSource(Acquisition &owner, CQuorel470KXPLUSdk &device, FormatValues &format)
      : owner_(owner), device_(device), format_(format) {}
  FrameWait Wait(RunState state) override {
    const int waitMs = LoadShared(format_.waitTime);
    owner_.WaitForRunStateChange(state, waitMs > 0 ? static_cast<uint32_t>(waitMs) : 0);
    if (state != RunState::kRunning) return FrameWait::kNone;
    const int wait = device_.WaitNewestFrame();
    if (wait == kFrameFailed) return FrameWait::kFailed;
    return wait == kFrameReady ? FrameWait::kReady : FrameWait::kNone;
  }
  int Convert(uint8_t *raw, RawFrameMeta *meta) override { return device_.ConvertNewest(raw, meta); }
  bool measuresRate() const override { return true; }

 private:
  Acquisition &owner_;
  CQuorel470KXPLUSdk &device_;
  FormatValues &format_;
};

// Trigger: each frame is one capture that waits (up to the trigger timeout)
// for the external trigger; a capture without a trigger is no failure. The
// reads bypass the transfer engine, so the source numbers and counts them.
class TriggerSource final : public FrameSource {
 public:
  TriggerSource(Acquisition &owner, CQuorel470KXPLUSdk &device, StreamStatistics &stream, int timeoutMs)
      : owner_(owner), device_(device), stream_(stream), timeoutNs_(static_cast<uint64_t>(timeoutMs) * 1000000u) {}
  FrameWait Wait(RunState state) override {
    if (state != RunState::kRunning) {
      owner_.WaitForRunStateChange(state, kPausePollMs);
      return FrameWait::kNone;
    }
    const uint64_t startNs = MonotonicNanoseconds();
    const int captured = device_.CaptureFrame();
    const uint64_t endNs = MonotonicNanoseconds();
    if (captured != 0) {
      // The driver ends a read without a trigger like a failed one; only
      // the time it took tells them apart.
      stream_.CountCaptureFailed(endNs - startNs >= timeoutNs_);
      return FrameWait::kNone;
    }
    frame_.sequence = stream_.CountCaptured();
    frame_.timestampNs = endNs;
    return FrameWait::kReady;
  }
  int Convert(uint8_t *raw, RawFrameMeta *meta) override {
    *meta = frame_;
    return device_.ConvertCaptured(raw);
  }
  bool measuresRate() const override { return false; }

 private:
  Acquisition &owner_;
  CQuorel470KXPLUSdk &device_;
  StreamStatistics &stream_;
  const uint64_t timeoutNs_;
  RawFrameMeta frame_;  // the frame the last Wait read
};

}  // namespace

// --- construction ---

Acquisition::Acquisition(AcquisitionHost &host, AcquisitionSettings settings, DeviceTable &deviceTable)
    : host_(host), settings_(settings), deviceTable_(deviceTable), rateStartTick_(TimeGetTime()) {}

Acquisition::~Acquisition() {
  SetRunState(RunState::kStopped);
  if (frameThread_.joinable()) frameThread_.join();
}

bool Acquisition::Attach(CQuorel470KXPLUSdk *device, HWND notifyWindow) {
  device_ = device;
  notifyWindow_ = notifyWindow;
  MutexLock frame(frameLock_);
  bool complete = true;
  for (auto &image : images_) {
    try {
      image = std::make_unique<DibImage>();
    } catch (const std::bad_alloc &) {
      complete = false;
    }
  }
  return complete;
}

// --- images ---

int Acquisition::FrameTypeLocked() const {
  return preparedType_ >= 0 ? preparedType_ : LoadShared(settings_.format.colorMode);
}

DibImage &Acquisition::RawImageLocked() {
  return *images_[HasSixteenBitSamples(FrameTypeLocked()) ? kImage16 : kImage8];
}

DibImage *Acquisition::OutputImageLocked() {
  const int type = FrameTypeLocked();
  if (!IsKnownColorType(type)) return nullptr;
  return images_[type].get();
}

void Acquisition::RunPipelineLocked() {
  if (pipelineSensor_ == nullptr) pipelineSensor_ = std::make_unique<SensorPipelineDevice>(*device_);
  FrameContext context{*images_[kImage8],
                       *images_[kImage16],
                       *images_[kImage24],
                       *images_[kImage32],
                       *images_[kImage48],
                       *images_[kImage64],
                       *images_[kSharpenCopy],
                       settings_.filters,
                       settings_.analog,
                       *pipelineSensor_,
                       kColorType8,
                       0,
                       {},
                       {}};
  context.colorType = FrameTypeLocked();
  context.subSample = LoadShared(settings_.format.subSample);
  context.refreshFilterDialog = [this] { host_.ShowMeasuredFiltersLocked(); };
  context.showAnalogValue = [this](int control, int value) { host_.ShowAutoIrisValueLocked(control, value); };
  ProcessFrame(context);
}

void Acquisition::RespaceRawRowsLocked() {
  DibImage &raw = RawImageLocked();
  const int bytesPerSample = raw.bitsPerPixel() / 8;
  if (raw.stride() == raw.width() * bytesPerSample) return;
  raw.ApplyKernel(bytesPerSample == 2 ? StrideRows16 : StrideRows8, raw, nullptr, 0, 0);
}

void Acquisition::FillFrameInfoLocked(const DibImage &raw, int type) {
  frameInfo_.size = 32;
  frameInfo_.width = raw.width();
  frameInfo_.height = raw.height();
  frameInfo_.bitCount = kBitsOfColorType[type];
  frameInfo_.buffer = destBuffer_;
}

void Acquisition::UpdateFrameRateLocked() {
  ++frameCount_;
  const uint32_t now = TimeGetTime();
  const uint32_t elapsed = now - rateStartTick_;
  if (elapsed > 1000U) {
    frameRate_ = static_cast<int32_t>(static_cast<double>(frameCount_) * 10000.0 / static_cast<double>(elapsed));
    frameCount_ = 0;
    rateStartTick_ = now;
  }
}

void Acquisition::PostFrameMessage(WPARAM wParam, LPARAM lParam) {
  HWND window = callbackWindow_.load();
  if (window != nullptr) HostPostMessage(window, kFrameMessage, wParam, lParam);
}

int Acquisition::CopyToDestination(const DibImage &source, int bottomUp, unsigned char *destination, int size) {
  const size_t rows = static_cast<size_t>(source.height());
  const size_t stride = static_cast<size_t>(source.stride());
  if (size < 0 || static_cast<size_t>(size) < rows * stride || source.pixels() == nullptr) {
    LogPrint(LogCategory::kImage, 1,
             "frame not copied to the application: buffer of %d bytes, frame of %zu (%zu x %zu)%s", size, rows * stride,
             stride, rows, source.pixels() == nullptr ? ", no image" : "");
    PostFrameMessage(0, kErrMemory);
    host_.RecordError(kErrMemory, "copy to destination");
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

void Acquisition::PaintPreviewLocked() {
  const int type = FrameTypeLocked();
  switch (type) {
    case kColorType16:
      images_[kImage8]->ApplyKernel(Gray16To8Shr4, *images_[kImage16], nullptr, 0, 0);
      break;
    case kColorType32:
      images_[kImage24]->ApplyKernel(Color32To24, *images_[kImage32], nullptr, 0, 0);
      break;
    case kColorType48:
    case kColorType64:
      images_[kImage24]->ApplyKernel(Color16To24Shr4, *images_[type], nullptr, 0, 0);
      break;
    default:
      break;
  }
  const bool gray = type == kColorType8 || type == kColorType16;
  host_.PaintPreviewLocked(*images_[gray ? kImage8 : kImage24]);
}

// --- preparation ---

int Acquisition::PrepareAcquisition() {
  const CaptureGeometry &geometry = settings_.geometry;
  FormatValues &format = settings_.format;
  const int unit = device_->GetUnitIndex();
  if (!device_->IsUnitPresent(unit)) {
    host_.RecordError(kErrNoCamera, "prepare acquisition");
    return 0;
  }
  if (deviceTable_.IsUnitInUse(unit)) {
    host_.RecordError(kErrNoCamera, "prepare acquisition");
    return 0;
  }
  // Read once: the images are sized and the device window programmed for
  // the same code, though a setter on another thread may change it meanwhile
  // (a frame of the full window once overran images sized for a half one).
  const int subSample = LoadShared(format.subSample);
  if (!IsCaptureWindowValid(geometry, subSample)) {
    host_.RecordError(kErrGeometry, "prepare acquisition");
    return 0;
  }
  const int type = LoadShared(format.colorMode);
  if (!IsKnownColorType(type)) {
    // Only a hand-edited settings file can hold another type.
    host_.RecordError(kErrMemory, "prepare acquisition");
    return 0;
  }
  const int divisor = SubSampleDivisor(subSample);
  const int width = geometry.width / divisor;
  const int height = geometry.height / divisor;
  {
    MutexLock frame(frameLock_);
    preparedType_ = type;
    // Which images each type needs: the 8-bit raw image (which is also the
    // display image of the gray types), the 16-bit raw image, the 24-bit
    // image used for display and recording reductions, and the output image.
    const bool need8 = type <= kColorType32;
    const bool need16 = HasSixteenBitSamples(type);
    bool ok = true;
    if (need8) ok = ok && images_[kImage8]->Create(width, height, 8) != 0;
    if (need16) ok = ok && images_[kImage16]->Create(width, height, 16) != 0;
    if (type != kColorType16) ok = ok && images_[kImage24]->Create(width, height, 24) != 0;
    if (type >= kColorType32) ok = ok && images_[type]->Create(width, height, kBitsOfColorType[type]) != 0;
    if (ok && need8) images_[kImage8]->SetPalette(0);
    if (!ok) {
      frame.Unlock();
      host_.RecordError(kErrMemory, "prepare acquisition");
      return 0;
    }
    if (images_[kSharpenCopy]->CopyFormat(images_[type].get()) == 0) {
      frame.Unlock();
      host_.RecordError(kErrMemory, "prepare acquisition");
      return 0;
    }
  }
  device_->SetSampleDepth(HasSixteenBitSamples(type) ? 1 : 0);
  int clock = 0;
  device_->GetClock(&clock);
  if (clock != LoadShared(format.halfClock)) {
    device_->SetClock(LoadShared(format.halfClock));
    SleepMs(kClockSettleMs);
  }
  device_->SetWindow(geometry.horizontalStart, geometry.verticalStart, geometry.width, geometry.height, subSample);
  device_->SetMirrorV(LoadShared(settings_.analog.mirrorV));
  device_->SetMirrorH(LoadShared(settings_.analog.mirrorH));
  device_->SetTriggerMode(0, 0);
  host_.WriteSensorSettings();
  // Without a preview window there is no display image to size.
  return 1;
}

// --- the worker ---

void Acquisition::SetRunState(RunState state) {
  {
    std::lock_guard<std::mutex> lock(runStateMutex_);
    runState_.store(state);
  }
  runStateChanged_.notify_all();
}

void Acquisition::WaitForRunStateChange(RunState seen, uint32_t ms) {
  if (ms == 0) return;
  std::unique_lock<std::mutex> lock(runStateMutex_);
  runStateChanged_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return runState_.load() != seen; });
}

bool Acquisition::StartFrameThread(AcquisitionMode mode) {
  try {
    frameThread_ = std::thread([this, mode] {
      if (mode == AcquisitionMode::kTrigger) {
        SetCurrentThreadName("quorel-trigger");
        TriggerSource source(*this, *device_, stream_, triggerTimeoutMs_);
        RunWorker(source);
      } else {
        SetCurrentThreadName("quorel-preview");
        StreamingSource source(*this, *device_, settings_.format);
        RunWorker(source);
      }
    });
  } catch (const std::system_error &) {
    return false;
  }
  return true;
}

void Acquisition::RunWorker(FrameSource &source) {
  while (runState_.load() != RunState::kStopped) {
    const FrameWait wait = source.Wait(runState_.load());
    // A frame (or a failure) that arrives while the acquisition is being
    // stopped belongs to nobody.
    if (runState_.load() == RunState::kStopped) break;
    if (wait == FrameWait::kFailed) {
      SetRunState(RunState::kStopped);
      PostFrameMessage(0, kErrTransferStopped);
      host_.RecordError(kErrTransferStopped, "acquisition worker");
      break;
    }
    if (wait == FrameWait::kReady) DeliverFrame(source);
  }
}

void Acquisition::DeliverFrame(FrameSource &source) {
  MutexLock frame(frameLock_);
  DibImage &raw = RawImageLocked();
  RawFrameMeta identity;
  if (source.Convert(raw.pixels(), &identity) != 0) {
    frame.Unlock();
    PostFrameMessage(0, kErrFrame);
    host_.RecordError(kErrFrame, "acquisition worker");
    return;
  }
  RespaceRawRowsLocked();
  const int type = FrameTypeLocked();
  FillFrameInfoLocked(raw, type);
  if (source.measuresRate()) UpdateFrameRateLocked();
  frameInfo_.frameRate = source.measuresRate() ? frameRate_ : 0;
  RunPipelineLocked();
  // The output image now holds this frame, whether or not the copy below
  // succeeds: Quorel_GetImage copies it from here on.
  stream_.PublishFrame(
      {identity.sequence, identity.timestampNs, identity.status, raw.width(), raw.height(), kBitsOfColorType[type]});
  frameReady_.store(1);
  imageValid_.store(1);
  // The preview window shows the frame before the application gets it.
  PaintPreviewLocked();
  if (destBuffer_ != nullptr && destSize_ != 0) {
    if (CopyToDestination(*images_[type], bottomUp_, destBuffer_, destSize_) == 0) {
      stream_.CountCopyFailure();
      return;
    }
  }
  frame.Unlock();
  stream_.CountDelivered(MonotonicNanoseconds());
  PostFrameMessage(reinterpret_cast<WPARAM>(&frameInfo_), 0);
}

// --- the mode entry points ---

void Acquisition::SetDestination(const FrameDestination &destination) {
  MutexLock frame(frameLock_);
  callbackWindow_.store(destination.window);
  destBuffer_ = destination.buffer;
  destSize_ = destination.size;
  bottomUp_ = destination.bottomUp;
}

int Acquisition::Stop() {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  SetRunState(RunState::kStopped);
  if (StepFor(AcquisitionRequest::kStop, mode_.load()) == AcquisitionStep::kEnd) {
    stream_.Stop(MonotonicNanoseconds());
    mode_.store(AcquisitionMode::kIdle);
    device_->SetTriggerMode(0, 0);
    device_->StopTransfer();
    deviceTable_.ReleaseUnit(device_->GetUnitIndex(), notifyWindow_);
  }
  if (frameThread_.joinable()) frameThread_.join();
  return 1;
}

bool Acquisition::HasDevice(const char *operation) {
  if (device_ != nullptr) return true;
  host_.RecordError(kErrNotReady, operation);
  return false;
}

int Acquisition::StartPreview() {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  if (!HasDevice("Quorel_StartPreview")) return 0;
  const AcquisitionStep step = StepFor(AcquisitionRequest::kStartPreview, mode_.load());
  if (step == AcquisitionStep::kKeep) return 1;
  if (step == AcquisitionStep::kRefuse) {
    host_.RecordError(kErrNotReady, "Quorel_StartPreview");
    return 0;
  }
  if (PrepareAcquisition() == 0) {
    host_.RecordError(kErrNotReady, "Quorel_StartPreview");
    return 0;
  }
  stream_.Restart(StreamStatistics::Source::kTransferEngine, MonotonicNanoseconds());
  SetRunState(RunState::kRunning);
  if (!StartFrameThread(AcquisitionMode::kPreview)) {
    Stop();
    host_.RecordError(kErrThread, "Quorel_StartPreview");
    return 0;
  }
  device_->SetTriggerMode(0, 0);
  if (device_->StartTransfer() != 0) {
    Stop();
    host_.RecordError(kErrDevice, "Quorel_StartPreview");
    return 0;
  }
  mode_.store(AcquisitionMode::kPreview);
  deviceTable_.ClaimUnit(device_->GetUnitIndex(), notifyWindow_);
  return 1;
}

int Acquisition::ShowPreview(const FrameDestination &destination, const char *operation) {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  SetDestination(destination);
  if (!host_.ShowPreviewWindow()) {
    host_.RecordError(kErrWindow, operation);
    return 0;
  }
  if (StartPreview() == 1) return 1;
  host_.CloseAfterFailedStart();
  host_.RecordError(kErrFrame, operation);
  return 0;
}

int Acquisition::Capture() {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  if (!HasDevice("Quorel_Capture")) return 0;
  const AcquisitionStep step = StepFor(AcquisitionRequest::kCapture, mode_.load());
  if (step == AcquisitionStep::kKeep) return 1;
  if (step == AcquisitionStep::kRefuse || PrepareAcquisition() == 0) {
    host_.RecordError(kErrNotReady, "Quorel_Capture");
    return 0;
  }
  stream_.Restart(StreamStatistics::Source::kSingleCapture, MonotonicNanoseconds());
  mode_.store(AcquisitionMode::kCapture);
  return 1;
}

int Acquisition::SnapShot(unsigned char *buffer, int size, int bottomUp) {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  if (!HasDevice("Quorel_SnapShot")) return 0;
  const AcquisitionStep step = StepFor(AcquisitionRequest::kSnapShot, mode_.load());
  if (step == AcquisitionStep::kRefuse || (step == AcquisitionStep::kOneShot && PrepareAcquisition() == 0)) {
    host_.RecordError(kErrNotReady, "Quorel_SnapShot");
    return 0;
  }
  // Capture mode keeps the device's capture handle open between snapshots.
  const bool keepHandle = step == AcquisitionStep::kTakeFrame;
  // Outside capture mode a snapshot is an acquisition of one frame.
  if (!keepHandle) stream_.Restart(StreamStatistics::Source::kSingleCapture, MonotonicNanoseconds());
  MutexLock frame(frameLock_);
  const int captured = device_->CaptureFrame();
  const uint64_t capturedNs = MonotonicNanoseconds();
  if (captured != 0) stream_.CountCaptureFailed(false);
  int converted = -1;
  if (captured == 0) {
    converted = device_->ConvertCaptured(RawImageLocked().pixels());
    if (converted == 0) RespaceRawRowsLocked();
  }
  if (captured == 0 && converted == 0) {
    const uint64_t sequence = stream_.CountCaptured();
    RunPipelineLocked();
    const DibImage &raw = RawImageLocked();
    stream_.PublishFrame(
        {sequence, capturedNs, QUOREL_FRAME_COMPLETE, raw.width(), raw.height(), kBitsOfColorType[FrameTypeLocked()]});
    imageValid_.store(1);
    if (buffer != nullptr && size != 0) {
      DibImage *output = OutputImageLocked();
      if (output == nullptr || CopyToDestination(*output, bottomUp, buffer, size) == 0) {
        stream_.CountCopyFailure();
        if (!keepHandle) device_->ReleaseCaptureHandle();
        frame.Unlock();
        host_.RecordError(kErrMemory, "Quorel_SnapShot");
        return 0;
      }
    }
    stream_.CountDelivered(capturedNs);
    frame.Unlock();
    if (!keepHandle) {
      device_->ReleaseCaptureHandle();
      stream_.Stop(MonotonicNanoseconds());
    }
    return 1;
  }
  frame.Unlock();
  if (captured == 0) PostFrameMessage(0, kErrFrame);
  if (!keepHandle) device_->ReleaseCaptureHandle();
  host_.RecordError(kErrFrame, "Quorel_SnapShot");
  return 0;
}

int Acquisition::Trigger(const FrameDestination &destination) {
  std::lock_guard<std::recursive_mutex> state(stateLock_);
  if (!HasDevice("Quorel_Trigger")) return 0;
  const AcquisitionStep step = StepFor(AcquisitionRequest::kTrigger, mode_.load());
  if (step == AcquisitionStep::kRefuse) {
    host_.RecordError(kErrNotReady, "Quorel_Trigger");
    return 0;
  }
  SetDestination(destination);
  // A running trigger worker keeps running: the new destination applies from
  // its next frame, and no second worker is started.
  if (step == AcquisitionStep::kRetarget) return 1;
  if (!host_.ShowPreviewWindow()) {
    host_.RecordError(kErrWindow, "Quorel_Trigger");
    return 0;
  }
  if (PrepareAcquisition() == 0) {
    host_.CloseAfterFailedStart();
    host_.RecordError(kErrNotReady, "Quorel_Trigger");
    return 0;
  }
  mode_.store(AcquisitionMode::kTrigger);
  stream_.Restart(StreamStatistics::Source::kSingleCapture, MonotonicNanoseconds());
  triggerTimeoutMs_ = kTriggerTimeoutMs;
  device_->SetTimeout(triggerTimeoutMs_);
  device_->SetTriggerMode(1, 0);
  SetRunState(RunState::kRunning);
  if (!StartFrameThread(AcquisitionMode::kTrigger)) {
    host_.CloseAfterFailedStart();
    host_.RecordError(kErrThread, "Quorel_Trigger");
    return 0;
  }
  return 1;
}

int Acquisition::GetImage(unsigned char *buffer, int size, int bottomUp) {
  if (!HasDevice("Quorel_GetImage")) return 0;
  MutexLock frame(frameLock_);
  DibImage *output = OutputImageLocked();
  if (output == nullptr) {
    frame.Unlock();
    host_.RecordError(kErrNotReady, "Quorel_GetImage");
    return 0;
  }
  if (!output->empty() && buffer != nullptr) {
    if (CopyToDestination(*output, bottomUp, buffer, size) == 1) return 1;
  }
  frame.Unlock();
  host_.RecordError(kErrMemory, "Quorel_GetImage");
  return 0;
}

void Acquisition::PauseTrigger() {
  RunState running = RunState::kRunning;
  if (mode_.load() == AcquisitionMode::kTrigger) runState_.compare_exchange_strong(running, RunState::kPaused);
}

void Acquisition::ResumeTrigger() {
  RunState paused = RunState::kPaused;
  if (mode_.load() == AcquisitionMode::kTrigger) runState_.compare_exchange_strong(paused, RunState::kRunning);
}

FrameDestination Acquisition::Destination() {
  MutexLock frame(frameLock_);
  return FrameDestination{callbackWindow_.load(), destBuffer_, destSize_, bottomUp_};
}

void Acquisition::WaitForFrameInProgress() {
  MutexLock frame(frameLock_);
}

}  // namespace quorel
