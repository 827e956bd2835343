#include "gui/X11PreviewWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

#include "gui/GuiLog.h"
#include "gui/X11Session.h"

namespace quorel::gui {
namespace {

// X sizes are 16-bit and positions signed 16-bit.
constexpr int kMaxExtent = 32767;
constexpr int kMapWaitMs = 2000;
// A shared buffer the server has not finished within this time is left
// alone and the frame skipped.
constexpr int kCompletionWaitMs = 1000;

int ClampPosition(int value) {
  return std::clamp(value, -kMaxExtent - 1, kMaxExtent);
}

void SetText(Display *display, Window window, Atom property, Atom type, const char *text) {
  XChangeProperty(display, window, property, type, 8, PropModeReplace, reinterpret_cast<const unsigned char *>(text),
                  static_cast<int>(std::strlen(text)));
}

}  // namespace

std::unique_ptr<X11PreviewWindow> X11PreviewWindow::Create(const QuorelGuiWindowSpec &spec) {
  std::unique_ptr<X11PreviewWindow> window(new (std::nothrow) X11PreviewWindow());
  if (window == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(GuiLock());
  if (!window->Build(spec)) return nullptr;
  return window;
}

bool X11PreviewWindow::Build(const QuorelGuiWindowSpec &spec) {
  session_ = X11Session::AcquireLocked();
  if (session_ == nullptr) return false;
  X11Session &s = *session_;
  Display *display = s.display();
  topLevel_ = spec.parentXid == 0;
  // A window of no size exists but is never shown, as a zero-sized window
  // would be invisible.
  const bool shown = spec.width > 0 && spec.height > 0;
  const int width = std::clamp(spec.width, 1, kMaxExtent);
  const int height = std::clamp(spec.height, 1, kMaxExtent);
  int x = ClampPosition(spec.left);
  int y = ClampPosition(spec.top);
  if (topLevel_) {
    x = std::max(0, (s.screenWidth() - width) / 2);
    y = std::max(0, (s.screenHeight() - height) / 2);
  }

  XSetWindowAttributes attributes{};
  attributes.background_pixel = s.blackPixel();
  attributes.border_pixel = 0;
  attributes.colormap = s.colormap();
  attributes.event_mask = StructureNotifyMask;
  // The screen's own visual and colormap, named explicitly, so that a parent
  // of another depth (an ARGB toolkit window) still takes the child.
  s.BeginTrapLocked();
  xid_ = XCreateWindow(display, topLevel_ ? s.root() : spec.parentXid, x, y, static_cast<unsigned>(width),
                       static_cast<unsigned>(height), 0, s.depth(), InputOutput, s.visual(),
                       CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  const char *title = spec.title != nullptr ? spec.title : "";
  XStoreName(display, xid_, title);
  SetText(display, xid_, s.netWmName(), s.utf8String(), title);
  if (spec.className != nullptr) {
    XClassHint hint{const_cast<char *>(spec.className), const_cast<char *>(spec.className)};
    XSetClassHint(display, xid_, &hint);
  }
  if (topLevel_) {
    Atom protocols[] = {s.wmDeleteWindow()};
    XSetWMProtocols(display, xid_, protocols, 1);
    XSizeHints hints{};
    hints.flags = USPosition | PPosition | PSize;
    hints.x = x;
    hints.y = y;
    hints.width = width;
    hints.height = height;
    XSetWMNormalHints(display, xid_, &hints);
  } else if (spec.childId != 0) {
    const long id = spec.childId;
    XChangeProperty(display, xid_, s.childIdProperty(), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&id), 1);
  }
  gc_ = XCreateGC(display, xid_, 0, nullptr);
  if (shown) XMapWindow(display, xid_);
  const int error = s.EndTrapLocked();
  if (error != 0) {
    GuiLog(1, "preview window not created: X error %d%s", error,
           topLevel_ ? "" : " (the parent window does not exist on this display)");
    if (s.AliveLocked()) {
      s.BeginTrapLocked();
      if (gc_ != nullptr) XFreeGC(display, gc_);
      XDestroyWindow(display, xid_);
      s.EndTrapLocked();
    }
    gc_ = nullptr;
    xid_ = 0;
    return false;
  }
  exists_ = true;
  width_ = width;
  height_ = height;
  s.RegisterLocked(xid_, this);
  if (shown && !s.WaitLocked([this] { return mapped_ || !exists_; }, kMapWaitMs)) {
    GuiLog(1, "preview window 0x%lx not mapped within %d ms; kept", xid_, kMapWaitMs);
  }
  GuiLog(1, "preview window 0x%lx created: %s %dx%d at (%d, %d)%s", xid_, topLevel_ ? "top-level" : "child", width,
         height, x, y, shown ? "" : ", not shown (no size)");
  return true;
}

X11PreviewWindow::~X11PreviewWindow() {
  std::lock_guard<std::mutex> lock(GuiLock());
  if (session_ == nullptr) return;
  X11Session &s = *session_;
  s.UnregisterLocked(xid_);
  ReleaseBuffersLocked();
  if (s.AliveLocked()) {
    s.BeginTrapLocked();
    if (gc_ != nullptr) XFreeGC(s.display(), gc_);
    if (exists_) XDestroyWindow(s.display(), xid_);
    // Waits for the server, so the window is gone when Destroy returns.
    s.EndTrapLocked();
  }
  GuiLog(1, "preview window 0x%lx destroyed", xid_);
  // A lost session closes here when this was its last window.
  session_.reset();
}

void X11PreviewWindow::ReleaseBuffersLocked() {
  for (auto &buffer : buffers_) {
    if (buffer != nullptr) buffer->ReleaseLocked(*session_);
    buffer.reset();
  }
}

void X11PreviewWindow::OnEventLocked(const XEvent &event) {
  X11Session &s = *session_;
  switch (event.type) {
    case ConfigureNotify:
      width_ = event.xconfigure.width;
      height_ = event.xconfigure.height;
      break;
    case MapNotify:
      mapped_ = true;
      break;
    case UnmapNotify:
      mapped_ = false;
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == xid_) {
        exists_ = false;
        mapped_ = false;
        GuiLog(1, "preview window 0x%lx destroyed by its parent or another client", xid_);
      }
      break;
    case ClientMessage:
      if (event.xclient.message_type == s.wmProtocols() &&
          static_cast<Atom>(event.xclient.data.l[0]) == s.wmDeleteWindow() && exists_) {
        // The user closed the window: it goes, the camera carries on.
        XDestroyWindow(s.display(), xid_);
        XFlush(s.display());
        exists_ = false;
        mapped_ = false;
        GuiLog(1, "preview window 0x%lx closed by the user", xid_);
      }
      break;
    default:
      if (event.type == s.shmCompletionEvent()) {
        const auto &done = reinterpret_cast<const XShmCompletionEvent &>(event);
        for (auto &buffer : buffers_) {
          if (buffer != nullptr && buffer->shared() && buffer->segment() == done.shmseg) buffer->MarkDone();
        }
      }
      break;
  }
}

void X11PreviewWindow::Query(QuorelGuiClientState &state) {
  std::lock_guard<std::mutex> lock(GuiLock());
  session_->DispatchLocked();
  const bool alive = session_->AliveLocked() && exists_;
  state.exists = alive ? 1 : 0;
  state.visible = alive && mapped_ ? 1 : 0;
  state.width = alive ? width_ : 0;
  state.height = alive ? height_ : 0;
}

PaintBuffer *X11PreviewWindow::FreeBufferLocked(int width, int height) {
  X11Session &s = *session_;
  std::unique_ptr<PaintBuffer> &slot = buffers_[next_];
  if (slot != nullptr && slot->busy() && !s.WaitLocked([&slot] { return !slot->busy(); }, kCompletionWaitMs)) {
    GuiLog(2, "preview window 0x%lx: the server has not finished the last frame; frame skipped", xid_);
    return nullptr;
  }
  if (slot == nullptr || slot->width() != width || slot->height() != height) {
    if (slot != nullptr) slot->ReleaseLocked(s);
    slot = PaintBuffer::Create(s, s.shmAvailable(), width, height);
    if (slot == nullptr) GuiLog(1, "preview window 0x%lx: no paint buffer of %dx%d", xid_, width, height);
  }
  return slot.get();
}

int X11PreviewWindow::Paint(const QuorelGuiImage &image) {
  if (image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
      (image.bitsPerPixel != 8 && image.bitsPerPixel != 24) ||
      static_cast<int64_t>(image.stride) < static_cast<int64_t>(image.width) * (image.bitsPerPixel / 8)) {
    return 0;
  }
  std::unique_lock<std::mutex> lock(GuiLock());
  X11Session &s = *session_;
  s.DispatchLocked();
  if (!s.AliveLocked() || !exists_ || !mapped_ || width_ <= 0 || height_ <= 0) return 0;
  const int width = std::min(image.width, width_);
  const int height = std::min(image.height, height_);
  PaintBuffer *buffer = FreeBufferLocked(width, height);
  if (buffer == nullptr) return 0;
  next_ = s.shmAvailable() ? 1 - next_ : 0;

  // The buffer is this thread's until it is put: only the painting thread
  // of this window writes or frees it.
  lock.unlock();
  s.converter().Convert(image, width, height, buffer->pixels(), buffer->stride());
  lock.lock();

  if (!s.AliveLocked() || !exists_) return 0;
  buffer->PutLocked(s, xid_, gc_);
  XFlush(s.display());
  return s.AliveLocked() ? 1 : 0;
}

}  // namespace quorel::gui
