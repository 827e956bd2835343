// Shared set-up of the camera tests that show real preview windows: an Xvfb
// of the test's own, the GUI module of the build tree, the virtual camera
// with small frames, and the helpers to wait for frames and compare what the
// server shows with the camera's output image.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "x11/X11Probe.h"
#include "x11/XvfbServer.h"

namespace quorel::test {

class CameraWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // A camera on `unit` with a 320 x 240 capture window and a frame-message
  // window (frames_ for the first camera).
  int OpenCamera(int unit = 0);
  // Waits for `count` frame messages on `window`.
  bool WaitFrames(HWND window, int count);
  // The camera's output image, top line first, as red, green, blue.
  RgbPicture Output(int handle, int bitsPerPixel, int width, int height);
  // The newest top-level window titled "Active Window" that was not there
  // when the test started; 0 when none comes within the deadline.
  Window NewTopLevel();
  // Waits until the window shows `expected` exactly; writes a screenshot.
  bool ShowsExactly(Window window, const RgbPicture &expected, const std::string &screenshot);

  static std::unique_ptr<XvfbServer> server_;
  std::unique_ptr<X11Probe> probe_;
  std::vector<Window> topLevelsBefore_;
  std::vector<int> handles_;
  HWND frames_ = nullptr;
};

// Nearest-neighbour scaling of `source` to width x height as the preview
// paints it: column trunc(x * sx), rows counted from the bottom.
RgbPicture ScaleNearest(const RgbPicture &source, int width, int height);

int DifferingPixels(const RgbPicture &a, const RgbPicture &b);

}  // namespace quorel::test
