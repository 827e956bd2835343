// The three dialogs as real GTK windows on an X server of the test's own
// (Xvfb), in English and Japanese: opened through the exports on the virtual
// camera, driven through their widgets and keys, checked end to end in the
// camera and the settings file. Each dialog leaves a PNG screenshot in the
// build folder (dialog_<kind>_<en|ja>.png).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "dialogs/DialogIds.h"
#include "platform/DebugLog.h"
#include "platform/GuiDialogs.h"
#include "platform/GuiLoader.h"
#include "platform/RegistryFile.h"
#include "support/TestEnvironment.h"
#include "x11/X11Probe.h"
#include "x11/XvfbServer.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// Under LeakSanitizer: GTK and the libraries under it (fonts, D-Bus, GLib's
// type system and caches) keep memory for the life of the process on purpose.
extern "C" __attribute__((visibility("default"), used)) const char *__lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\n"
         "leak:libpango\nleak:libharfbuzz.so\nleak:libcairo.so\nleak:libpixman\nleak:libgio-2.0.so\n"
         "leak:libgdk_pixbuf\nleak:libatk\nleak:libepoxy.so\nleak:libdconf\nleak:gtk_init_check\n";
}

namespace {

using namespace quorel::dialog_id;
using quorel::test::X11Probe;
using quorel::test::XvfbServer;
using Api = QuorelGuiDialogTestApi;

const std::string kCamera00 = "Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00";
// Windows of a dialog: the frame, then the pages of its tabs.
constexpr int kFrame = 0;
constexpr int kFirstPage = 1;
constexpr int kSecondPage = 2;

// A key pressed and released on the keyboard of the X server (XTest), with
// the dialog focused as a window manager focuses a new dialog; then the
// dialog handles what arrived.
void PressKey(X11Probe &probe, const Api &api, KeySym key) {
  Display *display = probe.display();
  XSetInputFocus(display, api.dialogXid(), RevertToParent, CurrentTime);
  const KeyCode code = XKeysymToKeycode(display, key);
  XTestFakeKeyEvent(display, code, True, CurrentTime);
  XTestFakeKeyEvent(display, code, False, CurrentTime);
  XSync(display, False);
  api.settle();
}

std::string Screenshot(const std::string &name) {
  return std::string(QUOREL_BINARY_DIR) + "/dialog_" + name + ".png";
}

bool IsPng(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  char magic[8] = {};
  in.read(magic, sizeof magic);
  return in.gcount() == 8 && std::string(magic + 1, 3) == "PNG";
}

class GuiDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!XvfbServer::Installed()) return;
    server_ = std::make_unique<XvfbServer>();
    setenv("QUOREL_GUI_MODULE", QUOREL_GUI_MODULE_PATH, 1);
  }
  static void TearDownTestSuite() { server_.reset(); }

  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(server_->ok()) << server_->failure();
    const QuorelGuiModule *module = quorel::LoadGuiModule();
    ASSERT_NE(module, nullptr);
    ASSERT_NE(module->dialogTable, nullptr);
    table_ = module->dialogTable();
    ASSERT_NE(table_, nullptr);
    setenv("LC_ALL", "C.UTF-8", 1);  // English unless a test asks for Japanese
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    window_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(window_);
    ASSERT_NE(handle_, 0);
    ASSERT_TRUE(probe_.ok());
  }
  void TearDown() override {
    if (handle_ != 0) Quorel_Release(handle_);
    if (window_ != nullptr) QuorelHost_DestroyWindow(window_);
    unsetenv("LC_ALL");
  }

  using Hook = std::function<void(const Api &)>;
  // Opens a dialog with `open`, runs `hook` on the real widgets once it is
  // shown, and returns the export's result.
  int RunDialog(int (*open)(int, HWND), HWND owner, Hook hook) {
    bool ran = false;
    Hook wrapped = [&](const Api &api) {
      ran = true;
      hook(api);
    };
    table_->setTestHook([](void *context, const Api *api) { (*static_cast<Hook *>(context))(*api); }, &wrapped);
    const int result = open(handle_, owner);
    table_->setTestHook(nullptr, nullptr);
    EXPECT_TRUE(ran) << "the dialog was not shown";
    return result;
  }
  int Filter(int id) {
    int ok = 0;
    const int value = Quorel_GetFilterValue(handle_, id, &ok);
    EXPECT_EQ(ok, 1) << id;
    return value;
  }
  std::optional<int32_t> Stored(const std::string &key, const char *name) {
    return quorel::RegistrySnapshot().QueryDword(key, name);
  }

  static std::unique_ptr<XvfbServer> server_;
  const QuorelGuiDialogTable *table_ = nullptr;
  X11Probe probe_;
  HWND window_ = nullptr;
  int handle_ = 0;
};

std::unique_ptr<XvfbServer> GuiDialogs::server_;

TEST_F(GuiDialogs, CameraDialogOwnedByAnApplicationWindowApplyCancelAndOk) {
  const Window ownerXid = probe_.CreateTopLevel(10, 10, 320, 240);
  HWND owner = QuorelHost_WrapX11Window(ownerXid);
  ASSERT_NE(owner, nullptr);
  int result = RunDialog(Quorel_SetCameraDlg, owner, [&](const Api &api) {
    EXPECT_EQ(probe_.Title(api.dialogXid()), "Property");
    EXPECT_EQ(api.transientForXid(), ownerXid);
    EXPECT_STREQ(api.widgetText(kFrame, kColorList), "Color 24bit");
    EXPECT_STREQ(api.widgetText(kFrame, kClockList), "High(48MHz)");
    EXPECT_STREQ(api.widgetText(kFrame, kCancel), "Cancel");
    EXPECT_EQ(api.widgetSensitive(kFrame, kApply), 0);
    EXPECT_EQ(api.screenshot(Screenshot("camera_en").c_str()), 1);
    EXPECT_EQ(api.chooseItem(kFrame, kColorList, 0), 1);
    EXPECT_EQ(api.setEntryText(kFrame, kWaitTime, "5"), 1);
    EXPECT_EQ(api.widgetSensitive(kFrame, kApply), 1);
    EXPECT_EQ(api.setEntryText(kFrame, kHTotal, "9"), 0) << "read-only";
    EXPECT_EQ(api.clickButton(kFrame, kApply), 1);
    EXPECT_EQ(api.widgetSensitive(kFrame, kApply), 0);
    EXPECT_EQ(Stored(kCamera00, "Color"), 0);
    EXPECT_EQ(Stored(kCamera00, "WaitTime"), 5);
    api.chooseItem(kFrame, kSubSampleList, 4);  // 1/4 Bin, then cancelled
    PressKey(probe_, api, XK_Escape);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Stored(kCamera00, "SubSample"), 0);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 24) << "Cancel: the camera does not reload";
  EXPECT_TRUE(IsPng(Screenshot("camera_en")));

  // Enter presses OK: the camera reloads what the dialog saved.
  result = RunDialog(Quorel_SetCameraDlg, nullptr, [&](const Api &api) {
    EXPECT_EQ(api.transientForXid(), 0u);
    EXPECT_STREQ(api.widgetText(kFrame, kColorList), "Monochrome 8bit");
    api.chooseItem(kFrame, kSubSampleList, 4);
    PressKey(probe_, api, XK_Return);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 8);
  EXPECT_EQ(Quorel_GetSubSample(handle_), 18);
  EXPECT_EQ(Quorel_GetWaitTime(handle_), 5);
  QuorelHost_DestroyWindow(owner);
  probe_.Destroy(ownerXid);
}

TEST_F(GuiDialogs, CameraDialogInJapanese) {
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  const int result = RunDialog(Quorel_SetCameraDlg, nullptr, [&](const Api &api) {
    EXPECT_EQ(probe_.Title(api.dialogXid()), "Property");
    EXPECT_STREQ(api.widgetText(kFrame, kColorList), "カラー 24bit");
    EXPECT_STREQ(api.widgetText(kFrame, kClockList), "高速(48MHz)");
    EXPECT_STREQ(api.widgetText(kFrame, kCancel), "キャンセル");
    EXPECT_EQ(api.screenshot(Screenshot("camera_ja").c_str()), 1);
    api.chooseItem(kFrame, kClockList, 0);
    EXPECT_EQ(api.closeWindow(), 1);  // the window's close button cancels
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Stored(kCamera00, "Clock"), 2);
  EXPECT_TRUE(IsPng(Screenshot("camera_ja")));
}

TEST_F(GuiDialogs, ImageDialogLiveEditingDefaultAndCancelInBothLanguages) {
  ASSERT_EQ(Quorel_SetBrightness(handle_, 12), 1);
  int result = RunDialog(Quorel_SetImageDlg, nullptr, [&](const Api &api) {
    EXPECT_EQ(api.widgetActive(kFrame, kTab), 0);
    EXPECT_EQ(api.switchTab(1), 0) << "colour images have one tab";
    EXPECT_EQ(api.setSlider(kFirstPage, 2001, 100), 1);
    EXPECT_STREQ(api.widgetText(kFirstPage, 2002), "100");
    EXPECT_EQ(Filter(1), 100);
    EXPECT_EQ(api.setEntryText(kFirstPage, 2012, "-30"), 1);
    EXPECT_EQ(Filter(2), -30);
    EXPECT_EQ(api.widgetActive(kFirstPage, 2011), -30);
    EXPECT_EQ(api.spin(kFirstPage, 2014, +1), 1);
    EXPECT_EQ(Filter(2), -29);
    EXPECT_EQ(api.clickButton(kFirstPage, kOnce), 1);
    EXPECT_EQ(Filter(10), 1);
    EXPECT_EQ(api.screenshot(Screenshot("image_en").c_str()), 1);
    EXPECT_EQ(api.clickButton(kFrame, kDefault), 1);
    EXPECT_STREQ(api.widgetText(kFirstPage, 2002), "0");
    EXPECT_EQ(api.widgetActive(kFirstPage, kBayerMode0 + 3), 1);
    EXPECT_EQ(api.clickButton(kFrame, kCancel), 1);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Filter(1), 12);
  EXPECT_EQ(Filter(2), 0);
  EXPECT_EQ(Filter(10), 0);

  // Gray images in Japanese: the second tab, and OK keeps the edits.
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  result = RunDialog(Quorel_SetImageDlg, nullptr, [&](const Api &api) {
    EXPECT_EQ(api.widgetSensitive(kFirstPage, 2021), 0) << "no hue for gray images";
    EXPECT_EQ(api.setSlider(kFirstPage, 2021, 10), 0);
    EXPECT_STREQ(api.widgetText(kFrame, kDefault), "初期値(D)");
    EXPECT_EQ(api.switchTab(1), 1);
    EXPECT_EQ(api.clickButton(kSecondPage, kGrayModeGrayscale), 1);
    EXPECT_EQ(api.widgetActive(kSecondPage, kGrayModeBayer), 0);
    EXPECT_EQ(api.clickButton(kSecondPage, kAllFrames), 1);
    EXPECT_EQ(api.clickButton(kSecondPage, kAllFrames), 1);
    EXPECT_EQ(Filter(28), 0);
    EXPECT_EQ(api.setSlider(kSecondPage, 2103, 200), 1);
    EXPECT_EQ(api.screenshot(Screenshot("image_ja").c_str()), 1);
    PressKey(probe_, api, XK_Return);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Filter(19), 2);
  EXPECT_EQ(Filter(21), 200);
  EXPECT_TRUE(IsPng(Screenshot("image_en")));
  EXPECT_TRUE(IsPng(Screenshot("image_ja")));
}

TEST_F(GuiDialogs, AnalogDialogWritesTheSensorDefaultOkAndCancel) {
  ASSERT_EQ(Quorel_SetHalfClock(handle_, 0), 1);
  int ok = 0;
  Quorel_GetRealExposureTime(handle_, &ok);
  int result = RunDialog(Quorel_SetAnalogDlg, nullptr, [&](const Api &api) {
    EXPECT_STREQ(api.widgetText(kFirstPage, kExposureReadout), "=299.44ms");
    EXPECT_EQ(api.setEntryText(kFirstPage, kGlobalGainEdit, "50"), 1);
    EXPECT_STREQ(api.widgetText(kFirstPage, 1023), "50");
    EXPECT_EQ(Filter(17), 50);
    EXPECT_EQ(api.spin(kFirstPage, 1038, +1), 1);
    EXPECT_EQ(Filter(13), 51);
    EXPECT_EQ(Filter(14), 51);
    EXPECT_EQ(api.clickButton(kFirstPage, kIrisExposure), 1);
    EXPECT_EQ(api.clickButton(kFirstPage, kIrisGain), 1);
    EXPECT_EQ(api.widgetActive(kFirstPage, kIrisExposure), 0);
    EXPECT_EQ(api.setSlider(kFirstPage, 1026, 1000), 1);
    EXPECT_STREQ(api.widgetText(kFirstPage, kExposureReadout), "=152.00ms");
    EXPECT_EQ(api.screenshot(Screenshot("analog_en").c_str()), 1);
    EXPECT_EQ(api.clickButton(kFrame, kCancel), 1);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Filter(18), 1970);
  EXPECT_EQ(Filter(13), 32);
  EXPECT_EQ(Quorel_GetAutoIris(handle_, nullptr), 0);

  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  ASSERT_EQ(Quorel_SetMirrorV(handle_, 1), 1);
  result = RunDialog(Quorel_SetAnalogDlg, nullptr, [&](const Api &api) {
    EXPECT_STREQ(api.widgetText(kFirstPage, kMirrorV), "上下反転");
    EXPECT_EQ(api.widgetActive(kFirstPage, kMirrorV), 1);
    api.setEntryText(kFirstPage, 1027, "3000");
    EXPECT_EQ(api.clickButton(kFrame, kDefault), 1);
    EXPECT_STREQ(api.widgetText(kFirstPage, 1027), "1970");
    EXPECT_EQ(api.widgetActive(kFirstPage, kMirrorV), 1);
    api.setEntryText(kFirstPage, 1021, "77");
    EXPECT_EQ(api.screenshot(Screenshot("analog_ja").c_str()), 1);
    PressKey(probe_, api, XK_Return);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(Filter(14), 77);
  EXPECT_EQ(Filter(18), 1970);
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 1);
  EXPECT_TRUE(IsPng(Screenshot("analog_en")));
  EXPECT_TRUE(IsPng(Screenshot("analog_ja")));
}

// GTK belongs to the thread that showed the first dialog; another thread is
// refused with code 1 and a line in the debug log.
TEST_F(GuiDialogs, ADialogFromAnotherThreadIsRefused) {
  RunDialog(Quorel_SetImageDlg, nullptr, [this](const Api &api) { PressKey(probe_, api, XK_Escape); });
  const std::string log = quorel::test::ScratchPath("dialogs.log");
  quorel::LogConfigure("gui:1", log.c_str());
  int result = -1;
  std::thread other([&] { result = Quorel_SetAnalogDlg(handle_, nullptr); });
  other.join();
  quorel::LogConfigure(nullptr, nullptr);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("another thread"), std::string::npos) << text.str();
}

}  // namespace
