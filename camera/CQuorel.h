// The per-camera object behind every handle. It owns the device object that
// talks to one camera, the settings model (every setting an application can
// change), the preview window, the AVI writer and its recording thread, a
// view of the cross-process device table, and the error history. The mode
// state machine, the frame thread and the image buffers are its Acquisition
// (camera/Acquisition.h), to which the acquisition operations forward.
//
// Settings are plain fields: most setters only store a value, and the sensor
// receives stored values when acquisition is next prepared. Gains, exposure
// and mirroring reach the sensor at once.
//
// Thread context: operations run on the application's threads; the frame and
// recording threads read the settings fields (plain 32-bit integers read
// whole, platform/SharedValue.h) and reach the image buffers only under the
// acquisition's frame lock. The error history has its own lock; the
// configuration list has its own lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "QuorelSdk_470KX_PLU.h"
#include "camera/Acquisition.h"
#include "camera/ErrorHistory.h"
#include "image/DibImage.h"
#include "platform/ErrorCodes.h"
#include "platform/SharedValue.h"
#include "settings/CameraSettings.h"

namespace quorel {

class CQuorel470KXPLUSdk;
class DibImage;
class DeviceTable;
class ConfigurationList;
class AviWriter;
class CImageFilterDlg;
class CAnalogDlg;
class DialogRunner;
class PreviewWindow;

class CQuorel : private AcquisitionHost {
 public:
  CQuorel();
  ~CQuorel() override;
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
  int GetSubSample() const { return LoadShared(format_.subSample); }
  int SetWaitTime(int milliseconds);
  int GetWaitTime() const { return LoadShared(format_.waitTime); }
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

  // --- frame metadata and stream statistics (any thread) ---
  int GetFrameMeta(QuorelFrameMeta *meta);
  int GetStreamStatistics(QuorelStreamStats *stats);
  int ResetStreamStatistics();

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
  static bool IsCaptureWindowValid(const CaptureGeometry &g, int subSample) {
    return quorel::IsCaptureWindowValid(g, subSample);
  }
  // Width and height of a delivered image are divided by this.
  static int SubSampleDivisor(int code) { return quorel::SubSampleDivisor(code); }

  // The preview window's class name; empty while none is registered.
  const std::string &windowClassName() const { return windowClassName_; }

  // The mode state machine, frame thread and images.
  Acquisition &acquisition() { return acquisition_; }

 private:
  // The transfer engine's counters of the current or last streaming run.
  TransferCounters EngineCounters() const;

  // AcquisitionHost: the services the acquisition asks of its camera.
  void RecordError(int32_t code, const char *operation) override { ReportError(code, operation); }
  bool ShowPreviewWindow() override;
  void PaintPreviewLocked(const DibImage &display) override;
  void WriteSensorSettings() override;
  void CloseAfterFailedStart() override { Close(); }

  bool PreviewWindowWanted() const;
  int CreatePreviewWindow();
  // Takes the preview window out under the frame lock and destroys it.
  void DestroyPreviewWindow();

  // Files: the save of the output image (frame lock held), and the
  // recording worker.
  int SaveOutput(DibImage *output, const char *path, int fileType, const char *operation);
  // Copies the output image into saveImage_ under the frame lock, then
  // writes the file from the copy with the lock released.
  int SaveCopy(const char *path, int fileType, const char *operation);
  void RecordingWorker();

  // Dialogs: the code (reported) that keeps one from being shown now, or 0;
  // and what the frame pipeline shows in an open dialog (AcquisitionHost).
  int DialogBlocked(DialogRunner &runner, const char *operation);
  void ShowMeasuredFiltersLocked() override;
  void ShowAutoIrisValueLocked(int control, int value) override;

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
  // 3. the image buffers belong to acquisition_
  // 4./5. preview window (its handle and drawing state inside) and its class
  // name; displayImage, the picture scaled to the window's client area. The
  // frame thread paints through both under the acquisition's frame lock;
  // replacing or destroying the window takes that lock too.
  std::unique_ptr<PreviewWindow> preview_;
  std::unique_ptr<DibImage> displayImage_;
  std::string windowClassName_;
  // 6.-11. settings
  CaptureGeometry geometry_;
  FilterBlock filters_{};
  // The open image-filter dialog, if any. The frame thread calls into it
  // holding the frame lock; it is cleared before the dialog goes, and the
  // launcher then waits out a frame in progress.
  std::atomic<CImageFilterDlg *> imageDialog_{nullptr};
  AnalogBlock analog_;
  std::atomic<CAnalogDlg *> analogDialog_{nullptr};  // the open analog dialog, as imageDialog_
  // Exposure conversion state: line length, fine-time term, unit time and the
  // last computed real time. Each is one atomic value: the exposure getter and
  // setter write them from any thread, and so does a starting acquisition.
  std::atomic<int64_t> exposureLineLength_{0};
  std::atomic<int32_t> exposureFine_{0};  // always 0: the dialog's read-out shows "=0.00ms" before any conversion
  std::atomic<double> exposureUnit_{1.0};
  std::atomic<int32_t> exposureResult_{0};
  // 12./13. the frame lock belongs to acquisition_
  // 14. configuration-file contents, with their own lock inside
  std::unique_ptr<ConfigurationList> config_;
  // 15.-20. recording thread (the frame thread belongs to acquisition_). The
  // flag is written by one side and polled by the other; stopping clears it
  // and joins the thread.
  std::atomic<int32_t> recording_{0};
  std::thread recordThread_;
  std::unique_ptr<AviWriter> avi_;
  // Recording timing, owned by the recording worker once it runs: the start
  // tick (0 until the first frame) and the stop tick (the duration until the
  // first frame, the absolute stop time after).
  uint32_t recordStartTick_ = 0;
  uint32_t recordStopTick_ = 0;
  // The image a save writes from: the output image copied under the frame
  // lock, kept between saves so that its memory is ready (sized before the
  // frame lock is taken). One save at a time uses it.
  Mutex saveLock_;
  DibImage saveImage_ QUOREL_GUARDED_BY(saveLock_);
  // 21. preview parent and rectangle
  HWND previewParent_ = nullptr;
  int32_t previewRect_[4] = {0, 0, kSensorWidth, kSensorHeight};
  // 22. notification window
  HWND notifyWindow_ = nullptr;
  // 23.-31. the destination, frame record, mode and frame counters belong
  // to acquisition_
  FormatValues format_;  // colour-mode index, sub-sampling, wait time, half clock
  // 32. error history
  ErrorHistory errors_;
  // 34.
  int32_t deviceNumber_ = 0;
  // Set once initialisation has loaded the settings groups; only then does
  // the teardown save them back.
  bool settingsLoaded_ = false;
  // Last: it refers to the settings and the device table above, and is
  // destroyed (its frame thread joined) before them.
  Acquisition acquisition_;
};

}  // namespace quorel
