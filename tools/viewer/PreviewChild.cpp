#include "PreviewChild.h"

#include <X11/Xatom.h>

namespace quorel::viewer {
namespace {

bool HasChildId(Display *display, Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char *data = nullptr;
  const int status =
      XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data);
  bool match = false;
  if (status == Success && type == XA_CARDINAL && format == 32 && items == 1 && data != nullptr) {
    // Format-32 properties come back as longs.
    match = *reinterpret_cast<unsigned long *>(data) == kPreviewChildId;
  }
  if (data != nullptr) XFree(data);
  return match;
}

}  // namespace

Window FindPreviewChild(Display *display, Window parent) {
  if (display == nullptr || parent == 0) return 0;
  const Atom property = XInternAtom(display, "_QUOREL_CHILD_ID", True);
  if (property == None) return 0;
  Window root = 0;
  Window up = 0;
  Window *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
  Window found = 0;
  // Children come bottom to top: the last match is the newest window.
  for (unsigned int i = 0; i < count; ++i) {
    if (HasChildId(display, children[i], property)) found = children[i];
  }
  if (children != nullptr) XFree(children);
  return found;
}

bool PlacePreviewChild(Display *display, Window parent, const PictureRect &rect) {
  if (rect.width <= 0 || rect.height <= 0) return false;
  const Window child = FindPreviewChild(display, parent);
  if (child == 0) return false;
  XMoveResizeWindow(display, child, rect.x, rect.y, static_cast<unsigned>(rect.width),
                    static_cast<unsigned>(rect.height));
  XFlush(display);
  return true;
}

}  // namespace quorel::viewer
