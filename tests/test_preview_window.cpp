// The library's preview window on a real X server (an Xvfb of the test's
// own), through the public API: which window each start opens, what it
// shows pixel for pixel, and how it copes with bad parents, a user closing
// it, and the server going away. Screenshots land in <build>/screenshots.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "QuorelSim.h"
#include "platform/GuiModule.h"
#include "support/TestEnvironment.h"
#include "x11/CameraWindowFixture.h"

// Under LeakSanitizer: a connection whose X server has gone away cannot be
// asked to free its graphics context, so Xlib's record of it stays behind.
extern "C" __attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:XCreateGC\n";
}

namespace {

using quorel::test::CameraWindowTest;
using quorel::test::RgbPicture;
using quorel::test::X11Probe;
using quorel::test::XvfbServer;

class PreviewWindow : public CameraWindowTest {};

TEST_F(PreviewWindow, DefaultStartOpensACentredTopLevelWindowThatCloseRemoves) {
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_SetColorMode(h, 24), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  const Window window = NewTopLevel();
  ASSERT_NE(window, 0UL) << "no top-level window titled \"Active Window\"";
  EXPECT_TRUE(probe_->Mapped(window));
  EXPECT_TRUE(std::regex_match(probe_->ClassName(window), std::regex("VideoRenderer_[0-9a-f]{8}_[0-9a-f]{8}")))
      << probe_->ClassName(window);
  const auto g = probe_->Geometry(window);
  EXPECT_EQ(g.width, 320);
  EXPECT_EQ(g.height, 240);
  EXPECT_EQ(g.x, (1280 - 320) / 2);
  EXPECT_EQ(g.y, (1024 - 240) / 2);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  EXPECT_TRUE(ShowsExactly(window, Output(h, 24, 320, 240), "preview_24bit_exact.png"));
  // Stopping leaves the window; Close removes it.
  ASSERT_EQ(Quorel_StopPreview(h), 1);
  EXPECT_TRUE(probe_->Exists(window));
  ASSERT_EQ(Quorel_Close(h), 1);
  EXPECT_FALSE(probe_->Exists(window));
}

TEST_F(PreviewWindow, EmptyRectangleMeansNoWindowAndAUnitRectangleTheDeliveredSize) {
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 0, 0), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  EXPECT_EQ(probe_->TopLevelsTitled("Active Window"), topLevelsBefore_);
  ASSERT_EQ(Quorel_Close(h), 1);

  ASSERT_EQ(Quorel_SetSubSample(h, 1), 1);  // half size
  ASSERT_EQ(Quorel_SetPreviewWindow(h, nullptr, 0, 0, 1, 1), 1);
  ASSERT_EQ(Quorel_Preview(h), 1);
  const Window window = NewTopLevel();
  ASSERT_NE(window, 0UL);
  const auto g = probe_->Geometry(window);
  EXPECT_EQ(g.width, 160);
  EXPECT_EQ(g.height, 120);
  EXPECT_EQ(g.x, (1280 - 160) / 2);
  EXPECT_EQ(g.y, (1024 - 120) / 2);
}

TEST_F(PreviewWindow, ChildWindowAtItsRectangleShowsTheScaledPicture) {
  const Window parent = probe_->CreateTopLevel(0, 0, 800, 600);
  HWND wrapped = QuorelHost_WrapX11Window(parent);
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_SetColorMode(h, 24), 1);
  ASSERT_EQ(Quorel_SetPreviewWindow(h, wrapped, 10, 20, 640, 480), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  const auto children = probe_->Children(parent);
  ASSERT_EQ(children.size(), 1U);
  const Window child = children[0];
  const auto g = probe_->Geometry(child);
  EXPECT_EQ(g.x, 10);
  EXPECT_EQ(g.y, 20);
  EXPECT_EQ(g.width, 640);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(probe_->ChildId(child), 6540);
  EXPECT_EQ(probe_->Title(child), "ActiveMovie Window");
  ASSERT_TRUE(WaitFrames(frames_, 3));
  const RgbPicture output = Output(h, 24, 320, 240);
  EXPECT_TRUE(ShowsExactly(child, quorel::test::ScaleNearest(output, 640, 480), "preview_24bit_scaled_up.png"));
  // A resize by someone else (the application, a window manager) is seen
  // from the window's own events: the next frames fit the new size.
  probe_->Resize(child, 200, 130);
  EXPECT_TRUE(ShowsExactly(child, quorel::test::ScaleNearest(output, 200, 130), "preview_24bit_scaled_down.png"));
  ASSERT_EQ(Quorel_Close(h), 1);
  EXPECT_TRUE(probe_->Children(parent).empty());
  QuorelHost_DestroyWindow(wrapped);
}

TEST_F(PreviewWindow, GrayModesShowTheirGrayLevels) {
  const int h = OpenCamera();
  // 8 bits at the exact size: drawn as it is.
  ASSERT_EQ(Quorel_SetColorMode(h, 8), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  Window window = NewTopLevel();
  ASSERT_NE(window, 0UL);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  EXPECT_TRUE(ShowsExactly(window, Output(h, 8, 320, 240), "preview_8bit_exact.png"));
  ASSERT_EQ(Quorel_Close(h), 1);
  // 16 bits: the samples shifted down to 8 bits, through the scaled path.
  topLevelsBefore_ = probe_->TopLevelsTitled("Active Window");
  ASSERT_EQ(Quorel_SetColorMode(h, 16), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  window = NewTopLevel();
  ASSERT_NE(window, 0UL);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  EXPECT_TRUE(ShowsExactly(window, Output(h, 16, 320, 240), "preview_16bit_gray.png"));
}

TEST_F(PreviewWindow, TwoCamerasShowTwoWindowsAtOnce) {
  const int a = OpenCamera(0);
  const int b = OpenCamera(3);
  HWND framesB = QuorelHost_CreateMessageWindow();
  ASSERT_EQ(Quorel_SetColorMode(a, 8), 1);
  ASSERT_EQ(Quorel_SetColorMode(b, 24), 1);
  ASSERT_EQ(Quorel_CallBackPreview(a, frames_, nullptr, 0, 0), 1);
  const Window windowA = NewTopLevel();
  topLevelsBefore_.push_back(windowA);
  ASSERT_EQ(Quorel_CallBackPreview(b, framesB, nullptr, 0, 0), 1);
  const Window windowB = NewTopLevel();
  ASSERT_NE(windowA, 0UL);
  ASSERT_NE(windowB, 0UL);
  ASSERT_NE(windowA, windowB);
  EXPECT_NE(probe_->ClassName(windowA), probe_->ClassName(windowB));
  // Both are centred; side by side, neither hides the other.
  probe_->Move(windowA, 0, 0);
  probe_->Move(windowB, 400, 0);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  ASSERT_TRUE(WaitFrames(framesB, 3));
  EXPECT_TRUE(ShowsExactly(windowA, Output(a, 8, 320, 240), "preview_two_cameras_a.png"));
  EXPECT_TRUE(ShowsExactly(windowB, Output(b, 24, 320, 240), "preview_two_cameras_b.png"));
  QuorelHost_DestroyWindow(framesB);
}

TEST_F(PreviewWindow, TriggerAndRecordOpenTheWindowRecordOnlyWithItsShowFlag) {
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_Trigger(h, frames_, nullptr, 0, 0), 1);
  const Window window = NewTopLevel();
  ASSERT_NE(window, 0UL);
  ASSERT_EQ(QuorelSim_Trigger(0), 1);
  ASSERT_TRUE(WaitFrames(frames_, 1));
  EXPECT_TRUE(ShowsExactly(window, Output(h, 24, 320, 240), "preview_trigger.png"));
  ASSERT_EQ(Quorel_Close(h), 1);

  const std::string avi = quorel::test::ScratchPath("clip.avi");
  ASSERT_EQ(Quorel_Record(h, avi.c_str(), 200, 0), 1);
  EXPECT_EQ(probe_->TopLevelsTitled("Active Window"), topLevelsBefore_);
  ASSERT_EQ(Quorel_Close(h), 1);
  ASSERT_EQ(Quorel_Record(h, avi.c_str(), 200, 1), 1);
  EXPECT_NE(NewTopLevel(), 0UL);
  ASSERT_EQ(Quorel_Close(h), 1);
}

TEST_F(PreviewWindow, BadParentsFailWithCode4AndHugeOrEmptyRectanglesDoNotHarm) {
  const int h = OpenCamera();
  const Window gone = probe_->CreateTopLevel(0, 0, 50, 50);
  HWND goneHandle = QuorelHost_WrapX11Window(gone);
  probe_->Destroy(gone);
  HWND foreign = QuorelHost_WrapX11Window(0x7ffffe);  // no such window on this server
  for (HWND parent : {goneHandle, foreign}) {
    ASSERT_EQ(Quorel_SetPreviewWindow(h, parent, 0, 0, 64, 48), 1);
    EXPECT_EQ(Quorel_Preview(h), 0);
    EXPECT_EQ(Quorel_GetLastError(h), 4);
  }
  const Window parent = probe_->CreateTopLevel(0, 0, 300, 300);
  HWND wrapped = QuorelHost_WrapX11Window(parent);
  for (const int size : {100000, 0, -20}) {
    ASSERT_EQ(Quorel_SetPreviewWindow(h, wrapped, 5, 5, size, size), 1);
    ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1) << size;
    EXPECT_TRUE(WaitFrames(frames_, 2)) << size;
    ASSERT_EQ(Quorel_Close(h), 1);
  }
  // The parent destroyed mid-stream takes the window; frames go on.
  ASSERT_EQ(Quorel_SetPreviewWindow(h, wrapped, 5, 5, 100, 100), 1);
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  ASSERT_TRUE(WaitFrames(frames_, 2));
  probe_->Destroy(parent);
  EXPECT_TRUE(WaitFrames(frames_, 5));
  EXPECT_EQ(Quorel_Close(h), 1);
  for (HWND w : {goneHandle, foreign, wrapped}) QuorelHost_DestroyWindow(w);
}

TEST_F(PreviewWindow, UserClosingTheWindowMidStreamLeavesTheCameraRunning) {
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  const Window window = NewTopLevel();
  ASSERT_NE(window, 0UL);
  ASSERT_TRUE(WaitFrames(frames_, 2));
  probe_->SendDelete(window);
  EXPECT_TRUE(X11Probe::WaitFor([&] { return !probe_->Exists(window); }));
  EXPECT_TRUE(WaitFrames(frames_, 5));
  EXPECT_EQ(Quorel_GetLastError(h), 0);
  EXPECT_EQ(Quorel_Close(h), 1);
}

TEST_F(PreviewWindow, ServerGoingAwayMidStreamLeavesTheCameraRunning) {
  auto own = std::make_unique<XvfbServer>(640, 480);
  ASSERT_TRUE(own->ok()) << own->failure();
  const int h = OpenCamera();
  ASSERT_EQ(Quorel_CallBackPreview(h, frames_, nullptr, 0, 0), 1);
  ASSERT_TRUE(WaitFrames(frames_, 3));
  own->Kill();
  EXPECT_TRUE(WaitFrames(frames_, 10));
  EXPECT_EQ(Quorel_Close(h), 1);
  // Without a reachable display the next start fails cleanly with code 4.
  EXPECT_EQ(Quorel_Preview(h), 0);
  EXPECT_EQ(Quorel_GetLastError(h), 4);
  unsetenv("DISPLAY");
  EXPECT_EQ(Quorel_Preview(h), 0);
  EXPECT_EQ(Quorel_GetLastError(h), 4);
}

// The example program, against a copy of the core library and the module in
// a folder of their own: the module is found beside the core that was
// loaded, not through QUOREL_GUI_MODULE or the build tree. A resize of the
// example's window moves its preview child along.
TEST_F(PreviewWindow, RelocatedLibraryFindsItsModuleAndTheExampleFollowsAResize) {
  namespace fs = std::filesystem;
  const fs::path folder = quorel::test::ScratchPath("relocated");
  fs::create_directories(folder);
  const fs::path core = fs::canonical(QUOREL_SHARED_LIBRARY_PATH);
  const fs::path module = fs::canonical(QUOREL_GUI_MODULE_PATH);
  fs::copy_file(core, folder / "libQuorelSdk_470KX_PLU.so.1");
  fs::copy_file(module, folder / QUOREL_GUI_MODULE_FILE);
  const std::string log = (folder / "gui.log").string();
  const std::string command = "env -u QUOREL_GUI_MODULE LD_LIBRARY_PATH=" + folder.string() +
                              " QUOREL_DEBUG=gui QUOREL_DEBUG_FILE=" + log +
                              " " QUOREL_BINARY_DIR "/examples/preview_window 4";
  FILE *example = popen(command.c_str(), "r");
  ASSERT_NE(example, nullptr);
  char line[256];
  ASSERT_NE(std::fgets(line, sizeof line, example), nullptr);
  EXPECT_EQ(std::string(line).rfind("preview window 0x", 0), 0U) << line;
  Window app = 0;
  ASSERT_TRUE(X11Probe::WaitFor([&] {
    for (Window w : probe_->Children(probe_->root())) {
      if (probe_->WmName(w) == "Quorel preview example") app = w;
    }
    return app != 0;
  }));
  const auto children = probe_->Children(app);
  ASSERT_EQ(children.size(), 1U);
  EXPECT_EQ(probe_->Geometry(children[0]).width, 800 - 40);
  probe_->Resize(app, 500, 400);
  EXPECT_TRUE(X11Probe::WaitFor([&] { return probe_->Geometry(children[0]).width == 460; }));
  EXPECT_EQ(probe_->Geometry(children[0]).height, 360);
  std::string rest;
  while (std::fgets(line, sizeof line, example) != nullptr) rest += line;
  EXPECT_EQ(pclose(example), 0) << rest;
  EXPECT_NE(rest.find("resized to 500x400"), std::string::npos) << rest;
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("GUI module loaded from " + (folder / QUOREL_GUI_MODULE_FILE).string()), std::string::npos)
      << text.str();
}

}  // namespace
