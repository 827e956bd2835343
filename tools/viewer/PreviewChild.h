// The library's preview window inside the viewer's picture area. The library
// creates it as a child of the X11 window the viewer registered, marked with
// the CARDINAL property _QUOREL_CHILD_ID = 6540, and paints each frame scaled
// to the window's current size; the viewer only moves and resizes it when its
// own window changes, as an application on the original platform would with
// the child it finds by identifier.
#pragma once

#include <X11/Xlib.h>

#include "PictureLayout.h"

namespace quorel::viewer {

inline constexpr unsigned long kPreviewChildId = 6540;

// The newest child of `parent` that carries the identifier; 0 when none.
Window FindPreviewChild(Display *display, Window parent);

// Moves and resizes the child to the rectangle (in parent coordinates).
// False when there is no such child or the rectangle is empty.
bool PlacePreviewChild(Display *display, Window parent, const PictureRect &rect);

}  // namespace quorel::viewer
