// The camera's side of the preview window, headless: a stand-in GUI module
// records what the camera asks of it, so the choices of the window's
// creation (which window, which size, which names) and of each frame's
// painting (direct or scaled, which depth, when the display image is
// reallocated) are checked without an X server.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSim.h"
#include "camera/CQuorel.h"
#include "platform/GuiLoader.h"
#include "support/TestEnvironment.h"

namespace {

struct Painted {
  const uint8_t *pixels;
  int width, height, bits, bottomUp;
};

// The stand-in module: one window at a time, whose client state the test
// sets; every call is recorded.
struct FakeGui {
  std::mutex mutex;
  bool refuse = false;
  int created = 0;
  int destroyed = 0;
  QuorelGuiWindowSpec spec{};
  std::string title, className;
  QuorelGuiClientState state{1, 1, 0, 0};
  std::vector<Painted> paints;
};
FakeGui *g_fake = nullptr;
int g_window;  // the address is the fake window

QuorelGuiWindow *FakeCreate(const QuorelGuiWindowSpec *spec) {
  std::lock_guard<std::mutex> lock(g_fake->mutex);
  if (g_fake->refuse) return nullptr;
  ++g_fake->created;
  g_fake->spec = *spec;
  g_fake->title = spec->title;
  g_fake->className = spec->className;
  g_fake->state = {1, spec->width > 0 && spec->height > 0, spec->width, spec->height};
  return reinterpret_cast<QuorelGuiWindow *>(&g_window);
}
void FakeDestroy(QuorelGuiWindow *) {
  std::lock_guard<std::mutex> lock(g_fake->mutex);
  ++g_fake->destroyed;
}
unsigned long FakeXid(const QuorelGuiWindow *) {
  return 0x4200001;
}
int FakeQuery(QuorelGuiWindow *, QuorelGuiClientState *state) {
  std::lock_guard<std::mutex> lock(g_fake->mutex);
  *state = g_fake->state;
  return 1;
}
int FakePaint(QuorelGuiWindow *, const QuorelGuiImage *image) {
  std::lock_guard<std::mutex> lock(g_fake->mutex);
  g_fake->paints.push_back({image->pixels, image->width, image->height, image->bitsPerPixel, image->bottomUp});
  return 1;
}

const QuorelGuiModule kFakeModule = {sizeof(QuorelGuiModule),
                                     QUOREL_GUI_INTERFACE_VERSION,
                                     FakeCreate,
                                     FakeDestroy,
                                     FakeXid,
                                     FakeQuery,
                                     FakePaint,
                                     nullptr,
                                     {}};

class PreviewWindowLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    quorel::SetGuiModuleForTesting(&kFakeModule);
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    camera_ = std::make_unique<quorel::CQuorel>();
    ASSERT_EQ(camera_->Initialize(nullptr), 1);
    ASSERT_EQ(camera_->SetCaptureWindowEx(3488, 0, 320, 2616, 0, 240), 1);
  }
  void TearDown() override {
    camera_.reset();
    quorel::SetGuiModuleForTesting(nullptr);
    g_fake = nullptr;
  }

  size_t PaintCount() {
    std::lock_guard<std::mutex> lock(fake_.mutex);
    return fake_.paints.size();
  }
  // Waits until `more` further frames were painted and returns the last.
  Painted WaitPaints(size_t more) {
    const size_t target = PaintCount() + more;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (PaintCount() < target && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard<std::mutex> lock(fake_.mutex);
    EXPECT_GE(fake_.paints.size(), target);
    return fake_.paints.empty() ? Painted{} : fake_.paints.back();
  }
  void SetClient(int width, int height, int visible = 1, int exists = 1) {
    std::lock_guard<std::mutex> lock(fake_.mutex);
    fake_.state = {exists, visible, width, height};
  }

  FakeGui fake_;
  std::unique_ptr<quorel::CQuorel> camera_;
};

TEST_F(PreviewWindowLogic, TopLevelWindowTakesTheDeliveredSizeAndANamedClass) {
  ASSERT_EQ(camera_->SetSubSample(1), 1);  // half size by skipping
  ASSERT_EQ(camera_->SetPreviewWindow(nullptr, 0, 0, 1, 1), 1);
  ASSERT_EQ(camera_->Preview(), 1);
  EXPECT_EQ(fake_.created, 1);
  EXPECT_EQ(fake_.spec.parentXid, 0UL);
  EXPECT_EQ(fake_.title, "Active Window");
  EXPECT_EQ(fake_.spec.width, 160);
  EXPECT_EQ(fake_.spec.height, 120);
  EXPECT_TRUE(std::regex_match(fake_.className, std::regex("VideoRenderer_[0-9a-f]{8}_[0-9a-f]{8}")))
      << fake_.className;
  EXPECT_EQ(camera_->windowClassName(), fake_.className);
  char low[9];
  std::snprintf(low, sizeof low, "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(camera_.get())));
  EXPECT_EQ(fake_.className.substr(14, 8), low) << "the camera object's low address bits";
  // The exact size: the 24-bit output drawn as it is, top line first.
  const Painted p = WaitPaints(2);
  EXPECT_EQ(p.bits, 24);
  EXPECT_EQ(p.width, 160);
  EXPECT_EQ(p.bottomUp, 0);
  ASSERT_EQ(camera_->Close(), 1);
  EXPECT_EQ(fake_.destroyed, 1);
  EXPECT_EQ(camera_->windowClassName(), "");
}

TEST_F(PreviewWindowLogic, ChildWindowOfARegisteredParentAndParentsThatAreNoWindow) {
  HWND parent = QuorelHost_WrapX11Window(0x1234567);
  ASSERT_EQ(camera_->SetPreviewWindow(parent, 10, 20, 640, 480), 1);
  ASSERT_EQ(camera_->Preview(), 1);
  EXPECT_EQ(fake_.spec.parentXid, 0x1234567UL);
  EXPECT_EQ(fake_.spec.left, 10);
  EXPECT_EQ(fake_.spec.top, 20);
  EXPECT_EQ(fake_.spec.width, 640);
  EXPECT_EQ(fake_.spec.height, 480);
  EXPECT_EQ(fake_.spec.childId, 6540);
  EXPECT_EQ(fake_.title, "ActiveMovie Window");
  ASSERT_EQ(camera_->Close(), 1);
  QuorelHost_DestroyWindow(parent);

  // A message window, a destroyed window and a made-up handle name no X11
  // window: code 4 before the module is asked.
  HWND message = QuorelHost_CreateMessageWindow();
  int bogus = 0;
  for (HWND bad : {message, parent, reinterpret_cast<HWND>(&bogus)}) {
    ASSERT_EQ(camera_->SetPreviewWindow(bad, 0, 0, 64, 48), 1);
    EXPECT_EQ(camera_->Preview(), 0);
    EXPECT_EQ(camera_->GetLastError(), 4);
  }
  EXPECT_EQ(fake_.created, 1);
  QuorelHost_DestroyWindow(message);
}

TEST_F(PreviewWindowLogic, NoWindowWantedOrNoneMadeFollowTheStartsRules) {
  // Null parent and four zeros: no window, preview runs.
  ASSERT_EQ(camera_->SetPreviewWindow(nullptr, 0, 0, 0, 0), 1);
  ASSERT_EQ(camera_->Preview(), 1);
  EXPECT_EQ(fake_.created, 0);
  ASSERT_EQ(camera_->StopPreview(), 1);

  // The module refuses: every start that shows video fails with code 4.
  fake_.refuse = true;
  ASSERT_EQ(camera_->SetPreviewWindow(nullptr, 0, 0, 1, 1), 1);
  EXPECT_EQ(camera_->Preview(), 0);
  EXPECT_EQ(camera_->GetLastError(), 4);
  EXPECT_EQ(camera_->CallBackPreview(nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(camera_->GetLastError(), 4);
  EXPECT_EQ(camera_->Trigger(nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(camera_->GetLastError(), 4);
  const std::string avi = quorel::test::ScratchPath("clip.avi");
  EXPECT_EQ(camera_->Record(avi.c_str(), 100, 1), 0);
  EXPECT_EQ(camera_->GetLastError(), 4);
  // Without the show flag the recording needs no window.
  ASSERT_EQ(camera_->Record(avi.c_str(), 100, 0), 1);
  ASSERT_EQ(camera_->Close(), 1);
}

TEST_F(PreviewWindowLogic, PaintPathsByColourModeAndClientSize) {
  ASSERT_EQ(camera_->SetPreviewWindow(nullptr, 0, 0, 1, 1), 1);
  struct Expect {
    int bits, paintedBits, bottomUp;
  };
  // At the exact size every mode but 16-bit gray is drawn directly from its
  // 8- or 24-bit image; 16-bit gray goes through the scaled 8-bit path.
  for (const Expect e : {Expect{8, 8, 0}, Expect{16, 8, 1}, Expect{24, 24, 0}, Expect{32, 24, 0}, Expect{48, 24, 0},
                         Expect{64, 24, 0}}) {
    ASSERT_EQ(camera_->SetColorMode(e.bits), 1);
    ASSERT_EQ(camera_->Preview(), 1);
    const Painted p = WaitPaints(2);
    EXPECT_EQ(p.bits, e.paintedBits) << e.bits;
    EXPECT_EQ(p.bottomUp, e.bottomUp) << e.bits;
    EXPECT_EQ(p.width, 320) << e.bits;
    EXPECT_EQ(p.height, 240) << e.bits;
    // Another client size: every mode is scaled into the display image.
    SetClient(200, 100);
    const Painted scaled = WaitPaints(2);
    EXPECT_EQ(scaled.bits, e.paintedBits) << e.bits;
    EXPECT_EQ(scaled.bottomUp, 1) << e.bits;
    EXPECT_EQ(scaled.width, 200) << e.bits;
    EXPECT_EQ(scaled.height, 100) << e.bits;
    ASSERT_EQ(camera_->Close(), 1);
  }
}

TEST_F(PreviewWindowLogic, AResizeReallocatesTheDisplayImageOnceAndHiddenWindowsAreSkipped) {
  ASSERT_EQ(camera_->SetColorMode(24), 1);
  ASSERT_EQ(camera_->SetPreviewWindow(nullptr, 0, 0, 1, 1), 1);
  HWND frames = QuorelHost_CreateMessageWindow();
  ASSERT_EQ(camera_->CallBackPreview(frames, nullptr, 0, 0), 1);
  SetClient(300, 200);
  WaitPaints(3);
  SetClient(150, 90);
  const size_t before = PaintCount();
  WaitPaints(6);
  std::vector<Painted> after;
  {
    std::lock_guard<std::mutex> lock(fake_.mutex);
    after.assign(fake_.paints.begin() + static_cast<long>(before), fake_.paints.end());
  }
  // At most one frame in flight still saw the old size; from then on one
  // display image at the new size serves every frame.
  while (!after.empty() && after.front().width != 150) after.erase(after.begin());
  ASSERT_GE(after.size(), 5U);
  for (const Painted &p : after) {
    EXPECT_EQ(p.pixels, after.front().pixels);
    EXPECT_EQ(p.width, 150);
    EXPECT_EQ(p.height, 90);
  }

  // Hidden, empty or gone: frames go on, nothing is painted.
  for (const QuorelGuiClientState state :
       {QuorelGuiClientState{1, 0, 150, 90}, QuorelGuiClientState{1, 1, 0, 90}, QuorelGuiClientState{0, 0, 0, 0}}) {
    SetClient(state.width, state.height, state.visible, state.exists);
    // The frame lock orders this with the worker: a frame painting now
    // finishes before GetImage returns, and every later one sees the state.
    unsigned char byte = 0;
    camera_->GetImage(&byte, 1, 0);
    const size_t painted = PaintCount();
    QuorelHostMsg msg{};
    while (QuorelHost_PeekMessage(frames, &msg) == 1) {
    }
    for (int frame = 0; frame < 3;) {
      ASSERT_EQ(QuorelHost_WaitMessage(frames, &msg, 10000), 1);
      if (msg.message == QUOREL_WM_FRAME && msg.wParam != 0) ++frame;
    }
    EXPECT_EQ(PaintCount(), painted);
  }
  ASSERT_EQ(camera_->Close(), 1);
  QuorelHost_DestroyWindow(frames);
}

}  // namespace
