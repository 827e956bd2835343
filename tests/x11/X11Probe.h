// The tests' own view of the X server: a separate connection that reads
// window trees, properties and pixels, as another client (a window manager,
// a screenshot tool) would.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorel::test {

struct WindowGeometry {
  int x = 0;  // relative to the parent
  int y = 0;
  int width = 0;
  int height = 0;
};

// 8-bit red, green, blue, top row first.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t *At(int x, int y) const { return rgb.data() + (static_cast<size_t>(y) * width + x) * 3; }
};

class X11Probe {
 public:
  // Connects to DISPLAY; ok() is false when that fails.
  X11Probe();
  ~X11Probe();
  X11Probe(const X11Probe &) = delete;
  X11Probe &operator=(const X11Probe &) = delete;

  bool ok() const { return display_ != nullptr; }
  Display *display() const { return display_; }
  Window root() const;
  int screenWidth() const;
  int screenHeight() const;

  bool Exists(Window window);
  std::vector<Window> Children(Window parent);
  // Direct children of the root whose title is `title`.
  std::vector<Window> TopLevelsTitled(const std::string &title);
  std::string Title(Window window);      // _NET_WM_NAME
  std::string WmName(Window window);     // WM_NAME
  std::string ClassName(Window window);  // WM_CLASS class part
  long ChildId(Window window);           // _QUOREL_CHILD_ID, -1 when absent
  bool Mapped(Window window);
  WindowGeometry Geometry(Window window);

  // A window with a black background, mapped, at (x, y) of the root.
  Window CreateTopLevel(int x, int y, int width, int height);
  void Resize(Window window, int width, int height);
  void Move(Window window, int x, int y);
  void Destroy(Window window);
  // Sends WM_DELETE_WINDOW as a window manager does when the user closes it.
  void SendDelete(Window window);

  // The window's contents as the server holds them.
  RgbPicture Grab(Window window, int width, int height);

  // Polls `done` until it holds or timeoutMs pass.
  static bool WaitFor(const std::function<bool()> &done, int timeoutMs = 10000);

  // Errors of connections other than the probe's that reached the
  // process-wide X error handler.
  static int ForeignErrors();

 private:
  Display *display_ = nullptr;
};

// Writes the picture as an 8-bit RGB PNG; false on failure.
bool WritePng(const std::string &path, const RgbPicture &picture);

// The folder screenshots go to (created on first use): <build>/screenshots.
std::string ScreenshotPath(const std::string &name);

}  // namespace quorel::test
