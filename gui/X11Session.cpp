#include "gui/X11Session.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gui/GuiLog.h"
#include "gui/X11ErrorHook.h"
#include "gui/X11PreviewWindow.h"

namespace quorel::gui {
namespace {

// Objects that must outlive every caller, including the core's own static
// destructors that close windows at exit: built in place, never destroyed.
template <typename T>
class NoDestructor {
 public:
  NoDestructor() { new (storage_) T(); }
  T &get() { return *std::launder(reinterpret_cast<T *>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

NoDestructor<std::mutex> g_lock;
NoDestructor<std::shared_ptr<X11Session>> g_current;
// Display -> session, for the error hook; guarded by GuiLock().
NoDestructor<std::unordered_map<Display *, X11Session *>> g_sessions;

// The module's displays, readable without the lock by the process-wide I/O
// error handler, which may run on any thread for any connection.
constexpr int kDisplaySlots = 32;
std::array<std::atomic<Display *>, kDisplaySlots> g_ownDisplays{};
std::atomic<XIOErrorHandler> g_previousIoHandler{nullptr};  // stored once, under std::call_once
std::once_flag g_ioHandlerOnce;

bool IsOwnDisplay(Display *display) {
  for (const auto &slot : g_ownDisplays) {
    if (slot.load(std::memory_order_acquire) == display) return true;
  }
  return false;
}

void AddOwnDisplay(Display *display) {
  for (auto &slot : g_ownDisplays) {
    Display *expected = nullptr;
    if (slot.compare_exchange_strong(expected, display)) return;
  }
}

void RemoveOwnDisplay(Display *display) {
  for (auto &slot : g_ownDisplays) {
    Display *expected = display;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

int IoErrorHandler(Display *display) {
  // Returning lets libX11 go on to the connection's own exit handler, which
  // marks the session lost instead of ending the process.
  if (IsOwnDisplay(display)) return 0;
  const XIOErrorHandler previous = g_previousIoHandler.load(std::memory_order_acquire);
  return previous != nullptr ? previous(display) : 0;
}

void IoExitHandler(Display *, void *session) {
  static_cast<X11Session *>(session)->MarkLost();
}

// Runs inside an Xlib call on one of the module's connections, so with
// GuiLock() held.
void RecordProtocolError(Display *display, const XErrorEvent &event) {
  const auto it = g_sessions.get().find(display);
  if (it != g_sessions.get().end()) {
    it->second->RecordError(event.error_code, event.request_code, event.minor_code, event.resourceid);
  }
}

}  // namespace

std::mutex &GuiLock() {
  return g_lock.get();
}

std::shared_ptr<X11Session> X11Session::AcquireLocked() {
  std::shared_ptr<X11Session> &current = g_current.get();
  const char *name = std::getenv("DISPLAY");
  if (current != nullptr && name != nullptr && current->name_ == name && current->AliveLocked()) return current;
  current.reset();
  std::shared_ptr<X11Session> session(new (std::nothrow) X11Session());
  if (session == nullptr) return nullptr;
  std::string why;
  if (!session->Open(why)) {
    GuiLog(1, "no preview window: %s", why.c_str());
    return nullptr;
  }
  current = session;
  return current;
}

bool X11Session::Open(std::string &why) {
  const char *name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    why = "DISPLAY is not set";
    return false;
  }
  name_ = name;
  std::call_once(g_ioHandlerOnce,
                 [] { g_previousIoHandler.store(XSetIOErrorHandler(IoErrorHandler), std::memory_order_release); });
  display_ = XOpenDisplay(name);
  if (display_ == nullptr) {
    why = std::string("cannot open display \"") + name + "\"";
    return false;
  }
  AddOwnDisplay(display_);
  XSetIOErrorExitHandler(display_, IoExitHandler, this);
  g_sessions.get()[display_] = this;
  InstallErrorHook(display_, RecordProtocolError);

  screen_ = DefaultScreen(display_);
  root_ = RootWindow(display_, screen_);
  visual_ = DefaultVisual(display_, screen_);
  depth_ = DefaultDepth(display_, screen_);
  colormap_ = DefaultColormap(display_, screen_);
  black_ = BlackPixel(display_, screen_);
  screenWidth_ = DisplayWidth(display_, screen_);
  screenHeight_ = DisplayHeight(display_, screen_);
  if (visual_->c_class != TrueColor) {
    why = "the screen's default visual is not TrueColor";
    return false;
  }
  PixelLayout layout;
  layout.bitsPerPixel = 0;
  int formatCount = 0;
  XPixmapFormatValues *formats = XListPixmapFormats(display_, &formatCount);
  for (int i = 0; i < formatCount; ++i) {
    if (formats[i].depth == depth_) layout.bitsPerPixel = formats[i].bits_per_pixel;
  }
  if (formats != nullptr) XFree(formats);
  layout.redMask = static_cast<uint32_t>(visual_->red_mask);
  layout.greenMask = static_cast<uint32_t>(visual_->green_mask);
  layout.blueMask = static_cast<uint32_t>(visual_->blue_mask);
  if (!layout.Valid()) {
    why = "unsupported pixel layout of depth " + std::to_string(depth_);
    return false;
  }
  converter_ = std::make_unique<PixelConverter>(layout);

  wmProtocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
  wmDeleteWindow_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
  utf8String_ = XInternAtom(display_, "UTF8_STRING", False);
  childId_ = XInternAtom(display_, "_QUOREL_CHILD_ID", False);
  shm_ = ProbeShm();
  GuiLog(1, "display \"%s\" opened: screen %dx%d, depth %d, %d bits per pixel, %s", name, screenWidth_, screenHeight_,
         depth_, layout.bitsPerPixel, shm_ ? "MIT-SHM" : "no MIT-SHM (XPutImage)");
  return true;
}

// Shared images need the extension, a server on this machine (the attach
// fails otherwise) and pixels in this machine's byte order.
bool X11Session::ProbeShm() {
  const char *setting = std::getenv("QUOREL_GUI_SHM");
  if (setting != nullptr && std::strcmp(setting, "0") == 0) {
    GuiLog(1, "MIT-SHM turned off by QUOREL_GUI_SHM=0");
    return false;
  }
  if (!XShmQueryExtension(display_)) return false;
  if (ImageByteOrder(display_) != LSBFirst) return false;
  XShmSegmentInfo info{};
  info.shmid = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  if (info.shmid < 0) return false;
  info.shmaddr = static_cast<char *>(shmat(info.shmid, nullptr, 0));
  shmctl(info.shmid, IPC_RMID, nullptr);
  if (info.shmaddr == reinterpret_cast<char *>(-1)) return false;
  info.readOnly = True;
  BeginTrapLocked();
  XShmAttach(display_, &info);
  const bool attached = EndTrapLocked() == 0;
  if (attached) {
    XShmDetach(display_, &info);
    XSync(display_, False);
  }
  shmdt(info.shmaddr);
  shmCompletion_ = XShmGetEventBase(display_) + ShmCompletion;
  return attached && AliveLocked();
}

X11Session::~X11Session() {
  if (display_ == nullptr) return;
  g_sessions.get().erase(display_);
  XCloseDisplay(display_);
  RemoveOwnDisplay(display_);
}

bool X11Session::AliveLocked() {
  if (lost_.load(std::memory_order_acquire)) return false;
  pollfd fd{ConnectionNumber(display_), POLLIN, 0};
  if (poll(&fd, 1, 0) > 0) {
    char byte = 0;
    if ((fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ||
        ((fd.revents & POLLIN) != 0 && recv(fd.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0)) {
      MarkLost();
      return false;
    }
  }
  return true;
}

void X11Session::MarkLost() {
  if (!lost_.exchange(true)) GuiLog(1, "connection to the X server lost; preview windows are gone");
}

void X11Session::RecordError(int code, int request, int minor, unsigned long resource) {
  if (trapError_ == 0) trapError_ = code;
  GuiLog(2, "X error %d (request %d.%d, resource 0x%lx) on the library's connection", code, request, minor, resource);
}

void X11Session::BeginTrapLocked() {
  trapError_ = 0;
}

int X11Session::EndTrapLocked() {
  if (AliveLocked()) XSync(display_, False);
  if (lost_.load()) return trapError_ != 0 ? trapError_ : BadImplementation;
  return trapError_;
}

void X11Session::RegisterLocked(Window xid, X11PreviewWindow *window) {
  windows_[xid] = window;
}

void X11Session::UnregisterLocked(Window xid) {
  windows_.erase(xid);
}

void X11Session::DispatchLocked() {
  if (!AliveLocked()) return;
  while (XPending(display_) > 0 && !lost_.load()) {
    XEvent event;
    XNextEvent(display_, &event);
    Window target = event.xany.window;
    if (event.type == shmCompletion_) target = reinterpret_cast<XShmCompletionEvent &>(event).drawable;
    const auto it = windows_.find(target);
    if (it != windows_.end()) it->second->OnEventLocked(event);
  }
}

bool X11Session::WaitLocked(const std::function<bool()> &done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DispatchLocked();
    if (done()) return true;
    if (!AliveLocked()) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left));
  }
}

}  // namespace quorel::gui
