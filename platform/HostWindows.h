// The process-wide table of windows that the library knows, each with a
// message queue, and the per-thread queues that receive posts to a NULL window.
//
// Handles are tagged integers outside every canonical x86-64 address (a
// dereference faults at once), issued from a 48-bit serial that only grows, so
// a destroyed handle is never handed out again within the process lifetime.
//
// Posting appends under the queue's own lock and never waits for a reader or
// calls into the application. A queue holds at most kHostQueueLimit messages;
// a post to a full queue, or to an unknown or destroyed window, is lost.
// Each queue owns an eventfd that is readable exactly while the queue is not
// empty. All functions are thread-safe.
#pragma once

#include <cstddef>

#include "QuorelHost.h"

namespace quorel {

inline constexpr size_t kHostQueueLimit = 10000;
// The window table refuses new windows beyond this many live ones.
inline constexpr size_t kHostWindowLimit = 65536;

// Appends a message to `hwnd`'s queue, or to the calling thread's queue when
// hwnd is NULL. True when queued; false when lost.
bool HostPostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Adds a window to the table: an X11 window when xid is not 0 (registering
// the same xid again returns the handle it already has), else a message
// window. NULL when the table is full.
HWND HostRegisterWindow(unsigned long xid);

bool HostIsWindow(HWND hwnd);

// The X11 window behind a registered handle; 0 for message windows and
// unknown handles.
unsigned long HostWindowXid(HWND hwnd);

// Removes the window and drops its pending messages; waiters on it return
// with nothing. False when the handle was not a live window.
bool HostDestroyWindow(HWND hwnd);

// Removes the oldest message of `hwnd`'s queue (NULL: the calling thread's
// queue) into *msg. False when empty, unknown or msg is NULL.
bool HostPeekMessage(HWND hwnd, QuorelHostMsg *msg);

// As HostPeekMessage, waiting up to timeoutMs (negative: forever) for a
// message. Returns false when the time runs out or the window is destroyed.
// For NULL hwnd it does not wait: only the calling thread itself can post to
// its own queue, so nothing can arrive while it waits.
bool HostWaitMessage(HWND hwnd, QuorelHostMsg *msg, int timeoutMs);

// The queue's eventfd (NULL: the calling thread's queue, created if needed);
// -1 for unknown windows. The descriptor stays the library's: it is closed
// when the window is destroyed or the thread ends. It is for waiting only;
// callers take messages with HostPeekMessage until it returns false, which
// also clears the descriptor's readiness.
int HostGetEventFd(HWND hwnd);

// Live per-thread queues in the process, for diagnostics and tests.
size_t HostThreadQueueCount();

}  // namespace quorel
