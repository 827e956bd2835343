/*
 * preview_window - live video as a child of the application's own X11
 * window: the window is registered with QuorelHost_WrapX11Window, the
 * library places its preview window at a rectangle inside it, and when the
 * user resizes the application's window the preview follows.
 *
 *   QUOREL_DRIVER=sim ./preview_window [seconds]     (default 10; 0: until closed)
 *
 * The library draws on a display connection of its own; the application's
 * connection and its error handlers are left alone.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <QuorelHost.h>
#include <QuorelSdk_470KX_PLU.h>

#define MARGIN 20

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The library's preview window: the child that carries identifier 6540. */
static Window FindPreview(Display *display, Window parent) {
  Atom childId = XInternAtom(display, "_QUOREL_CHILD_ID", False);
  Window root, up, *children = NULL, found = None;
  unsigned int count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return None;
  for (unsigned int i = 0; i < count && found == None; ++i) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char *data = NULL;
    if (XGetWindowProperty(display, children[i], childId, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data != NULL && items == 1 && *(long *)data == 6540) {
      found = children[i];
    }
    if (data != NULL) XFree(data);
  }
  if (children != NULL) XFree(children);
  return found;
}

int main(int argc, char **argv) {
  double seconds = argc > 1 ? atof(argv[1]) : 10.0;
  Display *display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "cannot open the display (is DISPLAY set?)\n");
    return 1;
  }
  int screen = DefaultScreen(display);
  int width = 800, height = 600;
  Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, (unsigned)width, (unsigned)height, 0,
                                      BlackPixel(display, screen), WhitePixel(display, screen));
  XStoreName(display, window, "Quorel preview example");
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &deleteWindow, 1);
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type == MapNotify) break;
  }

  int handle = Quorel_Initialize(NULL);
  HWND parent = QuorelHost_WrapX11Window(window);
  if (handle == 0 || parent == NULL) {
    fprintf(stderr, "camera or window registration failed\n");
    return 1;
  }
  Quorel_SetSubSample(handle, 1); /* half resolution: a lighter picture to scale */
  Quorel_SetPreviewWindow(handle, parent, MARGIN, MARGIN, width - 2 * MARGIN, height - 2 * MARGIN);
  if (!Quorel_Preview(handle)) {
    fprintf(stderr, "preview failed: error %d\n", Quorel_GetLastError(handle));
    Quorel_Release(handle);
    return 1;
  }
  Window preview = FindPreview(display, window);
  printf("preview window 0x%lx inside 0x%lx\n", (unsigned long)preview, (unsigned long)window);
  fflush(stdout);

  int running = 1;
  double end = Now() + seconds;
  while (running && (seconds <= 0 || Now() < end)) {
    if (!XPending(display)) {
      struct pollfd fd = {ConnectionNumber(display), POLLIN, 0};
      poll(&fd, 1, 100);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ConfigureNotify && event.xconfigure.window == window &&
        (event.xconfigure.width != width || event.xconfigure.height != height)) {
      width = event.xconfigure.width;
      height = event.xconfigure.height;
      int w = width > 2 * MARGIN ? width - 2 * MARGIN : 1;
      int h = height > 2 * MARGIN ? height - 2 * MARGIN : 1;
      /* The preview window follows at once; the library scales the next
       * frame to its new size. The stored rectangle is for later starts. */
      if (preview != None) XMoveResizeWindow(display, preview, MARGIN, MARGIN, (unsigned)w, (unsigned)h);
      XFlush(display);
      Quorel_SetPreviewWindow(handle, parent, MARGIN, MARGIN, w, h);
      printf("resized to %dx%d, preview %dx%d\n", width, height, w, h);
      fflush(stdout);
    } else if (event.type == ClientMessage && (Atom)event.xclient.data.l[0] == deleteWindow) {
      running = 0;
    }
  }

  Quorel_Close(handle); /* removes the preview window */
  Quorel_Release(handle);
  QuorelHost_DestroyWindow(parent);
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return 0;
}
