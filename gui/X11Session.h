// The module's own connection to the X server, shared by every preview
// window of the process.
//
// Xlib is used without XInitThreads (calling it late in a process that
// already uses Xlib is unsafe): every call on the connection is made with
// the module's one lock held (GuiLock()). The application's connections are
// never used.
//
// Errors: protocol errors of this connection are taken by a per-connection
// hook (XESetWireToError), logged and counted, so they never reach the
// application's error handler, whose default ends the process. A broken
// connection (the server went away) marks the session lost; it is detected
// by peeking at the socket before each use, and, for a break in the middle
// of a call, by a per-connection exit handler. libX11 calls the
// process-wide I/O error handler before that exit handler, and its default
// one ends the process; so the module installs, once, an I/O error handler
// that returns for its own connections and passes every other connection to
// the handler that was installed before, which keeps the application's
// behaviour for its own connections unchanged.
//
// A lost session stays in memory until the last window that uses it is
// destroyed; the next window opens a new session.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "gui/PixelConverter.h"

namespace quorel::gui {

class X11PreviewWindow;

// The module's lock: guards every session, its Display and every window's
// server-side state.
std::mutex &GuiLock();

class X11Session {
 public:
  // The open session, opening one when there is none, the last was lost or
  // DISPLAY now names another server.
  // Null (with the cause logged) when no display can be used. Locked.
  static std::shared_ptr<X11Session> AcquireLocked();

  ~X11Session();
  X11Session(const X11Session &) = delete;
  X11Session &operator=(const X11Session &) = delete;

  Display *display() const { return display_; }
  int screen() const { return screen_; }
  Window root() const { return root_; }
  Visual *visual() const { return visual_; }
  int depth() const { return depth_; }
  Colormap colormap() const { return colormap_; }
  unsigned long blackPixel() const { return black_; }
  int screenWidth() const { return screenWidth_; }
  int screenHeight() const { return screenHeight_; }
  const PixelConverter &converter() const { return *converter_; }
  bool shmAvailable() const { return shm_; }
  int shmCompletionEvent() const { return shmCompletion_; }

  Atom wmProtocols() const { return wmProtocols_; }
  Atom wmDeleteWindow() const { return wmDeleteWindow_; }
  Atom netWmName() const { return netWmName_; }
  Atom utf8String() const { return utf8String_; }
  Atom childIdProperty() const { return childId_; }

  // False once the connection broke; peeks at the socket first. Locked.
  bool AliveLocked();

  // Error trap around a group of requests: Begin forgets earlier errors,
  // End waits for the server to process everything sent (XSync) and returns
  // the first error code since Begin (0: none). Locked.
  void BeginTrapLocked();
  int EndTrapLocked();

  // Window events are handed to the window registered for their id. Locked.
  void RegisterLocked(Window xid, X11PreviewWindow *window);
  void UnregisterLocked(Window xid);
  // Hands every queued event to its window. Locked.
  void DispatchLocked();
  // Dispatches until done() holds or timeoutMs pass, waiting on the socket
  // in between. Returns done(). Locked.
  bool WaitLocked(const std::function<bool()> &done, int timeoutMs);

  // Called by the connection's error hooks.
  void RecordError(int code, int request, int minor, unsigned long resource);
  void MarkLost();

 private:
  X11Session() = default;
  bool Open(std::string &why);
  bool ProbeShm();

  std::string name_;  // the DISPLAY it was opened for
  Display *display_ = nullptr;
  int screen_ = 0;
  Window root_ = 0;
  Visual *visual_ = nullptr;
  int depth_ = 0;
  Colormap colormap_ = 0;
  unsigned long black_ = 0;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  std::unique_ptr<PixelConverter> converter_;
  bool shm_ = false;
  int shmCompletion_ = -1;
  Atom wmProtocols_ = 0;
  Atom wmDeleteWindow_ = 0;
  Atom netWmName_ = 0;
  Atom utf8String_ = 0;
  Atom childId_ = 0;

  std::atomic<bool> lost_{false};
  int trapError_ = 0;                                       // first error since BeginTrapLocked; guarded by GuiLock()
  std::unordered_map<Window, X11PreviewWindow *> windows_;  // guarded by GuiLock()
};

}  // namespace quorel::gui
