// The library's own preview window as the camera object holds it: a window
// of the GUI module (loaded on first use), listed in the library's window
// table under a handle of its own so that it can serve as a parent too.
//
// A child of the stored parent at (left, top) with width right and height
// bottom, titled "ActiveMovie Window" with child identifier 6540; or,
// without a parent, a top-level window titled "Active Window" whose client
// area is the delivered image size, centred on the screen.
//
// Thread context: created and destroyed on the application's threads; the
// worker draws through it under the camera's frame lock, and whoever swaps
// or destroys it takes that lock first, so a draw never meets a destroy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QuorelSdk_470KX_PLU.h"
#include "platform/GuiModule.h"

namespace quorel {

class DibImage;

inline constexpr long kPreviewChildId = 6540;

class PreviewWindow {
 public:
  struct Request {
    HWND parent = nullptr;
    int32_t rect[4] = {0, 0, 0, 0};  // left, top, right (width), bottom (height)
    int imageWidth = 0;              // delivered image size, for a top-level window
    int imageHeight = 0;
    std::string className;
  };

  // Null when no window can be made: no GUI module, no display, a parent
  // that is no X11 window of the display, or a refusal of the server (the
  // cause is in the "gui" log).
  static std::unique_ptr<PreviewWindow> Create(const Request &request);

  ~PreviewWindow();
  PreviewWindow(const PreviewWindow &) = delete;
  PreviewWindow &operator=(const PreviewWindow &) = delete;

  HWND handle() const { return handle_; }
  unsigned long xid() const;

  // The client size while the window is shown; false when it is hidden,
  // closed by the user, gone with its parent or with the server.
  bool VisibleClient(int *width, int *height);

  // Draws the image at (0, 0): memory row 0 at the top, or at the bottom when
  // bottomUp. 1 when drawn.
  int Draw(const DibImage &image, bool bottomUp);

 private:
  PreviewWindow(const QuorelGuiModule *module, QuorelGuiWindow *window, HWND handle);

  const QuorelGuiModule *module_;
  QuorelGuiWindow *window_;
  HWND handle_;
};

// "VideoRenderer_%08x_%08x": the low 32 bits of the camera object's address,
// then the millisecond clock plus one rand() value.
std::string FormPreviewClassName(const void *camera);

}  // namespace quorel
