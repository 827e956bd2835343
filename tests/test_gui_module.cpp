// The GUI module on its own: how the core finds and loads it, what it links,
// and its windows on a real X server (an Xvfb of the test's own), driven
// through the module's function table as the camera object drives it.
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/GuiLoader.h"
#include "x11/X11Probe.h"
#include "x11/XvfbServer.h"

// Under LeakSanitizer: a connection whose X server has gone away cannot be
// asked to free its graphics context, so Xlib's record of it stays behind.
extern "C" __attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:XCreateGC\n";
}

namespace {

using quorel::LoadGuiModule;
using quorel::test::RgbPicture;
using quorel::test::X11Probe;
using quorel::test::XvfbServer;

std::string CommandOutput(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

TEST(GuiModuleFiles, CoreLinksNoWindowingLibraryAndTheModuleExportsOnlyItsEntry) {
  const std::string needed = CommandOutput(std::string("readelf -d ") + QUOREL_SHARED_LIBRARY_PATH);
  ASSERT_NE(needed.find("NEEDED"), std::string::npos) << needed;
  for (const char *library : {"libX11", "libXext", "libxcb", "libgtk", "libgdk", "libglib", "libQuorelGui"}) {
    EXPECT_EQ(needed.find(library), std::string::npos) << library << " in\n" << needed;
  }
  const std::string exported = CommandOutput(std::string("nm -D --defined-only ") + QUOREL_GUI_MODULE_PATH);
  EXPECT_EQ(exported.find(" T QuorelGui_GetModule"), exported.rfind(" T "));
  EXPECT_NE(exported.find("QuorelGui_GetModule"), std::string::npos) << exported;
  const std::string soname = CommandOutput(std::string("readelf -d ") + QUOREL_GUI_MODULE_PATH);
  EXPECT_NE(soname.find("[" QUOREL_GUI_MODULE_FILE "]"), std::string::npos) << soname;
}

// One process: the loader retries after failures and keeps a success.
TEST(GuiModuleLoader, RefusesMissingAndForeignFilesThenLoadsTheModule) {
  setenv("QUOREL_GUI_MODULE", "/nonexistent/libQuorelGui.so", 1);
  EXPECT_EQ(quorel::GuiModuleCandidatePath(), "/nonexistent/libQuorelGui.so");
  EXPECT_EQ(LoadGuiModule(), nullptr);
  // A shared object without the entry point (the core library itself).
  setenv("QUOREL_GUI_MODULE", QUOREL_SHARED_LIBRARY_PATH, 1);
  EXPECT_EQ(LoadGuiModule(), nullptr);
  unsetenv("QUOREL_GUI_MODULE");
  // Statically linked, the core's directory is this program's.
  const std::string beside = quorel::GuiModuleCandidatePath();
  EXPECT_NE(beside.find("/tests/" QUOREL_GUI_MODULE_FILE), std::string::npos) << beside;
  setenv("QUOREL_GUI_MODULE", QUOREL_GUI_MODULE_PATH, 1);
  const QuorelGuiModule *module = LoadGuiModule();
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(module->version, QUOREL_GUI_INTERFACE_VERSION);
  EXPECT_GE(module->size, sizeof(QuorelGuiModule));
  EXPECT_EQ(LoadGuiModule(), module);
  // Without a display the module refuses windows cleanly.
  unsetenv("DISPLAY");
  QuorelGuiWindowSpec spec{0, 0, 0, 64, 48, "Active Window", "VideoRenderer_0_0", 0};
  EXPECT_EQ(module->createWindow(&spec), nullptr);
  setenv("DISPLAY", ":99999", 1);
  EXPECT_EQ(module->createWindow(&spec), nullptr);
}

struct WindowDeleter {
  const QuorelGuiModule *module;
  void operator()(QuorelGuiWindow *window) const { module->destroyWindow(window); }
};
using WindowPtr = std::unique_ptr<QuorelGuiWindow, WindowDeleter>;

// A 24-bit test card: every pixel distinct enough to catch a shifted row or
// column, a swapped channel or a flipped picture.
struct Card {
  int width, height, stride, bits;
  std::vector<uint8_t> pixels;
  Card(int w, int h, int bitsPerPixel) : width(w), height(h), bits(bitsPerPixel) {
    stride = (w * bits / 8 + 3) & ~3;
    pixels.assign(static_cast<size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t *p = pixels.data() + static_cast<size_t>(y) * stride + x * bits / 8;
        if (bits == 8) {
          p[0] = static_cast<uint8_t>(x * 7 + y * 13);
        } else {
          p[0] = static_cast<uint8_t>(x * 5);        // blue
          p[1] = static_cast<uint8_t>(y * 3);        // green
          p[2] = static_cast<uint8_t>(x ^ (y * 2));  // red
        }
      }
    }
  }
  QuorelGuiImage Image(int bottomUp) const { return {pixels.data(), width, height, stride, bits, nullptr, bottomUp}; }
  // Red, green, blue of the picture's pixel (x, y), y counted from the top.
  void Expected(int x, int y, int bottomUp, uint8_t rgb[3]) const {
    const int row = bottomUp ? height - 1 - y : y;
    const uint8_t *p = pixels.data() + static_cast<size_t>(row) * stride + x * bits / 8;
    if (bits == 8) {
      rgb[0] = rgb[1] = rgb[2] = p[0];
    } else {
      rgb[0] = p[2];
      rgb[1] = p[1];
      rgb[2] = p[0];
    }
  }
};

int Mismatches(const RgbPicture &picture, const Card &card, int bottomUp, int width, int height) {
  int bad = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t want[3];
      card.Expected(x, y, bottomUp, want);
      const uint8_t *got = picture.At(x, y);
      if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) ++bad;
    }
  }
  return bad;
}

class GuiModuleWindows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = std::make_unique<XvfbServer>(1024, 768);
    setenv("QUOREL_GUI_MODULE", QUOREL_GUI_MODULE_PATH, 1);
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (!XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server_->ok()) << server_->failure();
    setenv("DISPLAY", server_->display().c_str(), 1);
    module_ = LoadGuiModule();
    ASSERT_NE(module_, nullptr);
    probe_ = std::make_unique<X11Probe>();
    ASSERT_TRUE(probe_->ok());
  }

  WindowPtr Create(const QuorelGuiWindowSpec &spec) { return WindowPtr(module_->createWindow(&spec), {module_}); }
  QuorelGuiClientState State(QuorelGuiWindow *window) {
    QuorelGuiClientState state{};
    module_->queryClient(window, &state);
    return state;
  }

  static std::unique_ptr<XvfbServer> server_;
  const QuorelGuiModule *module_ = nullptr;
  std::unique_ptr<X11Probe> probe_;
};

std::unique_ptr<XvfbServer> GuiModuleWindows::server_;

TEST_F(GuiModuleWindows, TopLevelWindowIsCentredTitledClassedAndMapped) {
  QuorelGuiWindowSpec spec{0, 5, 5, 320, 240, "Active Window", "VideoRenderer_0000abcd_00001234", 0};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  const Window xid = module_->windowXid(window.get());
  EXPECT_EQ(probe_->Title(xid), "Active Window");
  EXPECT_EQ(probe_->WmName(xid), "Active Window");
  EXPECT_EQ(probe_->ClassName(xid), "VideoRenderer_0000abcd_00001234");
  EXPECT_TRUE(probe_->Mapped(xid)) << "mapped before createWindow returns";
  const auto g = probe_->Geometry(xid);
  EXPECT_EQ(g.width, 320);
  EXPECT_EQ(g.height, 240);
  EXPECT_EQ(g.x, (1024 - 320) / 2);
  EXPECT_EQ(g.y, (768 - 240) / 2);
  const auto state = State(window.get());
  EXPECT_EQ(state.exists, 1);
  EXPECT_EQ(state.visible, 1);
  EXPECT_EQ(state.width, 320);
  EXPECT_EQ(state.height, 240);
  window.reset();
  EXPECT_FALSE(probe_->Exists(xid)) << "destroyed by the time destroyWindow returns";

  // Larger than the screen: the position becomes 0, not negative.
  spec.width = 2000;
  spec.height = 1000;
  window = Create(spec);
  ASSERT_NE(window, nullptr);
  const auto big = probe_->Geometry(module_->windowXid(window.get()));
  EXPECT_EQ(big.x, 0);
  EXPECT_EQ(big.y, 0);
  EXPECT_EQ(big.width, 2000);
}

TEST_F(GuiModuleWindows, ChildWindowSitsAtItsRectangleWithItsIdentifier) {
  const Window parent = probe_->CreateTopLevel(0, 0, 800, 600);
  QuorelGuiWindowSpec spec{parent, 10, 20, 640, 480, "ActiveMovie Window", "VideoRenderer_1_2", 6540};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  const Window xid = module_->windowXid(window.get());
  EXPECT_EQ(probe_->Children(parent), std::vector<Window>{xid});
  const auto g = probe_->Geometry(xid);
  EXPECT_EQ(g.x, 10);
  EXPECT_EQ(g.y, 20);
  EXPECT_EQ(g.width, 640);
  EXPECT_EQ(g.height, 480);
  EXPECT_EQ(probe_->ChildId(xid), 6540);
  EXPECT_EQ(probe_->Title(xid), "ActiveMovie Window");
  EXPECT_TRUE(probe_->Mapped(xid));

  // The parent goes: the child goes with it; paints are skipped and the
  // destroy still tidies up without an error reaching the application.
  probe_->Destroy(parent);
  EXPECT_TRUE(X11Probe::WaitFor([&] { return State(window.get()).exists == 0; }));
  const Card card(8, 8, 24);
  const QuorelGuiImage image = card.Image(0);
  EXPECT_EQ(module_->paint(window.get(), &image), 0);
  window.reset();
  EXPECT_EQ(X11Probe::ForeignErrors(), 0);
}

TEST_F(GuiModuleWindows, BadParentsAndSizesNeverReachTheApplicationsErrorHandler) {
  // An id that names no window (a destroyed one, or one of another server).
  const Window gone = probe_->CreateTopLevel(0, 0, 10, 10);
  probe_->Destroy(gone);
  QuorelGuiWindowSpec spec{gone, 0, 0, 64, 48, "ActiveMovie Window", "VideoRenderer_1_2", 6540};
  EXPECT_EQ(module_->createWindow(&spec), nullptr);
  spec.parentXid = 0x7fffff;
  EXPECT_EQ(module_->createWindow(&spec), nullptr);

  const Window parent = probe_->CreateTopLevel(0, 0, 200, 200);
  spec.parentXid = parent;
  // No size: the window exists, is never shown, and paints are skipped.
  spec.width = 0;
  spec.height = -5;
  WindowPtr empty = Create(spec);
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(probe_->Mapped(module_->windowXid(empty.get())));
  EXPECT_EQ(State(empty.get()).visible, 0);
  const Card card(16, 16, 24);
  const QuorelGuiImage image = card.Image(0);
  EXPECT_EQ(module_->paint(empty.get(), &image), 0);
  // A huge rectangle is limited to what X can address and still paints.
  spec.width = 100000;
  spec.height = 100000;
  WindowPtr huge = Create(spec);
  ASSERT_NE(huge, nullptr);
  EXPECT_EQ(probe_->Geometry(module_->windowXid(huge.get())).width, 32767);
  EXPECT_EQ(module_->paint(huge.get(), &image), 1);
  // Images that are not paintable are refused.
  QuorelGuiImage bad = image;
  bad.bitsPerPixel = 16;
  EXPECT_EQ(module_->paint(huge.get(), &bad), 0);
  bad = image;
  bad.stride = 3;
  EXPECT_EQ(module_->paint(huge.get(), &bad), 0);
  EXPECT_EQ(module_->paint(huge.get(), nullptr), 0);
  EXPECT_EQ(X11Probe::ForeignErrors(), 0);
}

void ExpectPaintsExactly(GuiModuleWindows &, const QuorelGuiModule *module, X11Probe &probe, QuorelGuiWindow *window,
                         int bits, const std::string &screenshot) {
  const Window xid = module->windowXid(window);
  for (int bottomUp = 0; bottomUp <= 1; ++bottomUp) {
    const Card card(203, 101, bits);  // odd sizes: row padding and the pixel tail
    const QuorelGuiImage image = card.Image(bottomUp);
    ASSERT_EQ(module->paint(window, &image), 1);
    RgbPicture picture;
    ASSERT_TRUE(X11Probe::WaitFor([&] {
      picture = probe.Grab(xid, 203, 101);
      return Mismatches(picture, card, bottomUp, 203, 101) == 0;
    })) << bits
        << " bits, bottomUp " << bottomUp << ": " << Mismatches(picture, card, bottomUp, 203, 101) << " pixels differ";
    if (bottomUp == 0) quorel::test::WritePng(quorel::test::ScreenshotPath(screenshot), picture);
  }
}

TEST_F(GuiModuleWindows, PaintsEightAndTwentyFourBitRowsPixelForPixel) {
  QuorelGuiWindowSpec spec{0, 0, 0, 203, 101, "Active Window", "VideoRenderer_1_2", 0};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  ExpectPaintsExactly(*this, module_, *probe_, window.get(), 24, "gui_module_24bit.png");
  ExpectPaintsExactly(*this, module_, *probe_, window.get(), 8, "gui_module_8bit.png");
}

TEST_F(GuiModuleWindows, PaintsWithoutSharedMemoryToo) {
  // Read when the connection opens: a server of its own gives a new one.
  XvfbServer own(640, 480);
  ASSERT_TRUE(own.ok()) << own.failure();
  setenv("QUOREL_GUI_SHM", "0", 1);
  X11Probe probe;
  QuorelGuiWindowSpec spec{0, 0, 0, 203, 101, "Active Window", "VideoRenderer_1_2", 0};
  WindowPtr window = Create(spec);
  unsetenv("QUOREL_GUI_SHM");
  ASSERT_NE(window, nullptr);
  ExpectPaintsExactly(*this, module_, probe, window.get(), 24, "gui_module_24bit_putimage.png");
  ExpectPaintsExactly(*this, module_, probe, window.get(), 8, "gui_module_8bit_putimage.png");
}

TEST_F(GuiModuleWindows, ImageLargerThanTheClientIsClippedAndResizesAreSeen) {
  QuorelGuiWindowSpec spec{0, 0, 0, 100, 50, "Active Window", "VideoRenderer_1_2", 0};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  const Window xid = module_->windowXid(window.get());
  const Card card(300, 200, 24);
  const QuorelGuiImage image = card.Image(0);
  ASSERT_EQ(module_->paint(window.get(), &image), 1);
  RgbPicture picture;
  EXPECT_TRUE(X11Probe::WaitFor([&] {
    picture = probe_->Grab(xid, 100, 50);
    return Mismatches(picture, card, 0, 100, 50) == 0;
  }));
  probe_->Resize(xid, 250, 150);
  EXPECT_TRUE(X11Probe::WaitFor([&] { return State(window.get()).width == 250; }));
  EXPECT_EQ(State(window.get()).height, 150);
  ASSERT_EQ(module_->paint(window.get(), &image), 1);
  EXPECT_TRUE(X11Probe::WaitFor([&] {
    picture = probe_->Grab(xid, 250, 150);
    return Mismatches(picture, card, 0, 250, 150) == 0;
  }));
}

TEST_F(GuiModuleWindows, UserClosingTheWindowRemovesItAndLaterPaintsAreSkipped) {
  QuorelGuiWindowSpec spec{0, 0, 0, 64, 48, "Active Window", "VideoRenderer_1_2", 0};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  const Window xid = module_->windowXid(window.get());
  probe_->SendDelete(xid);
  EXPECT_TRUE(X11Probe::WaitFor([&] { return State(window.get()).exists == 0; }));
  EXPECT_TRUE(X11Probe::WaitFor([&] { return !probe_->Exists(xid); }));
  const Card card(64, 48, 24);
  const QuorelGuiImage image = card.Image(0);
  EXPECT_EQ(module_->paint(window.get(), &image), 0);
  window.reset();
  EXPECT_EQ(X11Probe::ForeignErrors(), 0);
}

int SharedSegmentsOfThisProcess() {
  FILE *file = std::fopen("/proc/sysvipc/shm", "r");
  if (file == nullptr) return -1;
  char line[512];
  int count = 0;
  const std::string pid = std::to_string(getpid());
  std::fgets(line, sizeof line, file);  // header
  while (std::fgets(line, sizeof line, file) != nullptr) {
    int key, shmid, perms;
    unsigned long size;
    int cpid;
    if (std::sscanf(line, "%d %d %o %lu %d", &key, &shmid, &perms, &size, &cpid) == 5 && cpid == getpid()) ++count;
  }
  std::fclose(file);
  return count;
}

TEST_F(GuiModuleWindows, HundredCreateCloseCyclesLeaveNoWindowOrSegmentBehind) {
  const size_t before = probe_->Children(probe_->root()).size();
  const int segments = SharedSegmentsOfThisProcess();
  const Card card(64, 48, 24);
  const QuorelGuiImage image = card.Image(0);
  const Window parent = probe_->CreateTopLevel(0, 0, 100, 100);
  for (int i = 0; i < 100; ++i) {
    QuorelGuiWindowSpec spec{i % 2 == 0 ? 0 : parent, 1, 2, 64, 48, "Active Window", "VideoRenderer_1_2", 6540};
    WindowPtr window = Create(spec);
    ASSERT_NE(window, nullptr) << i;
    EXPECT_EQ(module_->paint(window.get(), &image), 1);
    EXPECT_EQ(module_->paint(window.get(), &image), 1);
  }
  EXPECT_EQ(probe_->Children(probe_->root()).size(), before + 1);
  EXPECT_TRUE(probe_->Children(parent).empty());
  EXPECT_EQ(SharedSegmentsOfThisProcess(), segments);
}

TEST_F(GuiModuleWindows, ServerGoingAwayMidStreamSkipsPaintsAndANewServerWorks) {
  auto own = std::make_unique<XvfbServer>(320, 240);
  ASSERT_TRUE(own->ok()) << own->failure();
  QuorelGuiWindowSpec spec{0, 0, 0, 64, 48, "Active Window", "VideoRenderer_1_2", 0};
  WindowPtr window = Create(spec);
  ASSERT_NE(window, nullptr);
  const Card card(64, 48, 24);
  const QuorelGuiImage image = card.Image(0);
  EXPECT_EQ(module_->paint(window.get(), &image), 1);
  own->Kill();
  // The process survives the break, whichever call meets it first.
  EXPECT_TRUE(X11Probe::WaitFor([&] {
    module_->paint(window.get(), &image);
    return State(window.get()).exists == 0;
  }));
  EXPECT_EQ(module_->paint(window.get(), &image), 0);
  window.reset();
  // Back on the suite's server a new connection serves new windows.
  setenv("DISPLAY", server_->display().c_str(), 1);
  WindowPtr again = Create(spec);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(module_->paint(again.get(), &image), 1);
}

}  // namespace
