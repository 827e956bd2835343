// The GTK 3 face of one settings dialog: renders the core's control model
// (frame, tab control with its pages, every control by identifier) as a real
// modal window titled with the frame's caption, feeds the user's actions
// into the core's dialog logic, and follows the model's changes back into
// the widgets.
//
// Layout: the templates' dialog units times a fixed scale, in GtkFixed
// containers; the frame's tab control becomes a GtkNotebook whose pages hold
// the page windows (or, for the camera dialog, the frame's own controls that
// lie inside it). A trackbar is a GtkScale, an up-down a pair of arrow
// buttons, a drop-down list a GtkComboBoxText; "&" mnemonics become GTK
// mnemonics. Enter presses the default button (OK), Escape and the window's
// close button press Cancel.
//
// Thread context: the GTK thread only, except Wake, which any thread may
// call through the core's wake-up: it only attaches an idle source to the
// GTK thread's main context.
#pragma once

#include <gtk/gtk.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/GuiDialogs.h"

namespace quorel::gui {

struct SignalData;

class GtkDialogFace {
 public:
  GtkDialogFace(QuorelGuiDialog *dialog, const QuorelGuiDialogOps &ops);
  ~GtkDialogFace();
  GtkDialogFace(const GtkDialogFace &) = delete;
  GtkDialogFace &operator=(const GtkDialogFace &) = delete;

  // Opens the dialog's logic, builds and shows the window transient for
  // ownerXid (0: none), runs until the dialog ends, and returns its result.
  // `onShown` (may be empty) runs once in the loop after the window is shown.
  int Run(unsigned long ownerXid, void (*onShown)(void *), void *onShownContext);

  // --- for the test API (GTK thread) ---
  GtkWidget *Window() const { return window_; }
  GtkWidget *Notebook() const { return notebook_; }
  // The widget of a control: for an up-down, direction +1 and -1 pick its
  // arrow buttons. Null when there is none.
  GtkWidget *WidgetFor(int window, int id, int direction = 0) const;
  const QuorelGuiDialogOps &Ops() const { return ops_; }
  QuorelGuiDialog *Dialog() const { return dialog_; }
  // Runs pending GTK work until nothing is left to do.
  static void Settle();

 private:
  struct ControlWidget {
    int window = 0;
    int id = -1;
    int kind = 0;
    GtkWidget *widget = nullptr;  // the control (an up-down's box)
    GtkWidget *up = nullptr;      // up-down arrows
    GtkWidget *down = nullptr;
    GtkWidget *none = nullptr;  // radio buttons: the group's hidden "none checked" button
  };
  // Which of a window's controls to build: those inside the frame's tab
  // control, those outside it, or all.
  enum Region { kAll, kInsideTab, kOutsideTab };

  void Build();
  // Puts the window's controls into `fixed`, at their place less (offsetX, offsetY).
  void BuildWindowControls(int window, GtkFixed *fixed, int offsetX, int offsetY, int region);
  GtkWidget *CreateControl(int window, const QuorelGuiDialogControl &control, ControlWidget &cw);
  // Signal data that lives as long as the face.
  SignalData *Data(int window, int id, int delta = 0);
  void Update(int window, int id);
  void UpdateWidget(ControlWidget &cw, const QuorelGuiDialogControl &control);
  ControlWidget *Find(int window, int id);
  void ShowPage(int window, bool shown);

  static void OnChanged(void *context, int window, int id);
  static void OnShown(void *context, int window, int shown);
  static void Wake(void *context);
  static gboolean RunPostedIdle(gpointer data);

  QuorelGuiDialog *dialog_;
  const QuorelGuiDialogOps &ops_;
  GtkWidget *window_ = nullptr;
  GtkWidget *notebook_ = nullptr;
  std::vector<ControlWidget> controls_;
  std::vector<std::unique_ptr<SignalData>> signalData_;
  GtkWidget *radioGroup_ = nullptr;  // while building: the current radio group
  GtkWidget *radioNone_ = nullptr;
  // The frame's tab control rectangle (dialog units), when it has one.
  int tabX_ = 0, tabY_ = 0, tabWidth_ = 0, tabHeight_ = 0;
  bool hasTab_ = false;
  // Set while the model's state is copied into widgets, so that the widgets'
  // signals do not feed it back as user actions.
  int updating_ = 0;

  GMainContext *context_ = nullptr;
  std::mutex wakeLock_;               // guards pendingSource_
  GSource *pendingSource_ = nullptr;  // the one queued RunPosted, if any
};

// "&File" as GTK writes a mnemonic ("_File"); "&&" is a literal "&", and a
// literal "_" is doubled.
std::string GtkMnemonic(const char *text);
// The text without its mnemonic marks ("&File" -> "File").
std::string PlainText(const char *text);

}  // namespace quorel::gui
