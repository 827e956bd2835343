/*
 * GuiModule.h - the contract between the core library and its GUI module.
 *
 * The windowing code (the Xlib preview window, and the GTK face of the
 * settings dialogs) lives in a separate shared object, QUOREL_GUI_MODULE_FILE,
 * installed beside the core library and loaded with dlopen the first time a
 * window is wanted (platform/GuiLoader.h). The core itself never links an X11
 * or GTK library, so headless applications need none.
 *
 * The module exports one C function, QUOREL_GUI_ENTRY_POINT, of type
 * QuorelGuiGetModuleFn. The core passes the interface version it speaks and a
 * table of its own services; the module returns its function table for that
 * version, or NULL when it does not speak it. Tables start with their size so
 * that later versions can append entries; readers check the size before
 * using an entry beyond the first version's.
 *
 * Plain C on both sides: no C++ type or exception crosses this boundary.
 */
#ifndef QUOREL_PLATFORM_GUI_MODULE_H
#define QUOREL_PLATFORM_GUI_MODULE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUOREL_GUI_MODULE_FILE "libQuorelGui_470KX_PLU.so.1"
#define QUOREL_GUI_ENTRY_POINT "QuorelGui_GetModule"
#define QUOREL_GUI_INTERFACE_VERSION 1u

/* Services of the core offered to the module. */
typedef struct QuorelGuiHost {
  uint32_t size; /* sizeof(QuorelGuiHost) */
  uint32_t version;
  /* The core's debug log, category "gui": whether `level` is enabled, and
   * one line of text (no trailing newline needed). */
  int (*logEnabled)(int level);
  void (*logLine)(int level, const char *text);
} QuorelGuiHost;

/* A preview window of the module; opaque to the core. */
typedef struct QuorelGuiWindow QuorelGuiWindow;

typedef struct QuorelGuiWindowSpec {
  /* The X11 window to create a child of; 0 for a top-level window. */
  unsigned long parentXid;
  /* Child: position in the parent and size. Top-level: left and top are
   * ignored (the window is centred on the screen, a negative position
   * becoming 0) and width x height is the client area. Sizes below 1 give
   * a window that exists but is never shown. */
  int left;
  int top;
  int width;
  int height;
  const char *title;     /* WM_NAME and _NET_WM_NAME */
  const char *className; /* both parts of WM_CLASS */
  /* Child identifier, kept in the CARDINAL property _QUOREL_CHILD_ID of a
   * child window; 0 sets no property. */
  long childId;
} QuorelGuiWindowSpec;

/* The window's state as its own events last reported it. */
typedef struct QuorelGuiClientState {
  int exists;  /* 0 once the user, the parent or the server removed it */
  int visible; /* mapped (its parents may still hide it) */
  int width;   /* client area */
  int height;
} QuorelGuiClientState;

/* An image to paint at (0, 0) of the client area, clipped to it. */
typedef struct QuorelGuiImage {
  const uint8_t *pixels;
  int width;
  int height;
  int stride;       /* bytes from one memory row to the next */
  int bitsPerPixel; /* 8: palette indices; 24: blue, green, red */
  /* 8 bits: 256 entries of blue, green, red, reserved; NULL: a gray ramp. */
  const uint8_t *palette;
  /* 0: memory row 0 is the top line of the window; 1: the bottom line. */
  int bottomUp;
} QuorelGuiImage;

/* Declared by the dialogs part of the module (platform/GuiDialogs.h). */
struct QuorelGuiDialogTable;

typedef struct QuorelGuiModule {
  uint32_t size; /* sizeof(QuorelGuiModule) of the module's build */
  uint32_t version;

  /* --- preview window (gui/) --- */
  /* Creates, maps and waits until mapped (bounded). NULL on failure, whose
   * cause the module writes to the log. Thread-safe. */
  QuorelGuiWindow *(*createWindow)(const QuorelGuiWindowSpec *spec);
  /* Removes the window and frees every server resource it holds. Any
   * thread, also while another thread paints another window. NULL ignored. */
  void (*destroyWindow)(QuorelGuiWindow *window);
  /* The window's X11 id (stays readable after the window was removed). */
  unsigned long (*windowXid)(const QuorelGuiWindow *window);
  /* 1 and *state filled; 0 for a NULL window or state. */
  int (*queryClient)(QuorelGuiWindow *window, QuorelGuiClientState *state);
  /* Draws the image; 1 when drawn, 0 when skipped or failed (a removed
   * window, a lost server, an unsupported image). Never calls back. A caller
   * must not paint and destroy the same window at the same time. */
  int (*paint)(QuorelGuiWindow *window, const QuorelGuiImage *image);

  /* --- settings dialogs (gui/dialogs/) ---
   * The dialogs part of the module adds its entries here: a getter of its
   * own table, declared with struct QuorelGuiDialogTable in
   * platform/GuiDialogs.h. NULL when the module was built without it. */
  const struct QuorelGuiDialogTable *(*dialogTable)(void);

  /* Room for later entries of this version; NULL. */
  void *reserved[6];
} QuorelGuiModule;

typedef const QuorelGuiModule *(*QuorelGuiGetModuleFn)(uint32_t version, const QuorelGuiHost *host);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_PLATFORM_GUI_MODULE_H */
