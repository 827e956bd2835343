// Acquisition: one camera's mode state machine, its frame thread and the
// images frames are converted into.
//
// It owns the mode (camera/AcquisitionMode.h holds the transition table every
// entry point consults), the run state, the frame thread, the frame lock, the
// working images, the application's destination (callback window, buffer,
// size, orientation) and the frame-information record posted with each
// frame. The settings it reads (geometry, format, filters, analog block) are
// the camera object's, which also supplies the services of AcquisitionHost.
//
// Thread context:
//  - The public operations run on application threads (through the camera
//    object), serialised by stateLock_: every operation that changes mode_
//    or runState_, prepares, or starts or joins frameThread_ takes it first,
//    so that calls from several threads on one camera never interleave.
//  - One frame thread at a time runs RunWorker over a frame source: a
//    streaming source (preview and recording) or the trigger source.
//  - The device object's own transfer thread fills its ring; this class
//    reaches it only through the device object.
//
// Locks:
//  - stateLock_ (recursive: a start that fails stops or closes again) is
//    taken before frameLock_ and never by the frame thread, which the
//    operations holding it join.
//  - frameLock_ guards the images, the destination buffer fields, the frame
//    record and the rate counters. It is held from taking a frame until the
//    frame is converted, processed, painted and copied out, and by every
//    reader of the output image (GetImage, snapshots, saving, recording).
//  - mode_, runState_, imageValid_, frameReady_ and the callback window are
//    atomics, read without the lock; the delivery counters and the
//    delivered frame's identity live in stream_ (StreamStatistics), whose
//    readers never wait for the frame path.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "QuorelSdk_470KX_PLU.h"
#include "camera/AcquisitionMode.h"
#include "camera/StreamStatistics.h"
#include "platform/ThreadAnnotations.h"
#include "settings/CameraSettings.h"

namespace quorel {

class CQuorel470KXPLUSdk;
class DeviceTable;
class DibImage;
class SensorPipelineDevice;
class FrameSource;

// What the acquisition needs from the camera object that owns it.
class AcquisitionHost {
 public:
  virtual ~AcquisitionHost() = default;
  // Records code in the history and posts it to the notification window.
  // Any thread.
  virtual void RecordError(int32_t code, const char *operation) = 0;
  // Creates the preview window when the application asked for one. False
  // only when a window is wanted and cannot be created. Application thread.
  virtual bool ShowPreviewWindow() = 0;
  // Paints the display image of the frame just processed into the preview
  // window, if there is one. Frame thread, frame lock held.
  virtual void PaintPreviewLocked(const DibImage &display) = 0;
  // Writes the stored gains and exposure to the sensor (preparation).
  virtual void WriteSensorSettings() = 0;
  // Closes the camera after a start that failed half-way (Quorel_Close).
  virtual void CloseAfterFailedStart() = 0;
  // An automatic white or gray balance changed the gains, or the automatic
  // iris wrote a new global gain (control 1015) or exposure (1027): an open
  // settings dialog is told. Frame thread, frame lock held; must not wait
  // for the dialog's thread.
  virtual void ShowMeasuredFiltersLocked() = 0;
  virtual void ShowAutoIrisValueLocked(int control, int value) = 0;
};

// The camera object's settings that acquisition reads. Every value is a
// 32-bit integer read whole; the pipeline writes measured values back into
// the filter and analog blocks.
struct AcquisitionSettings {
  const CaptureGeometry &geometry;
  FormatValues &format;  // read only (non-const for the atomic loads)
  FilterBlock &filters;
  AnalogBlock &analog;
};

// Where delivered frames go: a window that receives QUOREL_WM_FRAME and an
// optional buffer of size bytes, top line first when bottomUp is non-zero.
struct FrameDestination {
  HWND window = nullptr;
  unsigned char *buffer = nullptr;
  int size = 0;
  int bottomUp = 0;
};

enum class RunState : int32_t { kStopped = 0, kRunning = 1, kPaused = 2 };

class Acquisition {
 public:
  Acquisition(AcquisitionHost &host, AcquisitionSettings settings, DeviceTable &deviceTable);
  ~Acquisition();
  Acquisition(const Acquisition &) = delete;
  Acquisition &operator=(const Acquisition &) = delete;

  // Creates the (empty) working images and remembers the device object and
  // the notification window the unit is claimed for. False when the images
  // could not be allocated. Called once, before any other operation.
  bool Attach(CQuorel470KXPLUSdk *device, HWND notifyWindow);

  // --- the acquisition exports ---
  // Each fails with code 1 when there is no device object, and otherwise
  // looks its step up in the transition table.
  // Preview and CallBackPreview: the destination, the preview window, then
  // StartPreview; a failed start closes the camera and reports code 8.
  int ShowPreview(const FrameDestination &destination, const char *operation);
  int StartPreview();
  int Capture();
  int SnapShot(unsigned char *buffer, int size, int bottomUp);
  int Trigger(const FrameDestination &destination);
  // Ends any mode and joins the frame thread. Always 1. Needs the device.
  int Stop();
  // The camera dialog holds a running trigger worker still while it is open
  // (run state paused) and lets it run again after; other modes are left.
  void PauseTrigger();
  void ResumeTrigger();
  // The application's destination, for starting a mode again on it.
  FrameDestination Destination() QUOREL_EXCLUDES(frameLock_);
  // Returns once no frame is being processed, so that whatever a frame was
  // telling an open dialog has been told.
  void WaitForFrameInProgress() QUOREL_EXCLUDES(frameLock_);
  RunState runState() const { return runState_.load(); }
  int GetImage(unsigned char *buffer, int size, int bottomUp);
  void SetDestination(const FrameDestination &destination) QUOREL_EXCLUDES(frameLock_);
  // After Close: no image is valid until the next frame.
  void InvalidateImage() { imageValid_.store(0); }

  // The lock that serialises this camera's acquisition state changes. The
  // camera object takes it too around closing, starting a recording and
  // changing the unit.
  std::recursive_mutex &stateLock() { return stateLock_; }
  // Waits up to ms milliseconds, returning at once when the run state is no
  // longer `seen` (a stop never waits for a long wait time). Frame thread.
  void WaitForRunStateChange(RunState seen, uint32_t ms);

  AcquisitionMode mode() const { return mode_.load(); }
  bool imageValid() const { return imageValid_.load() != 0; }
  // Clears and returns the flag the streaming worker sets after each
  // processed frame (the recording worker's "new frame" signal).
  bool TakeFrameReady() { return frameReady_.exchange(0) != 0; }
  void ClearFrameReady() { frameReady_.store(0); }

  // Frames delivered to the application (copied, when there is a buffer, and
  // announced) and copies that failed, since the acquisition started.
  uint64_t deliveredFrames() const { return stream_.Delivered(); }
  uint64_t copyFailures() const { return stream_.CopyFailures(); }
  // Frame identity and stream counters (QuorelStream.h). Any thread.
  const StreamStatistics &streamStatistics() const { return stream_; }
  StreamStatistics &streamStatistics() { return stream_; }

  // Runs use(output) with the frame lock held; output is the image of the
  // current colour type, or null for a type outside the table. Saving and
  // recording read the image through this, so no frame is converted into it
  // meanwhile; whoever needs the image longer takes a copy here.
  template <typename Use>
  auto WithOutputImage(Use &&use) QUOREL_EXCLUDES(frameLock_) {
    MutexLock frame(frameLock_);
    return use(OutputImageLocked());
  }

 private:
  enum ImageSlot { kImage8, kImage16, kImage24, kImage32, kImage48, kImage64, kSharpenCopy, kImageCount };

  // Records code 1 for operation when there is no device object.
  bool HasDevice(const char *operation);
  int PrepareAcquisition() QUOREL_EXCLUDES(frameLock_);
  bool StartFrameThread(AcquisitionMode mode);
  void SetRunState(RunState state);
  // The one worker loop: waits for a frame from source, delivers it, until
  // the run state is stopped or the source fails.
  void RunWorker(FrameSource &source) QUOREL_EXCLUDES(frameLock_);
  // Converts, processes, paints and copies one frame, then announces it.
  void DeliverFrame(FrameSource &source) QUOREL_EXCLUDES(frameLock_);
  void UpdateFrameRateLocked() QUOREL_REQUIRES(frameLock_);
  DibImage &RawImageLocked() QUOREL_REQUIRES(frameLock_);
  DibImage *OutputImageLocked() QUOREL_REQUIRES(frameLock_);
  void RunPipelineLocked() QUOREL_REQUIRES(frameLock_);
  void RespaceRawRowsLocked() QUOREL_REQUIRES(frameLock_);
  // Reduces the output to a displayable depth (every frame, window or not)
  // and hands the display image to the host's painter.
  void PaintPreviewLocked() QUOREL_REQUIRES(frameLock_);
  void FillFrameInfoLocked(const DibImage &raw, int type) QUOREL_REQUIRES(frameLock_);
  // The colour type the images and the sensor were prepared for. A colour
  // mode set while frames arrive takes effect at the next preparation: the
  // device keeps delivering samples of the prepared depth into the prepared
  // images, so reading the live setting here would write past them.
  int FrameTypeLocked() const QUOREL_REQUIRES(frameLock_);
  void PostFrameMessage(WPARAM wParam, LPARAM lParam);
  // Copies source into the application's buffer, top line first when
  // bottomUp is non-zero, else bottom line first; reports code 5 (and a
  // frame message with lParam 5) when the buffer is too small.
  int CopyToDestination(const DibImage &source, int bottomUp, unsigned char *destination, int size);

  AcquisitionHost &host_;
  AcquisitionSettings settings_;
  DeviceTable &deviceTable_;
  CQuorel470KXPLUSdk *device_ = nullptr;  // the camera object's; set by Attach
  HWND notifyWindow_ = nullptr;

  std::atomic<AcquisitionMode> mode_{AcquisitionMode::kIdle};
  std::atomic<RunState> runState_{RunState::kStopped};
  std::thread frameThread_;  // application threads start and join it
  std::recursive_mutex stateLock_;
  // Every change of runState_ goes through SetRunState, which wakes the
  // frame thread's wait.
  std::mutex runStateMutex_;
  std::condition_variable runStateChanged_;

  Mutex frameLock_;
  std::array<std::unique_ptr<DibImage>, kImageCount> images_ QUOREL_GUARDED_BY(frameLock_);
  std::unique_ptr<SensorPipelineDevice> pipelineSensor_ QUOREL_GUARDED_BY(frameLock_);
  // -1 until the first preparation, when the live setting is all there is.
  int32_t preparedType_ QUOREL_GUARDED_BY(frameLock_) = -1;
  // Destination: the window is read without the lock to post messages.
  std::atomic<HWND> callbackWindow_{nullptr};
  unsigned char *destBuffer_ QUOREL_GUARDED_BY(frameLock_) = nullptr;
  int32_t destSize_ QUOREL_GUARDED_BY(frameLock_) = 0;
  int32_t bottomUp_ QUOREL_GUARDED_BY(frameLock_) = 0;
  // Posted by address with every frame message; rewritten under the lock.
  QuorelFrameInfo frameInfo_ QUOREL_GUARDED_BY(frameLock_){32, 0, 0, 0, 0, 0, nullptr};
  int32_t frameRate_ QUOREL_GUARDED_BY(frameLock_) = 0;
  int32_t frameCount_ QUOREL_GUARDED_BY(frameLock_) = 0;
  uint32_t rateStartTick_ QUOREL_GUARDED_BY(frameLock_) = 0;

  std::atomic<int32_t> imageValid_{0};
  std::atomic<int32_t> frameReady_{0};
  StreamStatistics stream_;
  int32_t triggerTimeoutMs_ = 3000;
};

}  // namespace quorel
