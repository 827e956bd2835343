// The viewer's main window: camera list, toolbar, the live picture (the
// library's own preview window as a child of the picture area, or the
// viewer's painting of the delivered frame when the library has no window),
// histogram, status bar and error panel.
//
// Threads: every method runs on the GTK thread. Camera calls go through a
// CameraThread; the library's messages (frames and errors) arrive through the
// eventfd of the viewer's message window, watched by the GLib main loop. The
// library's three dialogs are modal on the calling thread, so they are opened
// from the GTK thread, and only while no camera call is in flight.
//
// The frame buffer: the library's worker copies each frame into frame_ and
// then posts the frame message; the viewer reads the buffer (and the frame
// record the message points to) when the message arrives. The interface has
// no lock for that hand-over, so a frame that arrives while the viewer reads
// may mix into the histogram of the one before; the next message shows it
// whole. The buffer is sized once for the largest frame and never moves, so
// no read or write ever leaves it.
#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AviInfo.h"
#include "CameraCalls.h"
#include "CameraThread.h"
#include "Histogram.h"
#include "Language.h"
#include "PictureLayout.h"
#include "StatusFigures.h"
#include "UiText.h"
#include "ViewerConfig.h"

namespace quorel::viewer {

struct ViewerOptions {
  bool sim = false;
  std::string simConfig = "units=0";
  std::optional<int> device;
  std::string configPath;
};

enum class Acquisition { kIdle, kLive, kSnapshot, kTrigger };
enum class DialogKind { kCamera, kImage, kAnalog };

struct ErrorEntry {
  int code = 0;
  std::string time;
};

// What a finished dialog call gave.
struct DialogOutcome {
  int result = 0;
  int code = 0;  // the first error the call posted, 0 for none
};

class ViewerWindow {
 public:
  ViewerWindow(const ViewerOptions &options, Language lang);
  ~ViewerWindow();
  ViewerWindow(const ViewerWindow &) = delete;
  ViewerWindow &operator=(const ViewerWindow &) = delete;

  GtkWidget *window() const { return window_; }
  Language language() const { return lang_; }

  // Runs `then` once the camera has been opened (at once if it has).
  void WhenReady(std::function<void()> then);
  // Runs `then` when no camera call is in flight.
  void WhenIdle(std::function<void()> then);

  // Actions of the toolbar, the keyboard and the test script. `done`, when
  // given, receives whether the action succeeded.
  void StartLive(const std::function<void(bool)> &done = {});
  void Stop(const std::function<void(bool)> &done = {});
  void ToggleLive();
  void TakeSnapshot(const std::function<void(bool)> &done = {});
  void StartTrigger(const std::function<void(bool)> &done = {});
  void FireTrigger();
  void SetFit(bool fit);
  void SetColourMode(int bits, const std::function<void(bool)> &done = {});
  void SetExposureMs(double ms, const std::function<void(bool)> &done = {});
  void SetSubSample(int code, const std::function<void(bool)> &done = {});
  void SetChannel(HistogramChannel channel);
  void SetScale(HistogramScale scale);
  void SaveImageTo(const std::string &path, int fileType, const std::function<void(bool)> &done = {});
  void RecordTo(const std::string &path, int ms, const std::function<void(bool, const AviInfo &)> &done = {});
  // Opens a library dialog owned by this window, once no camera call is in
  // flight; returns when the dialog is closed.
  void OpenDialog(DialogKind kind, const std::function<void(DialogOutcome)> &done = {});
  void SimulatePresence(int unit, bool present, const std::function<void(bool)> &done = {});
  // The keyboard's handler, also for synthetic events.
  bool HandleKey(guint keyval);
  void OpenSaveChooser();
  void OpenRecordChooser();
  // Saves the configuration and closes the window; the main loop ends.
  void Quit();

  // What the window shows, for the test script.
  uint64_t frames() const { return frames_; }
  const Histogram &histogram() const { return histogram_; }
  const FrameGeometry &frameGeometry() const { return lastFrame_; }
  const std::vector<ErrorEntry> &errors() const { return errors_; }
  std::string statusText() const;
  // The picture's rectangle in the top-level window's coordinates.
  PictureRect PictureInWindow() const;
  bool libraryPaints() const { return libraryWindow_; }
  Acquisition acquisition() const { return acquisition_; }
  GtkWidget *openChooser() const { return chooser_; }
  size_t cameraCount() const { return cameras_.size(); }
  std::string hintText() const { return gtk_label_get_text(GTK_LABEL(hintLabel_)); }
  // Lists the cameras again (the Refresh button); `done` after the list is shown.
  void RefreshCameras(const std::function<void()> &done = {});

 private:
  void BuildWidgets();
  GtkWidget *Button(UiText id, void (*handler)(GtkWidget *, gpointer));
  void OpenCamera();
  void SelectUnit(int unit);
  void ChangeUnit(int unit);
  void ChangeColourMode(int bits, const std::function<void(bool)> &done);
  void ChangeSubSample(int code, const std::function<void(bool)> &done);
  void BeginRecording(const std::string &path, int ms, const std::function<void(bool, const AviInfo &)> &done);
  void OnMessages();
  void OnCameraDone();
  void OnFrame(const QuorelFrameInfo *info);
  void ShowFrame(const FrameGeometry &g);
  void OnError(int code);
  void RefreshStatus();
  void ShowStatus();
  void UpdateButtons();
  void PlacePicture();
  PreviewPlacement Placement() const;
  bool DrawPicture(cairo_t *cr);
  bool DrawHistogram(cairo_t *cr);
  void PollRecording();
  void FinishRecording(bool ok, const AviInfo &info);
  int BufferSize() const;
  void ShowHint(const std::string &text);

  ViewerOptions options_;
  Language lang_;
  ViewerConfig config_;

  // Camera side.
  HWND messages_ = nullptr;
  HWND ownerWindow_ = nullptr;    // the top-level window, registered
  HWND pictureWindow_ = nullptr;  // the picture area, registered
  int handle_ = 0;
  bool ready_ = false;
  std::vector<std::function<void()>> readyWaiters_;
  std::vector<std::function<void()>> idleWaiters_;
  std::unique_ptr<CameraThread> camera_;
  guint messageSource_ = 0;
  guint cameraSource_ = 0;
  guint statusSource_ = 0;
  guint recordSource_ = 0;
  bool statusPending_ = false;
  bool muteAbsentErrors_ = false;
  int sensorWidth_ = 3488;
  int sensorHeight_ = 2616;
  // The delivered frames land here; sized once for the largest frame the
  // sensor can give in the deepest mode, so it never moves while the library
  // holds its address.
  std::unique_ptr<uint8_t[]> frame_;
  size_t frameBytes_ = 0;
  Acquisition acquisition_ = Acquisition::kIdle;
  bool libraryWindow_ = false;
  std::vector<CameraEntry> cameras_;
  int unit_ = 0;
  bool updatingControls_ = false;
  bool dialogOpen_ = false;
  bool quitting_ = false;
  // The handle as soon as the camera thread has it, for the release at exit.
  std::atomic<int> openedHandle_{0};

  // What is shown.
  uint64_t frames_ = 0;
  mutable FrameRateMeter rate_;  // Rate() drops old arrivals
  FrameGeometry lastFrame_;
  FrameGeometry expected_;
  Histogram histogram_;
  DisplayImage display_;
  CameraReadings readings_;
  std::vector<ErrorEntry> errors_;
  int lastErrorCode_ = 0;

  // Recording in progress.
  struct Recording {
    std::string path;
    int ms = 0;
    int64_t startNs = 0;
    bool seenFinished = false;
    AviInfo last;
    std::function<void(bool, const AviInfo &)> done;
  };
  std::unique_ptr<Recording> recording_;

  // Widgets (owned by window_).
  GtkWidget *window_ = nullptr;
  GtkWidget *toolbar_ = nullptr;
  GtkWidget *cameraCombo_ = nullptr;
  GtkWidget *startButton_ = nullptr;
  GtkWidget *stopButton_ = nullptr;
  GtkWidget *snapButton_ = nullptr;
  GtkWidget *triggerButton_ = nullptr;
  GtkWidget *fireButton_ = nullptr;
  GtkWidget *fitButton_ = nullptr;
  GtkWidget *modeCombo_ = nullptr;
  GtkWidget *exposureSpin_ = nullptr;
  GtkWidget *dialogButtons_[3] = {};
  GtkWidget *saveButton_ = nullptr;
  GtkWidget *recordButton_ = nullptr;
  GtkWidget *picture_ = nullptr;
  GtkWidget *histogramArea_ = nullptr;
  GtkWidget *channelCombo_ = nullptr;
  GtkWidget *scaleCombo_ = nullptr;
  GtkWidget *modeLabel_ = nullptr;
  GtkWidget *statusLabel_ = nullptr;
  GtkWidget *errorLabel_ = nullptr;
  GtkWidget *progress_ = nullptr;
  GtkWidget *hintLabel_ = nullptr;
  GtkListStore *errorStore_ = nullptr;
  GtkWidget *chooser_ = nullptr;
  GtkWidget *durationSpin_ = nullptr;
  GtkWidget *typeCombo_ = nullptr;
};

}  // namespace quorel::viewer
