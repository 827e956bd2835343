#include "gui/X11ErrorHook.h"

#include <atomic>

// Last: it defines min and max as macros.
#include <X11/Xlibint.h>
#undef min
#undef max

namespace quorel::gui {
namespace {

std::atomic<X11ErrorSink> g_sink{nullptr};

Bool WireErrorHook(Display *display, XErrorEvent *event, xError *) {
  const X11ErrorSink sink = g_sink.load(std::memory_order_acquire);
  if (sink != nullptr && event != nullptr) sink(display, *event);
  return False;  // handled: never reported to the process-wide handler
}

}  // namespace

void InstallErrorHook(Display *display, X11ErrorSink sink) {
  g_sink.store(sink, std::memory_order_release);
  for (int code = 1; code < 256; ++code) XESetWireToError(display, code, WireErrorHook);
}

}  // namespace quorel::gui
