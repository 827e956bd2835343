// One running dialog session as the GUI module sees it: the opaque
// QuorelGuiDialog and the plain-C operations of platform/GuiDialogs.h over
// the session's frame and pages (window 0 is the frame, window i the page of
// tab i - 1).
//
// Thread context: the dialog's thread, as the operations it serves.
#pragma once

#include <array>
#include <vector>

#include "dialogs/DialogSession.h"
#include "platform/GuiDialogs.h"

namespace quorel {

class GuiDialogBridge {
 public:
  explicit GuiDialogBridge(DialogSession &session);
  ~GuiDialogBridge();
  GuiDialogBridge(const GuiDialogBridge &) = delete;
  GuiDialogBridge &operator=(const GuiDialogBridge &) = delete;

  QuorelGuiDialog *Handle() { return reinterpret_cast<QuorelGuiDialog *>(this); }
  static const QuorelGuiDialogOps &Ops();

  DialogSession &Session() { return session_; }
  int WindowCount() { return 1 + session_.PageCount(); }
  // Null for an index outside 0 .. WindowCount() - 1.
  DialogWindow *WindowAt(int index);
  void SetObserver(void (*changed)(void *, int, int), void (*shown)(void *, int, int), void *context);

 private:
  // Forwards one window's changes to the module's observer.
  class WindowObserver final : public ControlObserver {
   public:
    WindowObserver(GuiDialogBridge &bridge, int window) : bridge_(bridge), window_(window) {}
    void OnControlChanged(int id) override;
    void OnWindowShown(bool shown) override;

   private:
    GuiDialogBridge &bridge_;
    int window_;
  };

  DialogSession &session_;
  std::vector<WindowObserver> observers_;
  void (*changed_)(void *, int, int) = nullptr;
  void (*shown_)(void *, int, int) = nullptr;
  void *context_ = nullptr;
};

}  // namespace quorel
