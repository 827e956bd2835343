/*
 * GuiDialogs.h - the settings dialogs part of the contract between the core
 * library and its GUI module (platform/GuiModule.h).
 *
 * The dialog logic and its control model live in the core (dialogs/); the
 * module only renders them with GTK 3 and feeds the user's actions back. For
 * one dialog the core hands the module an opaque QuorelGuiDialog and a table
 * of operations on it (QuorelGuiDialogOps): read the windows (the frame, then
 * the pages inside its tab control) and their controls, act as the user, run
 * the tasks other threads queued for the dialog, and learn about changes.
 *
 * Threads: GTK is used from one thread per process, the first that shows a
 * dialog. Every operation of QuorelGuiDialogOps is called on that thread,
 * except that the wake-up set with setWakeup is called from any thread (the
 * camera's worker): it must only schedule runPosted on the dialog's thread.
 *
 * Plain C on both sides: no C++ type or exception crosses this boundary.
 * Texts are UTF-8.
 */
#ifndef QUOREL_PLATFORM_GUI_DIALOGS_H
#define QUOREL_PLATFORM_GUI_DIALOGS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QUOREL_GUI_DIALOGS_VERSION 1u

/* Control kinds. */
enum {
  QUOREL_GUI_TAB = 0,
  QUOREL_GUI_GROUP_BOX = 1,
  QUOREL_GUI_STATIC = 2,
  QUOREL_GUI_EDIT = 3,
  QUOREL_GUI_DROP_DOWN_LIST = 4,
  QUOREL_GUI_PUSH_BUTTON = 5,
  QUOREL_GUI_CHECK_BOX = 6,
  QUOREL_GUI_RADIO_BUTTON = 7,
  QUOREL_GUI_TRACKBAR = 8,
  QUOREL_GUI_UP_DOWN = 9
};

/* Control styles (bits). */
enum {
  QUOREL_GUI_STYLE_DEFAULT_BUTTON = 1, /* Enter presses it */
  QUOREL_GUI_STYLE_READ_ONLY = 2,
  QUOREL_GUI_STYLE_NUMBER = 4,
  QUOREL_GUI_STYLE_GROUP_START = 8, /* first radio button of a group */
  QUOREL_GUI_STYLE_CENTERED = 16
};

/* Window 0 is the frame; windows 1 .. n are the pages of tabs 0 .. n-1. */
typedef struct QuorelGuiDialogWindow {
  int resourceId;
  const char *caption; /* the frame's title ("Property"); empty for pages */
  /* Dialog units: a page's x and y are its place inside the frame's tab control. */
  int x, y, width, height;
  int controlCount;
  int shown;
} QuorelGuiDialogWindow;

/* One control's state. The text pointers stay valid until the next
 * operation on the dialog. */
typedef struct QuorelGuiDialogControl {
  int kind;
  int id; /* -1 for labels and group boxes */
  const char *text;
  int x, y, width, height; /* dialog units */
  unsigned style;
  int enabled, visible, checked;
  int itemCount;
  int selection; /* -1: none */
  int rangeMin, rangeMax, position, tickFrequency;
  int buddy; /* up-down: the edit it is bound to */
} QuorelGuiDialogControl;

typedef struct QuorelGuiDialog QuorelGuiDialog;

typedef struct QuorelGuiDialogOps {
  uint32_t size;                                /* sizeof(QuorelGuiDialogOps) */
  const char *(*kind)(QuorelGuiDialog *dialog); /* "camera", "image", "analog" */
  int (*japanese)(QuorelGuiDialog *dialog);
  /* The dialog's initialisation; called once, before the first read. */
  void (*open)(QuorelGuiDialog *dialog);
  int (*windowCount)(QuorelGuiDialog *dialog);
  int (*window)(QuorelGuiDialog *dialog, int window, QuorelGuiDialogWindow *out);
  /* Control by its place in the window's template (0 .. controlCount-1). */
  int (*control)(QuorelGuiDialog *dialog, int window, int index, QuorelGuiDialogControl *out);
  /* The index of the control with identifier id; -1 when there is none. */
  int (*controlIndex)(QuorelGuiDialog *dialog, int window, int id);
  const char *(*itemText)(QuorelGuiDialog *dialog, int window, int id, int item);

  /* The user's actions; 1 when the control took it, 0 when it is missing,
   * disabled or of another kind. */
  int (*click)(QuorelGuiDialog *dialog, int window, int id);
  int (*type)(QuorelGuiDialog *dialog, int window, int id, const char *text);
  int (*select)(QuorelGuiDialog *dialog, int window, int id, int item);
  int (*moveTrackbar)(QuorelGuiDialog *dialog, int window, int id, int position);
  int (*spin)(QuorelGuiDialog *dialog, int window, int id, int delta);
  int (*selectTab)(QuorelGuiDialog *dialog, int tab);

  int (*ended)(QuorelGuiDialog *dialog);
  int (*result)(QuorelGuiDialog *dialog); /* 1 OK, 2 Cancel */
  /* Runs the tasks other threads queued; returns how many ran. */
  int (*runPosted)(QuorelGuiDialog *dialog);
  /* Any thread may call wakeup(context) after queuing a task; NULL removes
   * it, and once setWakeup returns the old one is no longer called. */
  void (*setWakeup)(QuorelGuiDialog *dialog, void (*wakeup)(void *context), void *context);
  /* changed(context, window, id) after a control's state changed;
   * shown(context, window, shown) after a page was shown or hidden. NULL
   * functions remove the observer. */
  void (*setObserver)(QuorelGuiDialog *dialog, void (*changed)(void *context, int window, int id),
                      void (*shown)(void *context, int window, int shown), void *context);
} QuorelGuiDialogOps;

/* What a test may do to the real widgets of the dialog that runs, on the
 * dialog's thread (see setTestHook). Each returns 1 when done. */
typedef struct QuorelGuiDialogTestApi {
  uint32_t size;
  /* Through GTK, as a user's action arrives: the widget's own signal runs. */
  int (*clickButton)(int window, int id); /* push button, check box, radio */
  int (*setEntryText)(int window, int id, const char *text);
  int (*chooseItem)(int window, int id, int item); /* drop-down list */
  int (*setSlider)(int window, int id, int position);
  int (*spin)(int window, int id, int delta); /* up-down arrow */
  int (*switchTab)(int tab);
  /* The dialog's close button (a delete event from the window manager). */
  int (*closeWindow)(void);
  /* Widget state as GTK shows it. Text: a static buffer until the next call. */
  const char *(*widgetText)(int window, int id);
  int (*widgetSensitive)(int window, int id);
  int (*widgetActive)(int window, int id); /* toggles: ticked; lists: chosen item */
  /* The X11 id of the dialog window and its transient-for parent (0: none). */
  unsigned long (*dialogXid)(void);
  unsigned long (*transientForXid)(void);
  /* Writes the dialog window, as drawn, to a PNG file. */
  int (*screenshot)(const char *pngPath);
  /* Runs the dialog's main loop until idle (pending redraws and events,
   * such as keys another client sent through the X server). */
  void (*settle)(void);
} QuorelGuiDialogTestApi;

typedef void (*QuorelGuiDialogTestHook)(void *context, const QuorelGuiDialogTestApi *api);

typedef struct QuorelGuiDialogTable {
  uint32_t size; /* sizeof(QuorelGuiDialogTable) of the module's build */
  uint32_t version;
  /* 0 when a dialog can be shown from the calling thread: a display opens
   * and GTK is free or already this thread's; 4 without a display; 1 when
   * GTK belongs to another thread of the process (the module logs why). */
  int (*canRun)(void);
  /* Opens the dialog (ops->open), shows it modally, transient for the X11
   * window ownerXid (0: none), and returns ops->result once it ended: 1 or
   * 2. -4 or -1 (as canRun) when it could not be shown. */
  int (*run)(QuorelGuiDialog *dialog, const QuorelGuiDialogOps *ops, unsigned long ownerXid);
  /* Tests: hook(context, api) is called once on the dialog's thread after
   * the next dialog is shown; it acts through api and ends the dialog.
   * NULL removes the hook. */
  void (*setTestHook)(QuorelGuiDialogTestHook hook, void *context);
} QuorelGuiDialogTable;

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_PLATFORM_GUI_DIALOGS_H */
