#include "ViewerWindow.h"

#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <stdexcept>

#include "ErrorTexts.h"
#include "PreviewChild.h"
#include "QuorelSim.h"
#include "QuorelStream.h"

namespace quorel::viewer {
namespace {

constexpr int kModeBits[] = {8, 16, 24, 32, 48, 64};
constexpr int kFileTypes[] = {QUOREL_FILE_BMP,     QUOREL_FILE_RAW, QUOREL_FILE_JPEG_100, QUOREL_FILE_JPEG_70,
                              QUOREL_FILE_JPEG_20, QUOREL_FILE_PNG, QUOREL_FILE_TIFF};
constexpr const char *kFileTypeNames[] = {"BMP", "raw", "JPEG 100", "JPEG 70", "JPEG 20", "PNG", "TIFF"};
constexpr const char *kFileExtensions[] = {".bmp", ".raw", ".jpg", ".jpg", ".jpg", ".png", ".tif"};
// Pixels the histogram counts per frame: enough for a faithful chart, cheap
// enough for the GTK thread at any frame size.
constexpr int64_t kHistogramBudget = 300'000;

int64_t NowNs() {
  return g_get_monotonic_time() * 1000;
}

std::string ClockTime() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &tm);
  return text;
}

std::string Format(const char *pattern, ...) G_GNUC_PRINTF(1, 2);
std::string Format(const char *pattern, ...) {
  va_list args;
  va_start(args, pattern);
  gchar *text = g_strdup_vprintf(pattern, args);
  va_end(args);
  std::string result = text;
  g_free(text);
  return result;
}

std::string ReplaceExtension(const std::string &name, const char *extension) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  const std::string stem =
      dot != std::string::npos && (slash == std::string::npos || dot > slash) ? name.substr(0, dot) : name;
  return stem + extension;
}

// A file chooser still has idle work queued when it answers; destroying it
// from inside its own response handler leaves that work a dead widget.
void DestroyLater(GtkWidget *widget) {
  gtk_widget_hide(widget);
  g_idle_add(
      [](gpointer w) -> gboolean {
        gtk_widget_destroy(GTK_WIDGET(w));
        return G_SOURCE_REMOVE;
      },
      widget);
}

}  // namespace

ViewerWindow::ViewerWindow(const ViewerOptions &options, Language lang) : options_(options), lang_(lang) {
  config_ = LoadViewerConfig(options_.configPath);
  if (options_.device) config_.unit = *options_.device;
  messages_ = QuorelHost_CreateMessageWindow();
  if (messages_ == nullptr) throw std::runtime_error("no message window could be created");
  camera_ = std::make_unique<CameraThread>();
  cameraSource_ = g_unix_fd_add(
      camera_->fd(), G_IO_IN,
      [](gint, GIOCondition, gpointer self) -> gboolean {
        static_cast<ViewerWindow *>(self)->OnCameraDone();
        return G_SOURCE_CONTINUE;
      },
      this);
  messageSource_ = g_unix_fd_add(
      QuorelHost_GetEventFd(messages_), G_IO_IN,
      [](gint, GIOCondition, gpointer self) -> gboolean {
        static_cast<ViewerWindow *>(self)->OnMessages();
        return G_SOURCE_CONTINUE;
      },
      this);
  BuildWidgets();
  gtk_widget_show_all(window_);
  if (!options_.sim) gtk_widget_hide(fireButton_);
  gtk_widget_hide(progress_);
  gtk_widget_hide(hintLabel_);
  gtk_widget_grab_focus(picture_);
  statusSource_ = g_timeout_add(
      500,
      [](gpointer self) -> gboolean {
        static_cast<ViewerWindow *>(self)->RefreshStatus();
        return G_SOURCE_CONTINUE;
      },
      this);
  OpenCamera();
}

ViewerWindow::~ViewerWindow() {
  for (guint *source : {&messageSource_, &cameraSource_, &statusSource_, &recordSource_}) {
    if (*source != 0) g_source_remove(*source);
    *source = 0;
  }
  if (chooser_ != nullptr) gtk_widget_destroy(chooser_);
  // Jobs still queued run to their end first; then the camera is released
  // (which stops acquisition and saves its settings) before the windows it
  // may post to or paint into go.
  camera_.reset();
  if (const int handle = openedHandle_.load(); handle != 0) Quorel_Release(handle);
  QuorelHost_DestroyWindow(messages_);
  if (pictureWindow_ != nullptr) QuorelHost_DestroyWindow(pictureWindow_);
  if (ownerWindow_ != nullptr) QuorelHost_DestroyWindow(ownerWindow_);
  if (window_ != nullptr) gtk_widget_destroy(window_);
}

// ---------------------------------------------------------------------------
// Widgets

GtkWidget *ViewerWindow::Button(UiText id, void (*handler)(GtkWidget *, gpointer)) {
  GtkWidget *b = gtk_button_new_with_label(Text(id, lang_));
  g_signal_connect(b, "clicked", G_CALLBACK(handler), this);
  gtk_widget_set_can_focus(b, FALSE);
  return b;
}

void ViewerWindow::BuildWidgets() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), Text(UiText::kWindowTitle, lang_));
  gtk_window_set_icon_name(GTK_WINDOW(window_), "quorel-viewer");
  gtk_window_set_default_size(GTK_WINDOW(window_), config_.width, config_.height);
  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget *, GdkEvent *, gpointer self) -> gboolean {
                     static_cast<ViewerWindow *>(self)->Quit();
                     return TRUE;
                   }),
                   this);
  g_signal_connect(
      window_, "destroy",
      G_CALLBACK(+[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->window_ = nullptr; }), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(+[](GtkWidget *w, GdkEventKey *e, gpointer self) -> gboolean {
                     // Typing into the exposure field keeps its keys.
                     GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(w));
                     if (focus != nullptr && GTK_IS_EDITABLE(focus)) return FALSE;
                     if ((e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) return FALSE;
                     return static_cast<ViewerWindow *>(self)->HandleKey(e->keyval) ? TRUE : FALSE;
                   }),
                   this);
  g_signal_connect(window_, "realize", G_CALLBACK(+[](GtkWidget *w, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     v->ownerWindow_ = QuorelHost_WrapX11Window(GDK_WINDOW_XID(gtk_widget_get_window(w)));
                   }),
                   this);

  GtkWidget *outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_container_set_border_width(GTK_CONTAINER(outer), 6);
  gtk_container_add(GTK_CONTAINER(window_), outer);

  toolbar_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_box_pack_start(GTK_BOX(outer), toolbar_, FALSE, FALSE, 0);
  GtkWidget *row1 = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  GtkWidget *row2 = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  gtk_box_pack_start(GTK_BOX(toolbar_), row1, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(toolbar_), row2, FALSE, FALSE, 0);

  gtk_box_pack_start(GTK_BOX(row1), gtk_label_new(Text(UiText::kCamera, lang_)), FALSE, FALSE, 0);
  cameraCombo_ = gtk_combo_box_text_new();
  gtk_widget_set_size_request(cameraCombo_, 220, -1);
  gtk_widget_set_can_focus(cameraCombo_, FALSE);
  g_signal_connect(cameraCombo_, "changed", G_CALLBACK(+[](GtkComboBox *c, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     const int i = gtk_combo_box_get_active(c);
                     if (v->updatingControls_ || i < 0 || i >= static_cast<int>(v->cameras_.size())) return;
                     v->SelectUnit(v->cameras_[static_cast<size_t>(i)].unit);
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(row1), cameraCombo_, FALSE, FALSE, 0);
  gtk_box_pack_start(
      GTK_BOX(row1),
      Button(
          UiText::kRefresh, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->RefreshCameras(); }),
      FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row1), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
  startButton_ = Button(
      UiText::kStart, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->StartLive(); });
  stopButton_ = Button(
      UiText::kStop, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->Stop(); });
  snapButton_ = Button(
      UiText::kSnapshot, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->TakeSnapshot(); });
  triggerButton_ = Button(
      UiText::kTrigger, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->StartTrigger(); });
  fireButton_ = Button(
      UiText::kFireTrigger, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->FireTrigger(); });
  for (GtkWidget *b : {startButton_, stopButton_, snapButton_, triggerButton_, fireButton_}) {
    gtk_box_pack_start(GTK_BOX(row1), b, FALSE, FALSE, 0);
  }
  gtk_box_pack_start(GTK_BOX(row1), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
  fitButton_ = gtk_toggle_button_new_with_label(Text(UiText::kFit, lang_));
  gtk_widget_set_can_focus(fitButton_, FALSE);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fitButton_), config_.fit);
  g_signal_connect(fitButton_, "toggled", G_CALLBACK(+[](GtkToggleButton *b, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     if (!v->updatingControls_) v->SetFit(gtk_toggle_button_get_active(b));
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(row1), fitButton_, FALSE, FALSE, 0);
  gtk_box_pack_start(
      GTK_BOX(row1),
      Button(
          UiText::kZoom100, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->SetFit(false); }),
      FALSE, FALSE, 0);

  gtk_box_pack_start(GTK_BOX(row2), gtk_label_new(Text(UiText::kColourMode, lang_)), FALSE, FALSE, 0);
  modeCombo_ = gtk_combo_box_text_new();
  gtk_widget_set_can_focus(modeCombo_, FALSE);
  for (int bits : kModeBits) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(modeCombo_), Format("%d bit", bits).c_str());
  }
  g_signal_connect(modeCombo_, "changed", G_CALLBACK(+[](GtkComboBox *c, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     const int i = gtk_combo_box_get_active(c);
                     if (!v->updatingControls_ && i >= 0) v->SetColourMode(kModeBits[i]);
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(row2), modeCombo_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row2), gtk_label_new(Text(UiText::kExposureMs, lang_)), FALSE, FALSE, 4);
  exposureSpin_ = gtk_spin_button_new_with_range(0.1, 30000.0, 0.1);
  gtk_spin_button_set_digits(GTK_SPIN_BUTTON(exposureSpin_), 1);
  g_signal_connect(exposureSpin_, "value-changed", G_CALLBACK(+[](GtkSpinButton *s, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     if (!v->updatingControls_) v->SetExposureMs(gtk_spin_button_get_value(s));
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(row2), exposureSpin_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row2), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
  dialogButtons_[0] = Button(
      UiText::kCameraDialog,
      +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->OpenDialog(DialogKind::kCamera); });
  dialogButtons_[1] = Button(
      UiText::kImageDialog,
      +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->OpenDialog(DialogKind::kImage); });
  dialogButtons_[2] = Button(
      UiText::kAnalogDialog,
      +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->OpenDialog(DialogKind::kAnalog); });
  for (GtkWidget *b : dialogButtons_) gtk_box_pack_start(GTK_BOX(row2), b, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row2), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 4);
  saveButton_ = Button(
      UiText::kSaveImage, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->OpenSaveChooser(); });
  recordButton_ = Button(
      UiText::kRecord, +[](GtkWidget *, gpointer self) { static_cast<ViewerWindow *>(self)->OpenRecordChooser(); });
  gtk_box_pack_start(GTK_BOX(row2), saveButton_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row2), recordButton_, FALSE, FALSE, 0);

  hintLabel_ = gtk_label_new("");
  gtk_label_set_line_wrap(GTK_LABEL(hintLabel_), TRUE);
  gtk_label_set_xalign(GTK_LABEL(hintLabel_), 0.0f);
  gtk_box_pack_start(GTK_BOX(outer), hintLabel_, FALSE, FALSE, 0);

  GtkWidget *middle = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(outer), middle, TRUE, TRUE, 0);

  picture_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(picture_, 320, 240);
  gtk_widget_set_can_focus(picture_, TRUE);
  g_signal_connect(picture_, "draw", G_CALLBACK(+[](GtkWidget *, cairo_t *cr, gpointer self) -> gboolean {
                     return static_cast<ViewerWindow *>(self)->DrawPicture(cr) ? TRUE : FALSE;
                   }),
                   this);
  g_signal_connect(picture_, "size-allocate", G_CALLBACK(+[](GtkWidget *, GdkRectangle *, gpointer self) {
                     static_cast<ViewerWindow *>(self)->PlacePicture();
                   }),
                   this);
  g_signal_connect_after(picture_, "realize", G_CALLBACK(+[](GtkWidget *w, gpointer self) {
                           // The library's preview window becomes an X11 child of
                           // this window, so it must be a real X11 window.
                           GdkWindow *gw = gtk_widget_get_window(w);
                           gdk_window_ensure_native(gw);
                           static_cast<ViewerWindow *>(self)->pictureWindow_ =
                               QuorelHost_WrapX11Window(GDK_WINDOW_XID(gw));
                         }),
                         this);
  gtk_box_pack_start(GTK_BOX(middle), picture_, TRUE, TRUE, 0);

  GtkWidget *side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
  gtk_widget_set_size_request(side, 300, -1);
  gtk_box_pack_start(GTK_BOX(middle), side, FALSE, FALSE, 0);
  GtkWidget *histTitle = gtk_label_new(Text(UiText::kHistogram, lang_));
  gtk_label_set_xalign(GTK_LABEL(histTitle), 0.0f);
  gtk_box_pack_start(GTK_BOX(side), histTitle, FALSE, FALSE, 0);
  histogramArea_ = gtk_drawing_area_new();
  gtk_widget_set_size_request(histogramArea_, 290, 170);
  g_signal_connect(histogramArea_, "draw", G_CALLBACK(+[](GtkWidget *, cairo_t *cr, gpointer self) -> gboolean {
                     return static_cast<ViewerWindow *>(self)->DrawHistogram(cr) ? TRUE : FALSE;
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(side), histogramArea_, FALSE, FALSE, 0);
  GtkWidget *histControls = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  channelCombo_ = gtk_combo_box_text_new();
  for (UiText t : {UiText::kBlue, UiText::kGreen, UiText::kRed, UiText::kGray}) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(channelCombo_), Text(t, lang_));
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(channelCombo_), static_cast<int>(config_.channel));
  g_signal_connect(channelCombo_, "changed", G_CALLBACK(+[](GtkComboBox *c, gpointer self) {
                     const int i = gtk_combo_box_get_active(c);
                     if (i >= 0) static_cast<ViewerWindow *>(self)->SetChannel(static_cast<HistogramChannel>(i));
                   }),
                   this);
  scaleCombo_ = gtk_combo_box_text_new();
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(scaleCombo_), Text(UiText::kLinear, lang_));
  gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(scaleCombo_), Text(UiText::kLog, lang_));
  gtk_combo_box_set_active(GTK_COMBO_BOX(scaleCombo_), config_.scale == HistogramScale::kLog ? 1 : 0);
  g_signal_connect(scaleCombo_, "changed", G_CALLBACK(+[](GtkComboBox *c, gpointer self) {
                     static_cast<ViewerWindow *>(self)->SetScale(
                         gtk_combo_box_get_active(c) == 1 ? HistogramScale::kLog : HistogramScale::kLinear);
                   }),
                   this);
  for (GtkWidget *w : {channelCombo_, scaleCombo_}) {
    gtk_widget_set_can_focus(w, FALSE);
    gtk_box_pack_start(GTK_BOX(histControls), w, TRUE, TRUE, 0);
  }
  gtk_box_pack_start(GTK_BOX(side), histControls, FALSE, FALSE, 0);

  GtkWidget *errorsHead = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 4);
  GtkWidget *errorsTitle = gtk_label_new(Text(UiText::kErrors, lang_));
  gtk_label_set_xalign(GTK_LABEL(errorsTitle), 0.0f);
  gtk_box_pack_start(GTK_BOX(errorsHead), errorsTitle, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(errorsHead),
                     Button(
                         UiText::kClear,
                         +[](GtkWidget *, gpointer self) {
                           auto *v = static_cast<ViewerWindow *>(self);
                           gtk_list_store_clear(v->errorStore_);
                           gtk_label_set_text(GTK_LABEL(v->errorLabel_), "");
                         }),
                     FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(side), errorsHead, FALSE, FALSE, 6);
  errorStore_ = gtk_list_store_new(3, G_TYPE_STRING, G_TYPE_INT, G_TYPE_STRING);
  GtkWidget *errorView = gtk_tree_view_new_with_model(GTK_TREE_MODEL(errorStore_));
  g_object_unref(errorStore_);  // the view holds it
  gtk_widget_set_can_focus(errorView, FALSE);
  const char *titles[] = {"", "#", ""};
  for (int column = 0; column < 3; ++column) {
    GtkCellRenderer *cell = gtk_cell_renderer_text_new();
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(errorView), -1, titles[column], cell, "text", column,
                                                nullptr);
  }
  GtkWidget *scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
  gtk_container_add(GTK_CONTAINER(scroll), errorView);
  gtk_box_pack_start(GTK_BOX(side), scroll, TRUE, TRUE, 0);

  GtkWidget *status = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
  modeLabel_ = gtk_label_new(Text(UiText::kIdle, lang_));
  statusLabel_ = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(statusLabel_), 0.0f);
  progress_ = gtk_progress_bar_new();
  gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(progress_), TRUE);
  errorLabel_ = gtk_label_new("");
  gtk_label_set_ellipsize(GTK_LABEL(errorLabel_), PANGO_ELLIPSIZE_END);
  gtk_box_pack_start(GTK_BOX(status), modeLabel_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(status), gtk_separator_new(GTK_ORIENTATION_VERTICAL), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(status), statusLabel_, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(status), progress_, FALSE, FALSE, 0);
  gtk_box_pack_end(GTK_BOX(status), errorLabel_, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(outer), status, FALSE, FALSE, 0);
  UpdateButtons();
}

void ViewerWindow::UpdateButtons() {
  const bool camera = ready_ && !cameras_.empty();
  gtk_widget_set_sensitive(startButton_, camera && acquisition_ != Acquisition::kLive);
  gtk_widget_set_sensitive(stopButton_, camera && acquisition_ != Acquisition::kIdle);
  gtk_widget_set_sensitive(snapButton_, camera);
  gtk_widget_set_sensitive(triggerButton_, camera && acquisition_ != Acquisition::kTrigger);
  gtk_widget_set_sensitive(fireButton_, camera && acquisition_ == Acquisition::kTrigger);
  for (GtkWidget *b : dialogButtons_) gtk_widget_set_sensitive(b, ready_);
  gtk_widget_set_sensitive(saveButton_, camera);
  gtk_widget_set_sensitive(recordButton_, camera && recording_ == nullptr);
  gtk_widget_set_sensitive(modeCombo_, ready_);
  gtk_widget_set_sensitive(exposureSpin_, ready_);
  UiText mode = UiText::kIdle;
  switch (acquisition_) {
    case Acquisition::kLive:
      mode = UiText::kPreviewing;
      break;
    case Acquisition::kSnapshot:
      mode = UiText::kSnapshotMode;
      break;
    case Acquisition::kTrigger:
      mode = UiText::kTriggerMode;
      break;
    case Acquisition::kIdle:
      break;
  }
  gtk_label_set_text(GTK_LABEL(modeLabel_), Text(mode, lang_));
}

void ViewerWindow::ShowHint(const std::string &text) {
  gtk_label_set_text(GTK_LABEL(hintLabel_), text.c_str());
  gtk_widget_set_visible(hintLabel_, !text.empty());
}

// ---------------------------------------------------------------------------
// Camera thread plumbing

void ViewerWindow::OnCameraDone() {
  camera_->Drain();
  if (!camera_->Idle() || dialogOpen_) return;
  // A waiter may post again or open a dialog; run the ones present now.
  std::vector<std::function<void()>> waiters;
  waiters.swap(idleWaiters_);
  for (auto &w : waiters) w();
}

void ViewerWindow::WhenIdle(std::function<void()> then) {
  if (camera_->Idle() && !dialogOpen_) {
    then();
  } else {
    idleWaiters_.push_back(std::move(then));
  }
}

void ViewerWindow::WhenReady(std::function<void()> then) {
  if (ready_) {
    then();
  } else {
    readyWaiters_.push_back(std::move(then));
  }
}

int ViewerWindow::BufferSize() const {
  return static_cast<int>(std::min<size_t>(frameBytes_, 0x7FFFFFFF));
}

PreviewPlacement ViewerWindow::Placement() const {
  PreviewPlacement p;
  p.parent = pictureWindow_;
  p.rect = LayoutPicture(gtk_widget_get_allocated_width(picture_), gtk_widget_get_allocated_height(picture_),
                         expected_.width, expected_.height, config_.fit);
  if (p.rect.width <= 0 || p.rect.height <= 0) p.parent = nullptr;
  return p;
}

void ViewerWindow::OpenCamera() {
  struct Opened {
    int handle = 0;
    QuorelCameraInfo info{};
    std::vector<CameraEntry> cameras;
    int absent = 0;
    int unit = 0;
    FrameGeometry geometry;
  };
  const int wantedUnit = config_.unit;
  muteAbsentErrors_ = true;
  camera_->Post<Opened>(
      [this, wantedUnit] {
        Opened o;
        o.handle = Quorel_Initialize(messages_);
        openedHandle_.store(o.handle);
        if (o.handle == 0) return o;
        o.info.size = sizeof o.info;
        if (Quorel_GetCameraInfo(o.handle, &o.info) != 1) o.info = QuorelCameraInfo{};
        o.cameras = ListCameras(o.handle, o.absent);
        // The last unit used, when it is still there; else the first present.
        if (!o.cameras.empty()) {
          o.unit = o.cameras.front().unit;
          for (const CameraEntry &c : o.cameras) {
            if (c.unit == wantedUnit) o.unit = wantedUnit;
          }
          Quorel_SetDeviceNumber(o.handle, o.unit);
        }
        o.geometry = ReadGeometry(o.handle);
        return o;
      },
      [this](Opened o) {
        OnMessages();
        muteAbsentErrors_ = false;
        handle_ = o.handle;
        if (handle_ == 0) {
          ShowHint(DescribeError(QUOREL_ERR_MEMORY, lang_));
          return;
        }
        if (o.info.width > 0 && o.info.height > 0) {
          sensorWidth_ = o.info.width;
          sensorHeight_ = o.info.height;
        }
        frameBytes_ = FrameStride(sensorWidth_, 64) * static_cast<size_t>(sensorHeight_);
        frame_ = std::make_unique_for_overwrite<uint8_t[]>(frameBytes_);
        cameras_ = std::move(o.cameras);
        unit_ = o.unit;
        expected_ = o.geometry;
        updatingControls_ = true;
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(cameraCombo_));
        int active = -1;
        for (size_t i = 0; i < cameras_.size(); ++i) {
          gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(cameraCombo_), cameras_[i].name.c_str());
          if (cameras_[i].unit == unit_) active = static_cast<int>(i);
        }
        gtk_combo_box_set_active(GTK_COMBO_BOX(cameraCombo_), active);
        for (size_t i = 0; i < std::size(kModeBits); ++i) {
          if (kModeBits[i] == expected_.bitCount) gtk_combo_box_set_active(GTK_COMBO_BOX(modeCombo_), int(i));
        }
        updatingControls_ = false;
        ready_ = true;
        ShowHint(cameras_.empty() ? Text(UiText::kNoCamera, lang_) : "");
        UpdateButtons();
        RefreshStatus();
        std::vector<std::function<void()>> waiters;
        waiters.swap(readyWaiters_);
        if (!cameras_.empty()) StartLive();
        for (auto &w : waiters) w();
      });
}

void ViewerWindow::RefreshCameras(const std::function<void()> &done) {
  if (!ready_) {
    if (done) done();
    return;
  }
  const int handle = handle_;
  const int current = unit_;
  struct Listed {
    std::vector<CameraEntry> cameras;
    int absent = 0;
    int unit = -1;
  };
  muteAbsentErrors_ = true;
  acquisition_ = Acquisition::kIdle;
  libraryWindow_ = false;
  // Listing probes every unit and points the device library back at unit 0,
  // so acquisition stops first and the unit is selected again afterwards.
  camera_->Post<Listed>(
      [handle, current] {
        Listed l;
        Quorel_Close(handle);
        l.cameras = ListCameras(handle, l.absent);
        for (const CameraEntry &c : l.cameras) {
          if (c.unit == current) l.unit = current;
        }
        if (l.unit < 0 && !l.cameras.empty()) l.unit = l.cameras.front().unit;
        if (l.unit >= 0) Quorel_SetDeviceNumber(handle, l.unit);
        return l;
      },
      [this, done](Listed l) {
        OnMessages();
        muteAbsentErrors_ = false;
        cameras_ = std::move(l.cameras);
        if (l.unit >= 0) unit_ = l.unit;
        updatingControls_ = true;
        gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(cameraCombo_));
        for (size_t i = 0; i < cameras_.size(); ++i) {
          gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(cameraCombo_), cameras_[i].name.c_str());
          if (cameras_[i].unit == unit_) gtk_combo_box_set_active(GTK_COMBO_BOX(cameraCombo_), int(i));
        }
        updatingControls_ = false;
        ShowHint(cameras_.empty() ? Text(UiText::kNoCamera, lang_) : "");
        UpdateButtons();
        gtk_widget_queue_draw(picture_);
        if (done) done();
      });
}

void ViewerWindow::SelectUnit(int unit) {
  WhenIdle([this, unit] { ChangeUnit(unit); });
}

void ViewerWindow::ChangeUnit(int unit) {
  const bool wasLive = acquisition_ == Acquisition::kLive;
  const int handle = handle_;
  acquisition_ = Acquisition::kIdle;
  libraryWindow_ = false;
  camera_->Post<bool>(
      [handle, unit] {
        Quorel_Close(handle);
        return Quorel_SetDeviceNumber(handle, unit) == 1;
      },
      [this, unit, wasLive](bool ok) {
        if (ok) {
          unit_ = unit;
          config_.unit = unit;
        }
        UpdateButtons();
        if (wasLive) StartLive();
      });
}

// ---------------------------------------------------------------------------
// Acquisition

void ViewerWindow::StartLive(const std::function<void(bool)> &done) {
  WhenReady([this, done] {
    if (cameras_.empty()) {
      if (done) done(false);
      return;
    }
    const int handle = handle_;
    const HWND messages = messages_;
    uint8_t *buffer = frame_.get();
    const int size = BufferSize();
    camera_->Post<FrameGeometry>(
        [handle] { return ReadGeometry(handle); },
        [this, handle, messages, buffer, size, done](FrameGeometry g) {
          expected_ = g;
          const PreviewPlacement placement = Placement();
          camera_->Post<StartResult>(
              [=] { return quorel::viewer::StartLive(handle, messages, placement, buffer, size); },
              [this, done](StartResult r) {
                acquisition_ = r.ok ? Acquisition::kLive : Acquisition::kIdle;
                libraryWindow_ = r.ok && r.libraryWindow;
                if (r.ok) rate_.Reset();
                UpdateButtons();
                PlacePicture();
                if (done) done(r.ok);
              });
        });
  });
}

void ViewerWindow::Stop(const std::function<void(bool)> &done) {
  const int handle = handle_;
  acquisition_ = Acquisition::kIdle;
  libraryWindow_ = false;
  camera_->Post<bool>([handle] { return handle != 0 && Quorel_Close(handle) == 1; },
                      [this, done](bool ok) {
                        UpdateButtons();
                        gtk_widget_queue_draw(picture_);
                        if (done) done(ok);
                      });
}

void ViewerWindow::ToggleLive() {
  WhenIdle([this] {
    if (acquisition_ == Acquisition::kLive) {
      Stop();
    } else {
      StartLive();
    }
  });
}

void ViewerWindow::TakeSnapshot(const std::function<void(bool)> &done) {
  WhenReady([this, done] {
    const int handle = handle_;
    uint8_t *buffer = frame_.get();
    const int size = BufferSize();
    acquisition_ = Acquisition::kIdle;
    libraryWindow_ = false;
    struct Snap {
      bool ok = false;
      FrameGeometry g;
    };
    camera_->Post<Snap>(
        [handle, buffer, size] {
          Snap s;
          Quorel_Close(handle);
          s.g = ReadGeometry(handle);
          s.ok = Quorel_SnapShot(handle, buffer, size, 1) == 1;
          return s;
        },
        [this, done](Snap s) {
          if (s.ok) {
            acquisition_ = Acquisition::kSnapshot;
            expected_ = s.g;
            ++frames_;
            ShowFrame(s.g);
            PlacePicture();
          }
          UpdateButtons();
          if (done) done(s.ok);
        });
  });
}

void ViewerWindow::StartTrigger(const std::function<void(bool)> &done) {
  WhenReady([this, done] {
    const int handle = handle_;
    const HWND messages = messages_;
    uint8_t *buffer = frame_.get();
    const int size = BufferSize();
    camera_->Post<FrameGeometry>([handle] { return ReadGeometry(handle); },
                                 [this, handle, messages, buffer, size, done](FrameGeometry g) {
                                   expected_ = g;
                                   const PreviewPlacement placement = Placement();
                                   camera_->Post<StartResult>(
                                       [=] { return StartTriggerMode(handle, messages, placement, buffer, size); },
                                       [this, done](StartResult r) {
                                         acquisition_ = r.ok ? Acquisition::kTrigger : Acquisition::kIdle;
                                         libraryWindow_ = r.ok && r.libraryWindow;
                                         UpdateButtons();
                                         PlacePicture();
                                         if (done) done(r.ok);
                                       });
                                 });
  });
}

void ViewerWindow::FireTrigger() {
  const int unit = unit_;
  camera_->Post([unit] { QuorelSim_Trigger(unit); });
}

void ViewerWindow::SimulatePresence(int unit, bool present, const std::function<void(bool)> &done) {
  camera_->Post<bool>([unit, present] { return QuorelSim_SetPresent(unit, present ? 1 : 0) == 1; },
                      [done](bool ok) {
                        if (done) done(ok);
                      });
}

void ViewerWindow::SetColourMode(int bits, const std::function<void(bool)> &done) {
  // Decided on the settled state: a start still in flight counts as live.
  WhenReady([this, bits, done] { WhenIdle([this, bits, done] { ChangeColourMode(bits, done); }); });
}

void ViewerWindow::ChangeColourMode(int bits, const std::function<void(bool)> &done) {
  {
    const bool wasLive = acquisition_ == Acquisition::kLive;
    const int handle = handle_;
    if (wasLive) {
      acquisition_ = Acquisition::kIdle;
      libraryWindow_ = false;
    }
    camera_->Post<bool>(
        [handle, bits, wasLive] {
          if (wasLive) Quorel_Close(handle);
          return Quorel_SetColorMode(handle, bits) == 1;
        },
        [this, wasLive, done](bool ok) {
          UpdateButtons();
          RefreshStatus();
          if (wasLive) {
            StartLive([ok, done](bool started) {
              if (done) done(ok && started);
            });
          } else if (done) {
            done(ok);
          }
        });
  }
}

void ViewerWindow::SetSubSample(int code, const std::function<void(bool)> &done) {
  WhenReady([this, code, done] { WhenIdle([this, code, done] { ChangeSubSample(code, done); }); });
}

void ViewerWindow::ChangeSubSample(int code, const std::function<void(bool)> &done) {
  {
    const bool wasLive = acquisition_ == Acquisition::kLive;
    const int handle = handle_;
    if (wasLive) {
      acquisition_ = Acquisition::kIdle;
      libraryWindow_ = false;
    }
    camera_->Post<bool>(
        [handle, code, wasLive] {
          if (wasLive) Quorel_Close(handle);
          return Quorel_SetSubSample(handle, code) == 1;
        },
        [this, wasLive, done](bool ok) {
          UpdateButtons();
          if (wasLive) {
            StartLive([ok, done](bool started) {
              if (done) done(ok && started);
            });
          } else if (done) {
            done(ok);
          }
        });
  }
}

void ViewerWindow::SetExposureMs(double ms, const std::function<void(bool)> &done) {
  WhenReady([this, ms, done] {
    const int handle = handle_;
    const int us = static_cast<int>(std::lround(ms * 1000.0));
    camera_->Post<bool>([handle, us] { return Quorel_SetRealExposureTime(handle, us) == 1; },
                        [this, done](bool ok) {
                          RefreshStatus();
                          if (done) done(ok);
                        });
  });
}

// ---------------------------------------------------------------------------
// Messages, frames, errors

void ViewerWindow::OnMessages() {
  QuorelHostMsg msg{};
  bool frame = false;
  FrameGeometry latest;
  while (QuorelHost_PeekMessage(messages_, &msg) == 1) {
    if (msg.message == QUOREL_WM_FRAME) {
      if (msg.wParam != 0) {
        const auto *info = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
        latest.width = info->width;
        latest.height = info->height;
        latest.bitCount = info->bitCount;
        frame = true;
        ++frames_;
        rate_.AddFrame(NowNs());
      } else if (msg.lParam == QUOREL_ERR_TRANSFER_STOPPED && acquisition_ != Acquisition::kIdle) {
        // The unit vanished or stalled: say so and stop cleanly; Refresh
        // and Start bring it back once it is there again.
        ShowHint(Format(Text(UiText::kCameraGone, lang_), DescribeError(int(msg.lParam), lang_).c_str()));
        Stop();
      }
    } else if (msg.message == QUOREL_WM_ERROR) {
      OnError(static_cast<int>(msg.lParam));
    }
  }
  if (frame) ShowFrame(latest);
}

void ViewerWindow::ShowFrame(const FrameGeometry &g) {
  if (frame_ == nullptr || g.width <= 0 || g.height <= 0) return;
  const size_t bytes = FrameStride(g.width, g.bitCount) * static_cast<size_t>(g.height);
  if (bytes == 0 || bytes > frameBytes_) return;
  const bool resized = g.width != lastFrame_.width || g.height != lastFrame_.height;
  lastFrame_ = g;
  const int step = HistogramStepFor(g.width, g.height, kHistogramBudget);
  ComputeHistogram(frame_.get(), bytes, g.width, g.height, g.bitCount, step, histogram_);
  if (!libraryWindow_) {
    const int w = std::max(gtk_widget_get_allocated_width(picture_), 1);
    const int h = std::max(gtk_widget_get_allocated_height(picture_), 1);
    MakeDisplayImage(frame_.get(), bytes, g.width, g.height, g.bitCount, true, config_.fit ? w : g.width,
                     config_.fit ? h : g.height, display_);
    gtk_widget_queue_draw(picture_);
  }
  if (resized || g.width != expected_.width || g.height != expected_.height) {
    expected_ = g;
    PlacePicture();
  }
  gtk_widget_queue_draw(histogramArea_);
}

void ViewerWindow::OnError(int code) {
  if (muteAbsentErrors_ && code == QUOREL_ERR_NO_CAMERA) return;
  ErrorEntry e{code, ClockTime()};
  errors_.push_back(e);
  GtkTreeIter it;
  gtk_list_store_insert_with_values(errorStore_, &it, 0, 0, e.time.c_str(), 1, code, 2, ErrorMeaning(code, lang_), -1);
  gchar *markup = g_markup_printf_escaped("<span foreground='#c01c28'>%s</span>", DescribeError(code, lang_).c_str());
  gtk_label_set_markup(GTK_LABEL(errorLabel_), markup);
  g_free(markup);
  lastErrorCode_ = code;
}

// ---------------------------------------------------------------------------
// Status

void ViewerWindow::RefreshStatus() {
  if (!ready_ || statusPending_ || dialogOpen_) {
    ShowStatus();
    return;
  }
  statusPending_ = true;
  const int handle = handle_;
  camera_->Post<CameraReadings>([handle] { return ReadStatus(handle); },
                                [this](CameraReadings r) {
                                  statusPending_ = false;
                                  readings_ = r;
                                  ShowStatus();
                                });
}

void ViewerWindow::ShowStatus() {
  gtk_label_set_text(GTK_LABEL(statusLabel_), statusText().c_str());
  // The library's dialogs change these too: the toolbar follows.
  updatingControls_ = true;
  if (readings_.exposureUs && !gtk_widget_has_focus(exposureSpin_)) {
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(exposureSpin_), *readings_.exposureUs / 1000.0);
  }
  for (size_t i = 0; i < std::size(kModeBits); ++i) {
    if (kModeBits[i] == readings_.colourModeBits) gtk_combo_box_set_active(GTK_COMBO_BOX(modeCombo_), int(i));
  }
  updatingControls_ = false;
}

std::string ViewerWindow::statusText() const {
  StatusFigures f;
  f.framesPerSecond = rate_.Rate(NowNs());
  f.frames = frames_;
  f.dropped = readings_.dropped;
  f.exposureUs = readings_.exposureUs;
  f.globalGain = readings_.globalGain;
  for (int i = 0; i < 4; ++i) f.colourGains[i] = readings_.colourGains[i];
  return FormatStatus(f, lang_);
}

// ---------------------------------------------------------------------------
// Picture

void ViewerWindow::SetFit(bool fit) {
  config_.fit = fit;
  updatingControls_ = true;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(fitButton_), fit);
  updatingControls_ = false;
  if (!libraryWindow_ && lastFrame_.width > 0) ShowFrame(lastFrame_);
  PlacePicture();
}

void ViewerWindow::PlacePicture() {
  if (libraryWindow_ && pictureWindow_ != nullptr && gtk_widget_get_realized(picture_)) {
    const PreviewPlacement p = Placement();
    GdkDisplay *display = gtk_widget_get_display(picture_);
    // The library may be destroying its window at this moment; an X error
    // about it must not end the viewer.
    gdk_x11_display_error_trap_push(display);
    PlacePreviewChild(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gtk_widget_get_window(picture_)), p.rect);
    gdk_x11_display_error_trap_pop_ignored(display);
  }
  gtk_widget_queue_draw(picture_);
}

bool ViewerWindow::DrawPicture(cairo_t *cr) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (libraryWindow_ || display_.pixels.empty() || lastFrame_.width <= 0) return true;
  const PictureRect r =
      LayoutPicture(gtk_widget_get_allocated_width(picture_), gtk_widget_get_allocated_height(picture_),
                    lastFrame_.width, lastFrame_.height, config_.fit);
  if (r.width <= 0 || r.height <= 0) return true;
  cairo_surface_t *surface =
      cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(display_.pixels.data()), CAIRO_FORMAT_RGB24,
                                          display_.width, display_.height, display_.width * 4);
  cairo_save(cr);
  cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  cairo_clip(cr);
  cairo_translate(cr, r.x, r.y);
  cairo_scale(cr, static_cast<double>(r.width) / display_.width, static_cast<double>(r.height) / display_.height);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(surface);
  return true;
}

PictureRect ViewerWindow::PictureInWindow() const {
  PictureRect r = LayoutPicture(gtk_widget_get_allocated_width(picture_), gtk_widget_get_allocated_height(picture_),
                                lastFrame_.width > 0 ? lastFrame_.width : expected_.width,
                                lastFrame_.height > 0 ? lastFrame_.height : expected_.height, config_.fit);
  int x = 0;
  int y = 0;
  gtk_widget_translate_coordinates(picture_, window_, 0, 0, &x, &y);
  r.x += x;
  r.y += y;
  return r;
}

void ViewerWindow::SetChannel(HistogramChannel channel) {
  config_.channel = channel;
  if (gtk_combo_box_get_active(GTK_COMBO_BOX(channelCombo_)) != static_cast<int>(channel)) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(channelCombo_), static_cast<int>(channel));
  }
  gtk_widget_queue_draw(histogramArea_);
}

void ViewerWindow::SetScale(HistogramScale scale) {
  config_.scale = scale;
  const int index = scale == HistogramScale::kLog ? 1 : 0;
  if (gtk_combo_box_get_active(GTK_COMBO_BOX(scaleCombo_)) != index) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(scaleCombo_), index);
  }
  gtk_widget_queue_draw(histogramArea_);
}

bool ViewerWindow::DrawHistogram(cairo_t *cr) {
  const double w = gtk_widget_get_allocated_width(histogramArea_);
  const double h = gtk_widget_get_allocated_height(histogramArea_);
  cairo_set_source_rgb(cr, 0.12, 0.12, 0.14);
  cairo_paint(cr);
  const auto bars = BarHeights(histogram_, config_.channel, config_.scale);
  switch (config_.channel) {
    case HistogramChannel::kBlue:
      cairo_set_source_rgb(cr, 0.35, 0.55, 1.0);
      break;
    case HistogramChannel::kGreen:
      cairo_set_source_rgb(cr, 0.3, 0.85, 0.35);
      break;
    case HistogramChannel::kRed:
      cairo_set_source_rgb(cr, 1.0, 0.35, 0.3);
      break;
    case HistogramChannel::kGray:
      cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
      break;
  }
  const double binWidth = w / Histogram::kBins;
  for (int i = 0; i < Histogram::kBins; ++i) {
    const double barHeight = bars[static_cast<size_t>(i)] * (h - 4);
    if (barHeight <= 0) continue;
    cairo_rectangle(cr, i * binWidth, h - barHeight, std::max(binWidth, 1.0), barHeight);
  }
  cairo_fill(cr);
  return true;
}

// ---------------------------------------------------------------------------
// Dialogs of the library

void ViewerWindow::OpenDialog(DialogKind kind, const std::function<void(DialogOutcome)> &done) {
  WhenReady([this, kind, done] {
    WhenIdle([this, kind, done] {
      // Modal on this thread: the library runs the dialog's loop inside the
      // call, and frames keep arriving through the main context meanwhile.
      dialogOpen_ = true;
      gtk_widget_set_sensitive(toolbar_, FALSE);
      const size_t before = errors_.size();
      int result = 0;
      switch (kind) {
        case DialogKind::kCamera:
          result = Quorel_SetCameraDlg(handle_, ownerWindow_);
          break;
        case DialogKind::kImage:
          result = Quorel_SetImageDlg(handle_, ownerWindow_);
          break;
        case DialogKind::kAnalog:
          result = Quorel_SetAnalogDlg(handle_, ownerWindow_);
          break;
      }
      dialogOpen_ = false;
      if (window_ != nullptr) gtk_widget_set_sensitive(toolbar_, TRUE);
      OnMessages();
      DialogOutcome outcome{result, errors_.size() > before ? errors_[before].code : 0};
      // The camera dialog may change the format: the picture's shape follows
      // the next frame; the status figures are read again now.
      RefreshStatus();
      if (done) done(outcome);
      OnCameraDone();
    });
  });
}

// ---------------------------------------------------------------------------
// Saving and recording

void ViewerWindow::SaveImageTo(const std::string &path, int fileType, const std::function<void(bool)> &done) {
  WhenReady([this, path, fileType, done] {
    const int handle = handle_;
    camera_->Post<bool>([handle, path, fileType] { return Quorel_SaveImage(handle, path.c_str(), fileType) == 1; },
                        [this, path, done](bool ok) {
                          if (ok) ShowHint(Format(Text(UiText::kSaved, lang_), path.c_str()));
                          if (done) done(ok);
                        });
  });
}

void ViewerWindow::RecordTo(const std::string &path, int ms, const std::function<void(bool, const AviInfo &)> &done) {
  WhenIdle([this, path, ms, done] { BeginRecording(path, ms, done); });
}

void ViewerWindow::BeginRecording(const std::string &path, int ms,
                                  const std::function<void(bool, const AviInfo &)> &done) {
  if (recording_ != nullptr) {
    if (done) done(false, AviInfo{});
    return;
  }
  if (acquisition_ != Acquisition::kLive) {
    StartLive([this, path, ms, done](bool ok) {
      if (ok) {
        RecordTo(path, ms, done);
      } else if (done) {
        done(false, AviInfo{});
      }
    });
    return;
  }
  const int handle = handle_;
  const HWND messages = messages_;
  uint8_t *buffer = frame_.get();
  const int size = BufferSize();
  PreviewPlacement placement = Placement();
  if (!libraryWindow_) placement.parent = nullptr;
  recording_ = std::make_unique<Recording>();
  recording_->path = path;
  recording_->ms = ms;
  recording_->done = done;
  UpdateButtons();
  camera_->Post<bool>([=] { return StartRecording(handle, messages, placement, buffer, size, path, ms); },
                      [this](bool ok) {
                        if (!ok) {
                          FinishRecording(false, AviInfo{});
                          return;
                        }
                        recording_->startNs = NowNs();
                        gtk_widget_show(progress_);
                        recordSource_ = g_timeout_add(
                            100,
                            [](gpointer self) -> gboolean {
                              static_cast<ViewerWindow *>(self)->PollRecording();
                              return G_SOURCE_CONTINUE;
                            },
                            this);
                      });
}

void ViewerWindow::PollRecording() {
  if (recording_ == nullptr) return;
  Recording &r = *recording_;
  const double elapsed = static_cast<double>(NowNs() - r.startNs) / 1e9;
  const double duration = r.ms / 1000.0;
  if (elapsed < duration) {
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), elapsed / duration);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_),
                              Format(Text(UiText::kRecordingProgress, lang_), elapsed, duration).c_str());
  } else {
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress_), 1.0);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(progress_), Text(UiText::kRecordingFinishing, lang_));
  }
  // The writer patches its headers one field after another when it
  // finishes: a file counts as finished when two looks agree.
  AviInfo info;
  if (ReadAviInfo(r.path, info) && info.finished) {
    if (r.seenFinished && info.frames == r.last.frames && info.framesPerSecond == r.last.framesPerSecond) {
      FinishRecording(true, info);
      return;
    }
    r.seenFinished = true;
    r.last = info;
  } else {
    r.seenFinished = false;
  }
  // A recording that never finishes (the preview stopped before its first
  // frame) is given up well after its duration.
  if (elapsed > duration + 20.0) FinishRecording(false, info);
}

void ViewerWindow::FinishRecording(bool ok, const AviInfo &info) {
  if (recordSource_ != 0) g_source_remove(recordSource_);
  recordSource_ = 0;
  std::unique_ptr<Recording> r = std::move(recording_);
  gtk_widget_hide(progress_);
  if (ok) {
    ShowHint(Format(Text(UiText::kRecorded, lang_), info.frames, info.framesPerSecond, r->path.c_str()));
  } else {
    ShowHint(Format(Text(UiText::kRecordFailed, lang_), r->path.c_str()));
  }
  UpdateButtons();
  if (r->done) r->done(ok, info);
}

void ViewerWindow::OpenSaveChooser() {
  if (!ready_ || chooser_ != nullptr) return;
  chooser_ = gtk_file_chooser_dialog_new(Text(UiText::kSaveImage, lang_), GTK_WINDOW(window_),
                                         GTK_FILE_CHOOSER_ACTION_SAVE, Text(UiText::kCancel, lang_),
                                         GTK_RESPONSE_CANCEL, Text(UiText::kSave, lang_), GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser_), TRUE);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser_), "image.png");
  GtkWidget *extra = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(extra), gtk_label_new(Text(UiText::kFileType, lang_)), FALSE, FALSE, 0);
  typeCombo_ = gtk_combo_box_text_new();
  for (const char *name : kFileTypeNames) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(typeCombo_), name);
  gtk_combo_box_set_active(GTK_COMBO_BOX(typeCombo_), 5);
  g_signal_connect(typeCombo_, "changed", G_CALLBACK(+[](GtkComboBox *c, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     const int i = gtk_combo_box_get_active(c);
                     if (i < 0 || v->chooser_ == nullptr) return;
                     gchar *name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(v->chooser_));
                     if (name != nullptr) {
                       gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(v->chooser_),
                                                         ReplaceExtension(name, kFileExtensions[i]).c_str());
                       g_free(name);
                     }
                   }),
                   this);
  gtk_box_pack_start(GTK_BOX(extra), typeCombo_, FALSE, FALSE, 0);
  gtk_widget_show_all(extra);
  gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(chooser_), extra);
  g_signal_connect(chooser_, "response", G_CALLBACK(+[](GtkDialog *d, gint response, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     if (response == GTK_RESPONSE_ACCEPT) {
                       gchar *file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
                       const int i = gtk_combo_box_get_active(GTK_COMBO_BOX(v->typeCombo_));
                       if (file != nullptr && i >= 0) v->SaveImageTo(file, kFileTypes[i]);
                       g_free(file);
                     }
                     v->chooser_ = nullptr;
                     DestroyLater(GTK_WIDGET(d));
                   }),
                   this);
  gtk_widget_show(chooser_);
}

void ViewerWindow::OpenRecordChooser() {
  if (!ready_ || chooser_ != nullptr || recording_ != nullptr) return;
  chooser_ = gtk_file_chooser_dialog_new(Text(UiText::kRecord, lang_), GTK_WINDOW(window_),
                                         GTK_FILE_CHOOSER_ACTION_SAVE, Text(UiText::kCancel, lang_),
                                         GTK_RESPONSE_CANCEL, Text(UiText::kSave, lang_), GTK_RESPONSE_ACCEPT, nullptr);
  gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser_), TRUE);
  gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser_), "clip.avi");
  GtkWidget *extra = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  gtk_box_pack_start(GTK_BOX(extra), gtk_label_new(Text(UiText::kDurationSeconds, lang_)), FALSE, FALSE, 0);
  durationSpin_ = gtk_spin_button_new_with_range(0.5, 3600.0, 0.5);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(durationSpin_), 5.0);
  gtk_box_pack_start(GTK_BOX(extra), durationSpin_, FALSE, FALSE, 0);
  gtk_widget_show_all(extra);
  gtk_file_chooser_set_extra_widget(GTK_FILE_CHOOSER(chooser_), extra);
  g_signal_connect(chooser_, "response", G_CALLBACK(+[](GtkDialog *d, gint response, gpointer self) {
                     auto *v = static_cast<ViewerWindow *>(self);
                     if (response == GTK_RESPONSE_ACCEPT) {
                       gchar *file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(d));
                       const double seconds = gtk_spin_button_get_value(GTK_SPIN_BUTTON(v->durationSpin_));
                       if (file != nullptr) v->RecordTo(file, static_cast<int>(std::lround(seconds * 1000.0)));
                       g_free(file);
                     }
                     v->chooser_ = nullptr;
                     DestroyLater(GTK_WIDGET(d));
                   }),
                   this);
  gtk_widget_show(chooser_);
}

// ---------------------------------------------------------------------------
// Keyboard and exit

bool ViewerWindow::HandleKey(guint keyval) {
  switch (keyval) {
    case GDK_KEY_space:
      ToggleLive();
      return true;
    case GDK_KEY_s:
    case GDK_KEY_S:
      OpenSaveChooser();
      return true;
    case GDK_KEY_r:
    case GDK_KEY_R:
      OpenRecordChooser();
      return true;
    case GDK_KEY_f:
    case GDK_KEY_F:
      SetFit(!config_.fit);
      return true;
    default:
      return false;
  }
}

void ViewerWindow::Quit() {
  if (quitting_) return;
  quitting_ = true;
  if (window_ != nullptr) {
    gtk_window_get_size(GTK_WINDOW(window_), &config_.width, &config_.height);
    config_.width = std::clamp(config_.width, ViewerConfig::kMinSize, ViewerConfig::kMaxSize);
    config_.height = std::clamp(config_.height, ViewerConfig::kMinSize, ViewerConfig::kMaxSize);
  }
  config_.unit = unit_;
  if (!options_.configPath.empty() && !SaveViewerConfig(options_.configPath, config_)) {
    std::fprintf(stderr, "quorel-viewer: cannot save %s\n", options_.configPath.c_str());
  }
  // Stop on the camera thread (a recording is finished with the frames it
  // has), then leave the main loop; the destructor releases the camera.
  const int handle = handle_;
  camera_->Post(
      [handle] {
        if (handle != 0) Quorel_Close(handle);
      },
      [] { gtk_main_quit(); });
}

}  // namespace quorel::viewer
