// The per-connection protocol-error hook of Xlib (XESetWireToError), kept
// apart because its header defines macros that clash with the C++ library.
#pragma once

#include <X11/Xlib.h>

namespace quorel::gui {

using X11ErrorSink = void (*)(Display *display, const XErrorEvent &error);

// Routes every protocol error of `display` to `sink`; none reaches the
// process-wide error handler. One sink serves all connections.
void InstallErrorHook(Display *display, X11ErrorSink sink);

}  // namespace quorel::gui
