// The per-camera object behind every handle. It owns the device object that
// talks to one camera, the image buffers frames are converted into, the
// worker threads, the preview window, the AVI writer, a view of the
// cross-process device table, and every setting an application can change.
//
// Settings are plain fields: most setters only store a value, and the sensor
// receives stored values when acquisition is next prepared. Gains, exposure
// and mirroring reach the sensor at once.
//
// Thread context: operations run on the application's threads; the worker
// threads read the settings fields (plain integers read whole) and take the
// frame lock around everything they do with the image buffers.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "QuorelSdk_470KX_PLU.h"
#include "api/ErrorHistory.h"
#include "camera/CameraSettings.h"

namespace quorel {

class CQuorel470KXPLUSdk;
class DibImage;
class DeviceTable;
class ConfigurationList;
class SensorPipelineDevice;
class AviWriter;

// Error codes recorded in the history (their meanings are in platform/ErrorCodes).
enum ErrorCode : int32_t {
  kErrNone = 0,
  kErrNotReady = 1,
  kErrNoCamera = 2,
  kErrThread = 3,
  kErrWindow = 4,
  kErrMemory = 5,
  kErrDevice = 6,
  kErrGeometry = 7,
  kErrFrame = 8,
  kErrArgument = 9,
  kErrNotSupported = 11,
  kErrFile = 12,
  kErrTransferStopped = 13,
};

// Acquisition modes.
enum AcquisitionMode : int32_t { kModeIdle = 0, kModePreview = 1, kModeCapture = 2, kModeTrigger = 3 };

class CQuorel {
 public:
  CQuorel();
  virtual ~CQuorel();
  CQuorel(const CQuorel &) = delete;
  CQuorel &operator=(const CQuorel &) = delete;

  // --- lifecycle ---
  int Initialize(HWND notifyWindow);
  int Close();

  // --- errors (thread-safe) ---
  // Records code as the newest entry and posts it to the notification window
  // when there is one. `operation` names the export for the debug log.
  int ReportError(int32_t code, const char *operation = nullptr);
  // Posts code without recording it, even to a null window (which posts to the
  // calling thread's queue).
  void PostError(int32_t code, const char *operation = nullptr);
  int32_t GetLastError() { return errors_.Pop(); }

  // --- format, geometry and timing ---
  int SetColorMode(int bitsPerPixel);
  int GetColorMode() const;
  int SetSubSample(int code);
  int GetSubSample() const { return format_.subSample; }
  int SetWaitTime(int milliseconds);
  int GetWaitTime() const { return format_.waitTime; }
  int SetHalfClock(int mode);
  int GetHalfClock(int *ok);
  int Width() const { return geometry_.width; }
  int Height() const { return geometry_.height; }
  int SetCaptureWindow(int width, int height);
  int SetCaptureWindowEx(int hTotal, int hStart, int hEffective, int vTotal, int vStart, int vEffective);
  int GetCaptureWindowEx(int *hTotal, int *hStart, int *hEffective, int *vTotal, int *vStart, int *vEffective) const;

  // --- sensor controls ---
  int SetMirrorH(int on);
  int SetMirrorV(int on);
  int GetMirrorH();
  int GetMirrorV();
  int SetAutoIris(int mode);
  int GetAutoIris(int *ok);
  int SetRealExposureTime(int microseconds);
  int GetRealExposureTime(int *ok);

  // --- filter values ---
  int GetFilterValue(int filterId, int *ok);
  int SetFilterValue(int filterId, int value);

  // --- devices ---
  int EnumDevice(char (*names)[256]);
  int EnumDeviceW(wchar_t (*names)[256]);
  int GetDeviceName(int index, char *name, int size);
  int GetDeviceNameW(int index, wchar_t *name, int size);
  int SetDeviceNumber(int index);
  int GetCameraInfo(QuorelCameraInfo *info);

  // --- registers and ports ---
  int ReadRegister(int reg, int *ok);  // reg as given; the export masks it
  int WriteRegister(int reg, int value);
  int ReadSromID(int index, int *ok);
  int WriteSromID(int index, int value);
  int GetIOPort(unsigned char *value);
  int SetIOPort(int value);

  // --- acquisition ---
  int Preview();
  int CallBackPreview(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);
  int Capture();
  int SnapShot(unsigned char *buffer, int size, int bottomUp);
  int Trigger(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);
  int StartPreview();
  int StopPreview();
  int GetImage(unsigned char *buffer, int size, int bottomUp);
  int SetPreviewWindow(HWND parent, int left, int top, int right, int bottom);

  // --- files ---
  int SaveImage(const char *fileName, int fileType);
  int SaveImageW(const wchar_t *fileName, int fileType);
  int Record(const char *fileName, int durationMs, int showWindow);
  int RecordW(const wchar_t *fileName, int durationMs, int showWindow);
  int LoadConfigFile(const char *fileName);
  int LoadConfigFileW(const wchar_t *fileName);

  // --- dialogs ---
  int SetCameraDlg(HWND owner);
  int SetImageDlg(HWND owner);
  int SetAnalogDlg(HWND owner);

  // --- not supported by this camera ---
  int NotSupportedPost();            // posts code 11, returns 0
  int NotSupportedZero(int *value);  // writes 0, returns 0
  int NotSupportedRecord();          // records code 11, returns -1

  // --- read-only views for tests, tools and the dialogs ---
  const CaptureGeometry &geometry() const { return geometry_; }
  const FilterBlock &filters() const { return filters_; }
  const AnalogBlock &analog() const { return analog_; }
  const FormatValues &format() const { return format_; }
  int deviceNumber() const { return deviceNumber_; }
  bool hasDevice() const { return device_ != nullptr; }
  HWND notifyWindow() const { return notifyWindow_; }
  std::array<int32_t, ErrorHistory::kDepth> errorSnapshot() const { return errors_.Snapshot(); }
  const ConfigurationList &configuration() const { return *config_; }

  // The capture-window test used by initialisation, preparation and the
  // window setters.
  static bool IsCaptureWindowValid(const CaptureGeometry &g, int subSample);
  // Width and height of a delivered image are divided by this.
  static int SubSampleDivisor(int code);

 private:
  // Acquisition internals. "Locked" functions run with frameLock_ held.
  int PrepareAcquisition();
  bool StartFrameThread(bool trigger);
  void PreviewWorker();
  void TriggerWorker();
  int StartShowingPreview(const char *operation);
  bool PreviewWindowWanted() const;
  int CreatePreviewWindow();
  void SetDestination(HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);
  DibImage &RawImage();
  DibImage *OutputImageLocked();
  void RunPipelineLocked();
  void RespaceRawRowsLocked();
  void PaintPreviewLocked();
  // Size, picture size, bit count and buffer of the frame-information record.
  void FillFrameInfoLocked(const DibImage &raw, int type);
  void PostFrameMessage(WPARAM wParam, LPARAM lParam);
  // Copies source into the application's buffer, top line first when
  // bottomUp is non-zero, else bottom line first; reports code 5 (and a
  // frame message with lParam 5) when the buffer is too small.
  int CopyToDestination(const DibImage &source, int bottomUp, unsigned char *destination, int size);

  // Files: the save under the frame lock, and the recording worker.
  int SaveLocked(const char *path, int fileType, const char *operation);
  void RecordingWorker();

  // Fails with code 1 (recorded and posted) when there is no device object.
  bool RequireDevice(const char *operation);
  // An operation whose machinery this build does not have yet: records code 1.
  int NotAvailable(const char *operation);
  void ResetGeometryToSensor();
  // Gains in register order, then exposure; the analog block adds the
  // mirrors after them (preparation writes the mirrors before).
  void WriteGainsAndExposureToSensor();
  void WriteAnalogBlockToSensor();
  AnalogBlock DeviceAnalogDefaults();
  void SaveSettingsGroups(int deviceNumber);
  void LoadSettingsGroups(int deviceNumber);
  int GetNarrowName(int index, char *name, int size);

  // 1. cross-process table view
  std::unique_ptr<DeviceTable> deviceTable_;
  // 2. device object; null when initialisation failed
  std::unique_ptr<CQuorel470KXPLUSdk> device_;
  // 3. image buffers, in this order
  enum ImageSlot {
    kImage8,
    kImage16,
    kImage24,
    kImage32,
    kImage48,
    kImage64,
    kSharpenCopy,
    kDisplayImage,
    kImageCount
  };
  std::array<std::unique_ptr<DibImage>, kImageCount> images_;
  // 4./5. preview window and its class name (none on this platform until a
  // preview window is created)
  HWND previewWindow_ = nullptr;
  std::string windowClassName_;
  // 6.-11. settings
  CaptureGeometry geometry_;
  FilterBlock filters_{};
  void *imageDialog_ = nullptr;  // the open image-filter dialog, if any
  AnalogBlock analog_;
  void *analogDialog_ = nullptr;  // the open analog dialog, if any
  // Exposure conversion state: line length, fine-time term, unit time and the
  // last computed real time.
  int64_t exposureLineLength_ = 0;
  int32_t exposureFine_ = 1;
  double exposureUnit_ = 1.0;
  int32_t exposureResult_ = 0;
  // 12./13. locks
  std::mutex frameLock_;  // guards the image buffers, the conversion and frameInfo_
  // 14. configuration-file contents, with their own lock inside
  std::unique_ptr<ConfigurationList> config_;
  // 15.-20. recording and frame threads. The flags are written by one side
  // and polled by the other; stopping clears a flag and joins the thread.
  std::atomic<int32_t> recording_{0};
  std::atomic<int32_t> frameReady_{0};
  std::thread recordThread_;
  std::unique_ptr<AviWriter> avi_;
  // Recording timing, owned by the recording worker once it runs: the start
  // tick (0 until the first frame) and the stop tick (the duration until the
  // first frame, the absolute stop time after).
  uint32_t recordStartTick_ = 0;
  uint32_t recordStopTick_ = 0;
  std::atomic<int32_t> runState_{0};  // 0 stop, 1 run, 2 pause
  std::thread frameThread_;
  std::unique_ptr<SensorPipelineDevice> pipelineSensor_;
  // 21. preview parent and rectangle
  HWND previewParent_ = nullptr;
  int32_t previewRect_[4] = {0, 0, kSensorWidth, kSensorHeight};
  // 22. notification window
  HWND notifyWindow_ = nullptr;
  // 23. callback destination; the buffer, size and flag are guarded by frameLock_
  std::atomic<HWND> callbackWindow_{nullptr};
  unsigned char *destBuffer_ = nullptr;
  int32_t destSize_ = 0;
  int32_t bottomUp_ = 0;
  // 24. frame-information record
  QuorelFrameInfo frameInfo_{32, 0, 0, 0, 0, 0, nullptr};
  // 25.-31. modes and counters
  std::atomic<int32_t> mode_{kModeIdle};
  FormatValues format_;  // colour-mode index, sub-sampling, wait time, half clock
  std::atomic<int32_t> imageValid_{0};
  int32_t frameRate_ = 0;
  int32_t frameCount_ = 0;
  uint32_t rateStartTick_ = 0;
  // 32. error history
  ErrorHistory errors_;
  // 33./34.
  int32_t triggerTimeoutMs_ = 3000;
  int32_t deviceNumber_ = 0;
  // Set once initialisation has loaded the settings groups; only then does
  // the teardown save them back.
  bool settingsLoaded_ = false;
};

}  // namespace quorel
