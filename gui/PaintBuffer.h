// One image in the visual's pixel layout that a window draws from: in a
// MIT-SHM segment the server reads directly (XShmPutImage), or in plain
// memory sent with the request (XPutImage).
//
// A shared buffer is busy from its put until the server's completion event;
// the pixels must not change meanwhile. A plain buffer is free again when
// XPutImage returns.
//
// Thread context: created, drawn and freed with GuiLock() held; its pixel
// memory is written by the painting thread alone between those calls.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <memory>

namespace quorel::gui {

class X11Session;

class PaintBuffer {
 public:
  // A buffer of width x height pixels; null when the memory or the segment
  // cannot be had. Locked.
  static std::unique_ptr<PaintBuffer> Create(X11Session &session, bool shared, int width, int height);

  ~PaintBuffer();
  PaintBuffer(const PaintBuffer &) = delete;
  PaintBuffer &operator=(const PaintBuffer &) = delete;

  // Detaches the segment from the server (when the session still lives) and
  // frees everything. Must run, locked, before the session goes.
  void ReleaseLocked(X11Session &session);

  // Sends the pixels to (0, 0) of the window. Locked.
  void PutLocked(X11Session &session, Window window, GC gc);

  bool shared() const { return shared_; }
  bool busy() const { return busy_; }
  void MarkDone() { busy_ = false; }
  ShmSeg segment() const { return info_.shmseg; }
  int width() const { return width_; }
  int height() const { return height_; }
  uint8_t *pixels() { return reinterpret_cast<uint8_t *>(image_->data); }
  int stride() const { return image_->bytes_per_line; }

 private:
  PaintBuffer() = default;

  XImage *image_ = nullptr;
  XShmSegmentInfo info_{};
  std::unique_ptr<uint8_t[]> plain_;
  bool shared_ = false;
  bool attached_ = false;
  bool busy_ = false;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace quorel::gui
