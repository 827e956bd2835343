// The host functions of QuorelHost.h: C linkage, no exception escapes.
#include "QuorelHost.h"

#include "platform/HostWindows.h"

extern "C" {

QUOREL_API HWND QuorelHost_CreateMessageWindow(void) {
  try {
    return quorel::HostRegisterWindow(0);
  } catch (...) {
    return nullptr;
  }
}

QUOREL_API int QuorelHost_DestroyWindow(HWND hwnd) {
  try {
    return quorel::HostDestroyWindow(hwnd) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelHost_PeekMessage(HWND hwnd, QuorelHostMsg *msg) {
  try {
    return quorel::HostPeekMessage(hwnd, msg) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelHost_WaitMessage(HWND hwnd, QuorelHostMsg *msg, int timeoutMs) {
  try {
    return quorel::HostWaitMessage(hwnd, msg, timeoutMs) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

QUOREL_API int QuorelHost_GetEventFd(HWND hwnd) {
  try {
    return quorel::HostGetEventFd(hwnd);
  } catch (...) {
    return -1;
  }
}

QUOREL_API HWND QuorelHost_WrapX11Window(unsigned long xid) {
  try {
    // X11's None (0) names no window.
    return xid == 0 ? nullptr : quorel::HostRegisterWindow(xid);
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"
