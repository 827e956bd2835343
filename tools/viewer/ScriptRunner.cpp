#include "ScriptRunner.h"

#include <gdk/gdkkeysyms.h>

#include <cstdio>
#include <fstream>
#include <utility>

#include "ErrorTexts.h"

namespace quorel::viewer {
namespace {

// Generous: a loaded CI machine under AddressSanitizer is slow, and a wait
// that ends early is a false failure.
constexpr int kFrameDeadlineMs = 20000;
constexpr int kDialogDeadlineMs = 10000;

bool ParseInt(const std::string &s, int &out) {
  try {
    size_t used = 0;
    out = std::stoi(s, &used);
    return used == s.size();
  } catch (...) {
    return false;
  }
}

// The visible top-level window that is not the viewer's own: a dialog.
GtkWidget *OtherToplevel(GtkWidget *mine) {
  GList *all = gtk_window_list_toplevels();
  GtkWidget *found = nullptr;
  for (GList *l = all; l != nullptr; l = l->next) {
    GtkWidget *w = GTK_WIDGET(l->data);
    if (w != mine && gtk_widget_get_mapped(w) && gtk_window_get_window_type(GTK_WINDOW(w)) == GTK_WINDOW_TOPLEVEL) {
      found = w;
    }
  }
  g_list_free(all);
  return found;
}

}  // namespace

ScriptRunner::ScriptRunner(ViewerWindow &viewer, std::vector<ScriptCommand> commands)
    : viewer_(viewer), commands_(std::move(commands)) {}

ScriptRunner::~ScriptRunner() {
  for (guint source : {waitSource_, dialogSource_}) {
    if (source != 0) g_source_remove(source);
  }
  if (paintHandler_ != 0 && viewer_.window() != nullptr) {
    GdkWindow *gw = gtk_widget_get_window(viewer_.window());
    if (gw != nullptr) g_signal_handler_disconnect(gdk_window_get_frame_clock(gw), paintHandler_);
  }
}

void ScriptRunner::Start() {
  viewer_.WhenReady([this] { Next(); });
}

void ScriptRunner::Next() {
  if (exitStatus_ != 0) return;
  if (next_ >= commands_.size()) return;
  current_ = &commands_[next_++];
  if (g_getenv("QUOREL_VIEWER_TRACE") != nullptr) {
    std::fprintf(stderr, "quorel-viewer: %.3f s: script line %d: %s\n", g_get_monotonic_time() / 1e6, current_->line,
                 current_->name.c_str());
  }
  // From the main loop, so that the previous command's callers unwind first.
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer self) -> gboolean {
        auto *r = static_cast<ScriptRunner *>(self);
        r->Run(*r->current_);
        return G_SOURCE_REMOVE;
      },
      this, nullptr);
}

void ScriptRunner::Fail(const std::string &why) {
  std::fprintf(stderr, "quorel-viewer: script line %d (%s): %s\n", current_ != nullptr ? current_->line : 0,
               current_ != nullptr ? current_->name.c_str() : "", why.c_str());
  exitStatus_ = 1;
  viewer_.Quit();
}

void ScriptRunner::Done(bool ok, const std::string &what) {
  if (ok) {
    Next();
  } else {
    Fail(what + " failed");
  }
}

void ScriptRunner::WaitFor(std::function<bool()> check, int deadlineMs, const std::string &what,
                           std::function<void()> then) {
  waitCheck_ = std::move(check);
  waitThen_ = std::move(then);
  waitDeadline_ = g_get_monotonic_time() + int64_t{deadlineMs} * 1000;
  waitWhat_ = what;
  waitSource_ = g_timeout_add(
      50,
      [](gpointer self) -> gboolean {
        auto *r = static_cast<ScriptRunner *>(self);
        if (r->waitCheck_()) {
          r->waitSource_ = 0;
          if (r->waitThen_) r->waitThen_();
          r->Next();
          return G_SOURCE_REMOVE;
        }
        if (g_get_monotonic_time() > r->waitDeadline_) {
          r->waitSource_ = 0;
          r->Fail("timed out waiting for " + r->waitWhat_);
          return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
      },
      this);
}

bool ScriptRunner::Screenshot(GtkWidget *window, const std::string &path) {
  GdkWindow *gw = gtk_widget_get_window(window);
  if (gw == nullptr) return false;
  int x = 0;
  int y = 0;
  gdk_window_get_origin(gw, &x, &y);
  // From the root window, so that the library's own preview window, a child
  // drawn by another X connection, is in the picture as the user sees it.
  gdk_display_sync(gdk_window_get_display(gw));
  GdkPixbuf *shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), x, y, gdk_window_get_width(gw),
                                               gdk_window_get_height(gw));
  if (shot == nullptr) return false;
  GError *error = nullptr;
  const gboolean saved = gdk_pixbuf_save(shot, path.c_str(), "png", &error, nullptr);
  g_object_unref(shot);
  if (error != nullptr) {
    std::fprintf(stderr, "quorel-viewer: screenshot %s: %s\n", path.c_str(), error->message);
    g_error_free(error);
  }
  return saved == TRUE;
}

bool ScriptRunner::WriteReport(const std::string &path) {
  std::ofstream out(path);
  if (!out) return false;
  const FrameGeometry &g = viewer_.frameGeometry();
  const PictureRect p = viewer_.PictureInWindow();
  int ww = 0;
  int wh = 0;
  gtk_window_get_size(GTK_WINDOW(viewer_.window()), &ww, &wh);
  out << "frames=" << viewer_.frames() << "\n";
  out << "paints=" << (viewer_.libraryPaints() ? "library" : "viewer") << "\n";
  out << "image=" << g.width << " " << g.height << " " << g.bitCount << "\n";
  out << "picture=" << p.x << " " << p.y << " " << p.width << " " << p.height << "\n";
  out << "window=" << ww << " " << wh << "\n";
  out << "language=" << (viewer_.language() == Language::kJapanese ? "ja" : "en") << "\n";
  out << "acquisition=" << static_cast<int>(viewer_.acquisition()) << "\n";
  out << "errors=";
  for (const ErrorEntry &e : viewer_.errors()) out << e.code << " ";
  out << "\n";
  out << "status=" << viewer_.statusText() << "\n";
  out << "cameras=" << viewer_.cameraCount() << "\n";
  out << "hint=" << viewer_.hintText() << "\n";
  const Histogram &h = viewer_.histogram();
  out << "histogram.pixels=" << h.pixels << "\n";
  const char *names[] = {"blue", "green", "red", "gray"};
  for (int c = 0; c < Histogram::kChannels; ++c) {
    out << "histogram." << names[c] << "=";
    for (uint32_t n : h.counts[static_cast<size_t>(c)]) out << n << " ";
    out << "\n";
  }
  for (const std::string &f : facts_) out << f << "\n";
  return static_cast<bool>(out.flush());
}

void ScriptRunner::Run(const ScriptCommand &c) {
  const std::string &name = c.name;
  const std::vector<std::string> &a = c.args;
  int n = 0;
  auto done = [this, name](bool ok) { Done(ok, name); };
  if (name == "wait-frames") {
    if (!ParseInt(a[0], n) || n < 0) return Fail("bad count");
    const uint64_t target = viewer_.frames() + static_cast<uint64_t>(n);
    return WaitFor([this, target] { return viewer_.frames() >= target; }, kFrameDeadlineMs,
                   std::to_string(n) + " frames");
  }
  if (name == "start") return viewer_.StartLive(done);
  if (name == "stop") return viewer_.Stop(done);
  if (name == "snapshot") return viewer_.TakeSnapshot(done);
  if (name == "trigger") return viewer_.StartTrigger(done);
  if (name == "refresh") return viewer_.RefreshCameras([this] { Next(); });
  if (name == "fire-trigger") {
    viewer_.FireTrigger();
    return Next();
  }
  if (name == "zoom") {
    if (a[0] != "fit" && a[0] != "100") return Fail("zoom is fit or 100");
    viewer_.SetFit(a[0] == "fit");
    return Next();
  }
  if (name == "mode") {
    if (!ParseInt(a[0], n)) return Fail("bad bit count");
    return viewer_.SetColourMode(n, done);
  }
  if (name == "subsample") {
    if (!ParseInt(a[0], n)) return Fail("bad code");
    return viewer_.SetSubSample(n, done);
  }
  if (name == "exposure") {
    char *end = nullptr;
    const double ms = g_ascii_strtod(a[0].c_str(), &end);
    if (end == a[0].c_str() || *end != '\0') return Fail("bad milliseconds");
    return viewer_.SetExposureMs(ms, done);
  }
  if (name == "channel") {
    const char *names[] = {"blue", "green", "red", "gray"};
    for (int i = 0; i < 4; ++i) {
      if (a[0] == names[i]) {
        viewer_.SetChannel(static_cast<HistogramChannel>(i));
        return Next();
      }
    }
    return Fail("unknown channel");
  }
  if (name == "scale") {
    if (a[0] != "linear" && a[0] != "log") return Fail("scale is linear or log");
    viewer_.SetScale(a[0] == "log" ? HistogramScale::kLog : HistogramScale::kLinear);
    return Next();
  }
  if (name == "resize") {
    int w = 0;
    int h = 0;
    if (!ParseInt(a[0], w) || !ParseInt(a[1], h) || w <= 0 || h <= 0) return Fail("bad size");
    gtk_window_resize(GTK_WINDOW(viewer_.window()), w, h);
    return WaitFor(
        [this, w, h] {
          GtkAllocation alloc;
          gtk_widget_get_allocation(viewer_.window(), &alloc);
          return alloc.width == w && alloc.height == h;
        },
        5000, "the new window size");
  }
  if (name == "key") {
    guint keyval = 0;
    if (a[0] == "space") keyval = GDK_KEY_space;
    if (a[0] == "s") keyval = GDK_KEY_s;
    if (a[0] == "r") keyval = GDK_KEY_r;
    if (a[0] == "f") keyval = GDK_KEY_f;
    if (keyval == 0) return Fail("unknown key");
    GdkWindow *gw = gtk_widget_get_window(viewer_.window());
    GdkEvent *event = gdk_event_new(GDK_KEY_PRESS);
    event->key.window = GDK_WINDOW(g_object_ref(gw));
    event->key.send_event = TRUE;
    event->key.time = GDK_CURRENT_TIME;
    event->key.keyval = keyval;
    gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_window_get_display(gw))));
    const Acquisition before = viewer_.acquisition();
    gtk_main_do_event(event);
    gdk_event_free(event);
    if (keyval == GDK_KEY_s || keyval == GDK_KEY_r) {
      // The chooser comes up; note it and dismiss it once it is on the screen.
      const std::string key = a[0];
      return WaitFor(
          [this] { return viewer_.openChooser() != nullptr && gtk_widget_get_mapped(viewer_.openChooser()); },
          kDialogDeadlineMs, "the file chooser",
          [this, key] {
            facts_.push_back("key." + key + "=chooser");
            gtk_dialog_response(GTK_DIALOG(viewer_.openChooser()), GTK_RESPONSE_CANCEL);
          });
    }
    if (keyval == GDK_KEY_space) {
      return WaitFor([this, before] { return viewer_.acquisition() != before; }, kFrameDeadlineMs,
                     "space to start or stop");
    }
    return Next();
  }
  if (name == "dialog") {
    DialogKind kind = DialogKind::kCamera;
    if (a[0] == "image") {
      kind = DialogKind::kImage;
    } else if (a[0] == "analog") {
      kind = DialogKind::kAnalog;
    } else if (a[0] != "camera") {
      return Fail("dialog is camera, image or analog");
    }
    dialogShot_ = a[1];
    dialogSeen_ = false;
    // This watch runs inside the dialog's own loop: it finds the dialog,
    // photographs it and closes it as a user pressing Cancel would.
    dialogSource_ = g_timeout_add(
        100,
        [](gpointer self) -> gboolean {
          auto *r = static_cast<ScriptRunner *>(self);
          GtkWidget *dialog = OtherToplevel(r->viewer_.window());
          if (dialog == nullptr) return G_SOURCE_CONTINUE;
          if (!r->dialogSeen_) {
            // Shown now; drawn by the next tick.
            r->dialogSeen_ = true;
            return G_SOURCE_CONTINUE;
          }
          if (r->dialogShot_ != "-") r->Screenshot(dialog, r->dialogShot_);
          r->facts_.push_back(std::string("dialog.title=") + gtk_window_get_title(GTK_WINDOW(dialog)));
          if (GTK_IS_DIALOG(dialog)) {
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
          } else {
            gtk_window_close(GTK_WINDOW(dialog));
          }
          r->dialogSource_ = 0;
          return G_SOURCE_REMOVE;
        },
        this);
    const std::string which = a[0];
    viewer_.OpenDialog(kind, [this, which](DialogOutcome o) {
      if (dialogSource_ != 0) g_source_remove(dialogSource_);
      dialogSource_ = 0;
      facts_.push_back("dialog." + which + "=" + std::to_string(o.result) + " " + (dialogSeen_ ? "1" : "0") + " " +
                       std::to_string(o.code));
      Next();
    });
    return;
  }
  if (name == "save") {
    const int type = SaveTypeFromName(a[1]);
    if (type < 0) return Fail("unknown file type");
    const std::string path = a[0];
    return viewer_.SaveImageTo(path, type, [this, path](bool ok) {
      facts_.push_back("save=" + std::string(ok ? "1 " : "0 ") + path);
      Done(ok, "save");
    });
  }
  if (name == "record") {
    if (!ParseInt(a[1], n) || n <= 0) return Fail("bad duration");
    const std::string path = a[0];
    return viewer_.RecordTo(path, n, [this, path](bool ok, const AviInfo &info) {
      char line[128];
      std::snprintf(line, sizeof line, "record=%d %u %.3f", ok ? 1 : 0, info.frames, info.framesPerSecond);
      facts_.push_back(line);
      Done(ok, "record");
    });
  }
  if (name == "unplug" || name == "plug") {
    if (!ParseInt(a[0], n)) return Fail("bad unit");
    return viewer_.SimulatePresence(n, name == "plug", done);
  }
  if (name == "wait-error") {
    if (!ParseInt(a[0], n)) return Fail("bad code");
    return WaitFor(
        [this, n] {
          for (const ErrorEntry &e : viewer_.errors()) {
            if (e.code == n) return true;
          }
          return false;
        },
        kFrameDeadlineMs, DescribeError(n, Language::kEnglish));
  }
  if (name == "screenshot") {
    // After the window's next paint, so that what the script just changed
    // is on the screen.
    shotPath_ = a[0];
    GdkWindow *gw = gtk_widget_get_window(viewer_.window());
    GdkFrameClock *clock = gdk_window_get_frame_clock(gw);
    paintHandler_ = g_signal_connect_after(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock *fc, gpointer self) {
                                             auto *r = static_cast<ScriptRunner *>(self);
                                             g_signal_handler_disconnect(fc, r->paintHandler_);
                                             r->paintHandler_ = 0;
                                             g_idle_add(
                                                 [](gpointer s) -> gboolean {
                                                   auto *rr = static_cast<ScriptRunner *>(s);
                                                   rr->Done(rr->Screenshot(rr->viewer_.window(), rr->shotPath_),
                                                            "screenshot " + rr->shotPath_);
                                                   return G_SOURCE_REMOVE;
                                                 },
                                                 r);
                                           }),
                                           this);
    gtk_widget_queue_draw(viewer_.window());
    return;
  }
  if (name == "report") return Done(WriteReport(a[0]), "report " + a[0]);
  if (name == "quit") return viewer_.Quit();
  Fail("unknown command");
}

}  // namespace quorel::viewer
