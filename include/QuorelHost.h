/**
 * \file QuorelHost.h
 * \brief Window handles and posted messages on Linux.
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

/** One posted message, as read from a queue. */
typedef struct QuorelHostMsg {
  HWND hwnd;     /**< the window it was posted to */
  UINT message;  /**< QUOREL_WM_FRAME, QUOREL_WM_ERROR, ... */
  WPARAM wParam; /**< first parameter */
  LPARAM lParam; /**< second parameter */
} QuorelHostMsg;

/** A new message window, the caller's until QuorelHost_DestroyWindow.
 * \return the window, or NULL when the window table cannot grow. */
QUOREL_API HWND QuorelHost_CreateMessageWindow(void);
/** Destroys a window with its pending messages; posts to it are lost from now.
 * \param hwnd the window
 * \return 1 when the window existed and is now gone, else 0. */
QUOREL_API int QuorelHost_DestroyWindow(HWND hwnd);
/** Takes the oldest message without waiting.
 * \param hwnd the window; NULL reads the calling thread's queue
 * \param msg caller's record, written when a message is taken
 * \return 1: one message removed into *msg; 0: queue empty or unknown window. */
QUOREL_API int QuorelHost_PeekMessage(HWND hwnd, QuorelHostMsg *msg);
/** As QuorelHost_PeekMessage, but waits for a message.
 * \param hwnd the window; NULL reads the calling thread's queue
 * \param msg caller's record, written when a message is taken
 * \param timeoutMs longest wait in milliseconds; -1 waits forever
 * \return 1: got one; 0: timed out or unknown window. */
QUOREL_API int QuorelHost_WaitMessage(HWND hwnd, QuorelHostMsg *msg, int timeoutMs);
/** A file descriptor that is readable while the window's queue is not empty,
 * for poll, epoll, GLib or Qt. Owned by the library (never close it); valid
 * until the window is destroyed.
 * \param hwnd the window
 * \return the descriptor, or -1 for an unknown window. */
QUOREL_API int QuorelHost_GetEventFd(HWND hwnd);
/** Registers an application's X11 window as a preview parent for
 * Quorel_SetPreviewWindow; the X11 window stays the application's.
 * \param xid the X11 window id
 * \return a window handle for it, or NULL. */
QUOREL_API HWND QuorelHost_WrapX11Window(unsigned long xid);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_HOST_H */
