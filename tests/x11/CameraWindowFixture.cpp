#include "x11/CameraWindowFixture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "QuorelSim.h"
#include "support/TestEnvironment.h"

namespace quorel::test {

std::unique_ptr<XvfbServer> CameraWindowTest::server_;

void CameraWindowTest::SetUpTestSuite() {
  server_ = std::make_unique<XvfbServer>(1280, 1024);
  setenv("QUOREL_GUI_MODULE", QUOREL_GUI_MODULE_PATH, 1);
}

void CameraWindowTest::TearDownTestSuite() {
  server_.reset();
}

void CameraWindowTest::SetUp() {
  if (!XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(server_->ok()) << server_->failure();
  setenv("DISPLAY", server_->display().c_str(), 1);
  UseFreshRegistry();
  ASSERT_EQ(QuorelSim_Enable("units=0,3;fps=max;scene=chart"), 1);
  probe_ = std::make_unique<X11Probe>();
  ASSERT_TRUE(probe_->ok());
  topLevelsBefore_ = probe_->TopLevelsTitled("Active Window");
  frames_ = QuorelHost_CreateMessageWindow();
}

void CameraWindowTest::TearDown() {
  for (int handle : handles_) Quorel_Release(handle);
  handles_.clear();
  if (frames_ != nullptr) QuorelHost_DestroyWindow(frames_);
  if (probe_ != nullptr) {
    EXPECT_EQ(X11Probe::ForeignErrors(), 0) << "an X error reached the application's handler";
  }
}

int CameraWindowTest::OpenCamera(int unit) {
  const int handle = Quorel_Initialize(nullptr);
  EXPECT_NE(handle, 0);
  if (handle == 0) return 0;
  handles_.push_back(handle);
  if (unit != 0) {
    EXPECT_EQ(Quorel_SetDeviceNumber(handle, unit), 1);
  }
  EXPECT_EQ(Quorel_SetCaptureWindowEx(handle, 3488, 0, 320, 2616, 0, 240), 1);
  return handle;
}

bool CameraWindowTest::WaitFrames(HWND window, int count) {
  QuorelHostMsg msg{};
  for (int frame = 0; frame < count;) {
    if (QuorelHost_WaitMessage(window, &msg, 20000) != 1) return false;
    if (msg.message == QUOREL_WM_FRAME && msg.wParam != 0) ++frame;
  }
  return true;
}

RgbPicture CameraWindowTest::Output(int handle, int bitsPerPixel, int width, int height) {
  const int bytes = bitsPerPixel / 8;
  const int stride = (width * bytes + 3) & ~3;
  std::vector<uint8_t> buffer(static_cast<size_t>(stride) * height);
  RgbPicture picture;
  if (Quorel_GetImage(handle, buffer.data(), static_cast<int>(buffer.size()), 1) != 1) return picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.resize(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t *p = buffer.data() + static_cast<size_t>(y) * stride + x * bytes;
      uint8_t *out = picture.rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      if (bitsPerPixel == 8) {
        out[0] = out[1] = out[2] = p[0];
      } else if (bitsPerPixel == 16) {
        out[0] = out[1] = out[2] = static_cast<uint8_t>((p[0] | p[1] << 8) >> 4);
      } else {
        out[0] = p[2];
        out[1] = p[1];
        out[2] = p[0];
      }
    }
  }
  return picture;
}

Window CameraWindowTest::NewTopLevel() {
  Window found = 0;
  X11Probe::WaitFor([&] {
    for (Window w : probe_->TopLevelsTitled("Active Window")) {
      if (std::find(topLevelsBefore_.begin(), topLevelsBefore_.end(), w) == topLevelsBefore_.end()) found = w;
    }
    return found != 0;
  });
  return found;
}

bool CameraWindowTest::ShowsExactly(Window window, const RgbPicture &expected, const std::string &screenshot) {
  RgbPicture shown;
  const bool same = X11Probe::WaitFor([&] {
    shown = probe_->Grab(window, expected.width, expected.height);
    return DifferingPixels(shown, expected) == 0;
  });
  WritePng(ScreenshotPath(screenshot), shown);
  if (!same) ADD_FAILURE() << DifferingPixels(shown, expected) << " pixels differ; see " << ScreenshotPath(screenshot);
  return same;
}

RgbPicture ScaleNearest(const RgbPicture &source, int width, int height) {
  RgbPicture out;
  out.width = width;
  out.height = height;
  out.rgb.resize(static_cast<size_t>(width) * height * 3);
  const float sx = static_cast<float>(source.width) / static_cast<float>(width);
  const float sy = static_cast<float>(source.height) / static_cast<float>(height);
  for (int y = 0; y < height; ++y) {
    // The display image holds the picture bottom-up: its memory row
    // height-1-y is on screen row y.
    const int r = std::min(static_cast<int>(static_cast<float>(height - 1 - y) * sy), source.height - 1);
    const int row = source.height - 1 - r;
    for (int x = 0; x < width; ++x) {
      const int column = std::min(static_cast<int>(static_cast<float>(x) * sx), source.width - 1);
      const uint8_t *p = source.At(column, row);
      uint8_t *q = out.rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      q[0] = p[0];
      q[1] = p[1];
      q[2] = p[2];
    }
  }
  return out;
}

int DifferingPixels(const RgbPicture &a, const RgbPicture &b) {
  if (a.width != b.width || a.height != b.height) return std::max(1, b.width * b.height);
  int count = 0;
  for (size_t i = 0; i < a.rgb.size(); i += 3) {
    if (a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2]) ++count;
  }
  return count;
}

}  // namespace quorel::test
