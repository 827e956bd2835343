#include "gui/PaintBuffer.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <new>

#include "gui/GuiLog.h"
#include "gui/X11Session.h"

namespace quorel::gui {

std::unique_ptr<PaintBuffer> PaintBuffer::Create(X11Session &session, bool shared, int width, int height) {
  std::unique_ptr<PaintBuffer> buffer(new (std::nothrow) PaintBuffer());
  if (buffer == nullptr || width <= 0 || height <= 0) return nullptr;
  buffer->width_ = width;
  buffer->height_ = height;
  Display *display = session.display();
  if (shared) {
    buffer->image_ =
        XShmCreateImage(display, session.visual(), static_cast<unsigned>(session.depth()), ZPixmap, nullptr,
                        &buffer->info_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (buffer->image_ == nullptr) return nullptr;
    const size_t bytes = static_cast<size_t>(buffer->image_->bytes_per_line) * static_cast<size_t>(height);
    buffer->info_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (buffer->info_.shmid < 0) {
      GuiLog(1, "shared image of %zu bytes refused by shmget; painting with XPutImage", bytes);
      return Create(session, false, width, height);
    }
    void *address = shmat(buffer->info_.shmid, nullptr, 0);
    // Removed at once: the segment lives while attached, and no segment
    // outlives the process whatever happens to it.
    shmctl(buffer->info_.shmid, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void *>(-1)) return Create(session, false, width, height);
    buffer->info_.shmaddr = static_cast<char *>(address);
    buffer->image_->data = buffer->info_.shmaddr;
    buffer->info_.readOnly = True;
    buffer->shared_ = true;
    session.BeginTrapLocked();
    XShmAttach(display, &buffer->info_);
    if (session.EndTrapLocked() != 0) {
      buffer->ReleaseLocked(session);
      return Create(session, false, width, height);
    }
    buffer->attached_ = true;
    return buffer;
  }
  const int bytesPerPixel = session.converter().BytesPerPixel();
  const int stride = (width * bytesPerPixel + 3) & ~3;
  buffer->plain_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(stride) * static_cast<size_t>(height)]);
  if (buffer->plain_ == nullptr) return nullptr;
  buffer->image_ = XCreateImage(display, session.visual(), static_cast<unsigned>(session.depth()), ZPixmap, 0,
                                reinterpret_cast<char *>(buffer->plain_.get()), static_cast<unsigned>(width),
                                static_cast<unsigned>(height), 32, stride);
  if (buffer->image_ == nullptr) return nullptr;
  // The converter writes least significant byte first; Xlib swaps for a
  // server of the other order.
  buffer->image_->byte_order = LSBFirst;
  return buffer;
}

void PaintBuffer::ReleaseLocked(X11Session &session) {
  if (attached_ && session.AliveLocked()) XShmDetach(session.display(), &info_);
  attached_ = false;
  if (image_ != nullptr) {
    image_->data = nullptr;  // the memory is ours, not Xlib's
    XDestroyImage(image_);
    image_ = nullptr;
  }
  if (info_.shmaddr != nullptr) {
    shmdt(info_.shmaddr);
    info_.shmaddr = nullptr;
  }
  plain_.reset();
  busy_ = false;
}

PaintBuffer::~PaintBuffer() {
  // ReleaseLocked has normally run; this only frees what it could not reach.
  if (image_ != nullptr) {
    image_->data = nullptr;
    XDestroyImage(image_);
  }
  if (info_.shmaddr != nullptr) shmdt(info_.shmaddr);
}

void PaintBuffer::PutLocked(X11Session &session, Window window, GC gc) {
  const auto w = static_cast<unsigned>(width_);
  const auto h = static_cast<unsigned>(height_);
  if (shared_) {
    XShmPutImage(session.display(), window, gc, image_, 0, 0, 0, 0, w, h, True);
    busy_ = true;
  } else {
    XPutImage(session.display(), window, gc, image_, 0, 0, 0, 0, w, h);
  }
}

}  // namespace quorel::gui
