// The dialogs part of the GUI module: its table (platform/GuiDialogs.h),
// the binding of GTK to one thread of the process, and the test interface
// that drives the real widgets.
//
// GTK is initialised by the first thread that shows a dialog and belongs to
// that thread from then on; a dialog asked for on another thread is refused.
// The module never changes the process's locale (GTK would by default).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "gui/GuiLog.h"
#include "gui/dialogs/GtkDialogFace.h"
#include "platform/GuiDialogs.h"

namespace quorel::gui {
namespace {

constexpr int kErrNotReady = 1;
constexpr int kErrWindowNotCreated = 4;

std::mutex g_lock;  // guards every g_ variable below
bool g_gtkReady = false;
bool g_applicationGtk = false;  // GTK was initialised by the application, not by us
std::thread::id g_gtkThread;
QuorelGuiDialogTestHook g_testHook = nullptr;
void *g_testContext = nullptr;
// The face that runs on the GTK thread (read and written only there).
GtkDialogFace *g_current = nullptr;

int CanRun() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_gtkReady) {
    const char *display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
      GuiLog(1, "dialog not shown: DISPLAY is not set");
      return kErrWindowNotCreated;
    }
    // An application that uses GTK itself has initialised it already; its
    // GTK thread is the one that runs the main loop.
    g_applicationGtk = gdk_display_get_default() != nullptr;
    if (!g_applicationGtk) {
      gdk_set_allowed_backends("x11");
      gtk_disable_setlocale();
      if (!gtk_init_check(nullptr, nullptr)) {
        GuiLog(1, "dialog not shown: GTK cannot open display %s", display);
        return kErrWindowNotCreated;
      }
      g_gtkThread = std::this_thread::get_id();
    }
    g_gtkReady = true;
    GuiLog(2, "GTK ready on display %s%s", display, g_applicationGtk ? " (the application's)" : "");
  }
  const bool ours = g_applicationGtk || std::this_thread::get_id() == g_gtkThread;
  // Another thread running the main loop owns the main context.
  GMainContext *context = g_main_context_default();
  const bool free = g_main_context_acquire(context);
  if (free) g_main_context_release(context);
  if (!ours || !free) {
    GuiLog(1, "dialog refused: GTK belongs to another thread of this process");
    return kErrNotReady;
  }
  return 0;
}

const QuorelGuiDialogTestApi &TestApi();

void RunTestHook(void *) {
  QuorelGuiDialogTestHook hook = nullptr;
  void *context = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    hook = std::exchange(g_testHook, nullptr);
    context = g_testContext;
  }
  if (hook != nullptr) hook(context, &TestApi());
}

int Run(QuorelGuiDialog *dialog, const QuorelGuiDialogOps *ops, unsigned long ownerXid) {
  if (dialog == nullptr || ops == nullptr || ops->size < sizeof(QuorelGuiDialogOps)) return -kErrNotReady;
  if (const int code = CanRun(); code != 0) return -code;
  if (g_current != nullptr) {
    GuiLog(1, "dialog refused: another dialog runs on this thread");
    return -kErrNotReady;
  }
  try {
    bool hooked = false;
    {
      std::lock_guard<std::mutex> lock(g_lock);
      hooked = g_testHook != nullptr;
    }
    GtkDialogFace face(dialog, *ops);
    g_current = &face;
    const int result = face.Run(ownerXid, hooked ? &RunTestHook : nullptr, nullptr);
    g_current = nullptr;
    GuiLog(2, "%s dialog ended with %d", ops->kind(dialog), result);
    return result;
  } catch (const std::exception &error) {
    g_current = nullptr;
    GuiLog(1, "dialog failed: %s", error.what());
  } catch (...) {
    g_current = nullptr;
    GuiLog(1, "dialog failed");
  }
  return -kErrWindowNotCreated;
}

void SetTestHook(QuorelGuiDialogTestHook hook, void *context) {
  std::lock_guard<std::mutex> lock(g_lock);
  g_testHook = hook;
  g_testContext = context;
}

// --- the test interface: real widgets, through GTK -------------------------

GtkWidget *Widget(int window, int id, int direction = 0) {
  return g_current == nullptr ? nullptr : g_current->WidgetFor(window, id, direction);
}

bool Usable(GtkWidget *widget) {
  return widget != nullptr && gtk_widget_is_sensitive(widget) && gtk_widget_is_visible(widget);
}

int ClickButton(int window, int id) {
  GtkWidget *w = Widget(window, id);
  if (!Usable(w) || !GTK_IS_BUTTON(w)) return 0;
  gtk_button_clicked(GTK_BUTTON(w));
  return 1;
}

int SetEntryText(int window, int id, const char *text) {
  GtkWidget *w = Widget(window, id);
  if (!Usable(w) || !GTK_IS_ENTRY(w) || !gtk_editable_get_editable(GTK_EDITABLE(w)) || text == nullptr) return 0;
  gtk_entry_set_text(GTK_ENTRY(w), text);
  return 1;
}

int ChooseItem(int window, int id, int item) {
  GtkWidget *w = Widget(window, id);
  if (!Usable(w) || !GTK_IS_COMBO_BOX(w)) return 0;
  gtk_combo_box_set_active(GTK_COMBO_BOX(w), item);
  return gtk_combo_box_get_active(GTK_COMBO_BOX(w)) == item ? 1 : 0;
}

int SetSlider(int window, int id, int position) {
  GtkWidget *w = Widget(window, id);
  if (!Usable(w) || !GTK_IS_RANGE(w)) return 0;
  gtk_range_set_value(GTK_RANGE(w), position);
  return 1;
}

int Spin(int window, int id, int delta) {
  GtkWidget *w = Widget(window, id, delta > 0 ? 1 : -1);
  if (!Usable(w)) return 0;
  gtk_button_clicked(GTK_BUTTON(w));
  return 1;
}

int SwitchTab(int tab) {
  if (g_current == nullptr || g_current->Notebook() == nullptr) return 0;
  GtkNotebook *notebook = GTK_NOTEBOOK(g_current->Notebook());
  if (tab < 0 || tab >= gtk_notebook_get_n_pages(notebook)) return 0;
  gtk_notebook_set_current_page(notebook, tab);
  return 1;
}

Window DialogXidOf() {
  if (g_current == nullptr || g_current->Window() == nullptr) return 0;
  GdkWindow *window = gtk_widget_get_window(g_current->Window());
  return window == nullptr ? 0 : gdk_x11_window_get_xid(window);
}

int CloseWindow() {
  const Window xid = DialogXidOf();
  if (xid == 0) return 0;
  Display *display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  // What a window manager sends when the user closes the window.
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, xid, False, NoEventMask, &event);
  XFlush(display);
  GtkDialogFace::Settle();
  return 1;
}

const char *WidgetText(int window, int id) {
  static std::string text;
  text.clear();
  GtkWidget *w = Widget(window, id);
  if (w == nullptr) return text.c_str();
  if (GTK_IS_ENTRY(w)) {
    text = gtk_entry_get_text(GTK_ENTRY(w));
  } else if (GTK_IS_LABEL(w)) {
    text = gtk_label_get_text(GTK_LABEL(w));
  } else if (GTK_IS_COMBO_BOX_TEXT(w)) {
    gchar *active = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(w));
    if (active != nullptr) text = active;
    g_free(active);
  } else if (GTK_IS_BUTTON(w)) {
    GtkWidget *child = gtk_bin_get_child(GTK_BIN(w));
    if (child != nullptr && GTK_IS_LABEL(child)) text = gtk_label_get_text(GTK_LABEL(child));
  } else if (GTK_IS_FRAME(w)) {
    const char *label = gtk_frame_get_label(GTK_FRAME(w));
    if (label != nullptr) text = label;
  }
  return text.c_str();
}

int WidgetSensitive(int window, int id) {
  GtkWidget *w = Widget(window, id);
  return w != nullptr && gtk_widget_is_sensitive(w) ? 1 : 0;
}

int WidgetActive(int window, int id) {
  GtkWidget *w = Widget(window, id);
  if (w == nullptr) return -1;
  if (GTK_IS_TOGGLE_BUTTON(w)) return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(w)) ? 1 : 0;
  if (GTK_IS_COMBO_BOX(w)) return gtk_combo_box_get_active(GTK_COMBO_BOX(w));
  if (GTK_IS_RANGE(w)) return static_cast<int>(gtk_range_get_value(GTK_RANGE(w)));
  if (GTK_IS_NOTEBOOK(w)) return gtk_notebook_get_current_page(GTK_NOTEBOOK(w));
  return -1;
}

unsigned long DialogXid() {
  return DialogXidOf();
}

unsigned long TransientForXid() {
  const Window xid = DialogXidOf();
  if (xid == 0) return 0;
  Window parent = 0;
  Display *display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  return XGetTransientForHint(display, xid, &parent) != 0 ? parent : 0;
}

int Screenshot(const char *pngPath) {
  if (g_current == nullptr || pngPath == nullptr) return 0;
  GtkDialogFace::Settle();
  GdkWindow *window = gtk_widget_get_window(g_current->Window());
  if (window == nullptr) return 0;
  GdkPixbuf *pixbuf =
      gdk_pixbuf_get_from_window(window, 0, 0, gdk_window_get_width(window), gdk_window_get_height(window));
  if (pixbuf == nullptr) return 0;
  GError *error = nullptr;
  const gboolean saved = gdk_pixbuf_save(pixbuf, pngPath, "png", &error, nullptr);
  if (error != nullptr) {
    GuiLog(1, "screenshot %s not written: %s", pngPath, error->message);
    g_error_free(error);
  }
  g_object_unref(pixbuf);
  return saved ? 1 : 0;
}

void Settle() {
  GtkDialogFace::Settle();
}

const QuorelGuiDialogTestApi &TestApi() {
  static const QuorelGuiDialogTestApi api = {
      sizeof(QuorelGuiDialogTestApi),
      ClickButton,
      SetEntryText,
      ChooseItem,
      SetSlider,
      Spin,
      SwitchTab,
      CloseWindow,
      WidgetText,
      WidgetSensitive,
      WidgetActive,
      DialogXid,
      TransientForXid,
      Screenshot,
      Settle,
  };
  return api;
}

const QuorelGuiDialogTable kTable = {
    sizeof(QuorelGuiDialogTable), QUOREL_GUI_DIALOGS_VERSION, CanRun, Run, SetTestHook,
};

}  // namespace
}  // namespace quorel::gui

extern "C" const QuorelGuiDialogTable *QuorelGuiDialogs_GetTable(void) {
  return &quorel::gui::kTable;
}
