/*
 * QuorelHost.h - window handles and posted messages on Linux.
 *
 * The library keeps a process-wide table of the windows it knows: message
 * windows created here, its own preview windows, and X11 windows registered as
 * preview parents. Each has a queue of at most 10,000 messages; a post to a
 * full queue, or to an unknown or destroyed window, is lost. Posting to a NULL
 * window appends to the posting thread's own queue (freed when the thread ends).
 * All functions are thread-safe.
 */
#ifndef QUOREL_HOST_H
#define QUOREL_HOST_H

#include "QuorelSdk_470KX_PLU.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct QuorelHostMsg {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
} QuorelHostMsg;

/* A new message window; NULL when the window table cannot grow. */
QUOREL_API HWND QuorelHost_CreateMessageWindow(void);
/* 1 when the window existed and is now gone (its pending messages with it), else 0. */
QUOREL_API int QuorelHost_DestroyWindow(HWND hwnd);
/* 1: one message removed into *msg; 0: queue empty or unknown window.
 * NULL hwnd reads the calling thread's queue. */
QUOREL_API int QuorelHost_PeekMessage(HWND hwnd, QuorelHostMsg *msg);
/* As PeekMessage, but waits up to timeoutMs (-1: forever). 1: got one, 0: timed out. */
QUOREL_API int QuorelHost_WaitMessage(HWND hwnd, QuorelHostMsg *msg, int timeoutMs);
/* A file descriptor that is readable while the queue is not empty (for
 * poll/epoll/GLib/Qt); owned by the library; -1 for an unknown window. */
QUOREL_API int QuorelHost_GetEventFd(HWND hwnd);
/* Registers an application's X11 window as a preview parent. */
QUOREL_API HWND QuorelHost_WrapX11Window(unsigned long xid);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_HOST_H */
