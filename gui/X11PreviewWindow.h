// A preview window on the module's X connection: a child of an
// application's window, or a top-level window centred on the screen.
//
// The server-side state (size, mapped, still existing) is tracked from the
// window's own events, read whenever the module's lock is taken, so a paint
// costs no round trip. A user closing a top-level window (WM_DELETE_WINDOW)
// removes it; a parent that goes takes the window with it; a lost server
// ends it. In each case later paints are skipped and Destroy still tidies up.
//
// Painting converts the image into one of two paint buffers without the
// lock, so two windows paint side by side; with MIT-SHM the server copies
// one buffer while the next frame is converted into the other.
//
// Thread context: any thread; one window must not be painted and destroyed
// at the same time (the camera's frame lock sees to that).
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <memory>

#include "gui/PaintBuffer.h"
#include "platform/GuiModule.h"

namespace quorel::gui {

class X11Session;

class X11PreviewWindow {
 public:
  // Creates, maps and waits (bounded) until mapped. Null on failure, with
  // the cause logged.
  static std::unique_ptr<X11PreviewWindow> Create(const QuorelGuiWindowSpec &spec);

  ~X11PreviewWindow();
  X11PreviewWindow(const X11PreviewWindow &) = delete;
  X11PreviewWindow &operator=(const X11PreviewWindow &) = delete;

  unsigned long xid() const { return xid_; }
  void Query(QuorelGuiClientState &state);
  int Paint(const QuorelGuiImage &image);

  // Called by the session for each event of this window. Locked.
  void OnEventLocked(const XEvent &event);

 private:
  X11PreviewWindow() = default;
  bool Build(const QuorelGuiWindowSpec &spec);
  void ReleaseBuffersLocked();
  // A buffer of the size, free for writing; null when none can be had in
  // time. Locked.
  PaintBuffer *FreeBufferLocked(int width, int height);

  std::shared_ptr<X11Session> session_;
  Window xid_ = 0;
  GC gc_ = nullptr;
  bool topLevel_ = false;
  // Guarded by GuiLock().
  bool exists_ = false;
  bool mapped_ = false;
  int width_ = 0;
  int height_ = 0;
  std::array<std::unique_ptr<PaintBuffer>, 2> buffers_;
  int next_ = 0;
};

}  // namespace quorel::gui
