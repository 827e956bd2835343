// The three dialog exports on the virtual camera, driven headlessly by the
// scripted driver: what each does to acquisition, the camera's blocks, the
// sensor and the settings file on OK, Cancel, Apply and Default.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "api/CSdkChain.h"
#include "camera/CQuorel.h"
#include "dialogs/DialogIds.h"
#include "dialogs/ScriptedDialogDriver.h"
#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace {

using namespace quorel::dialog_id;
using Driver = quorel::ScriptedDialogDriver;

const std::string kCamera00 = "Software\\Velmor\\Quorel470KXPLUSdk\\Camera_00";

std::vector<int> History(int handle) {
  std::vector<int> codes;
  for (int code; (code = Quorel_GetLastError(handle)) != 0;) codes.push_back(code);
  return codes;
}

class CameraDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    window_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(window_);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_GetLastError(handle_), 0);
  }
  void TearDown() override {
    if (handle_ != 0) Quorel_Release(handle_);
    QuorelHost_DestroyWindow(window_);
  }
  int Filter(int id) {
    int ok = 0;
    const int value = Quorel_GetFilterValue(handle_, id, &ok);
    EXPECT_EQ(ok, 1) << id;
    return value;
  }
  HWND window_ = nullptr;
  int handle_ = 0;
};

TEST_F(CameraDialogs, CameraDialogAppliesToTheRegistryAndTheCameraReloadsOnlyAfterOk) {
  HWND owner = QuorelHost_CreateMessageWindow();
  Driver driver([](Driver &d) {
    // The first run wrote one preset and the format values.
    EXPECT_EQ(d.Items(kSizeList), (std::vector<std::string>{"3488 x 2616", "Custom"}));
    d.SelectText(kSizeList, "Custom");
    d.Type(kHEffective, "1000");
    d.Type(kVEffective, "800");
    d.Type(kHStart, "100");
    d.Type(kVStart, "100");
    d.SelectText(kColorList, "Monochrome 8bit");
    d.Click(kApply);
    EXPECT_EQ(d.Items(kSizeList), (std::vector<std::string>{"3488 x 2616", "1000 x 800", "Custom"}));
    d.Click(kCancel);
  });
  EXPECT_EQ(Quorel_SetCameraDlg(handle_, owner), 1);
  EXPECT_EQ(driver.LastOwner(), owner);
  EXPECT_EQ(quorel::RegistrySnapshot().QueryDword(kCamera00 + "\\Size_01", "EH"), 1000);
  EXPECT_EQ(quorel::RegistrySnapshot().QueryDword(kCamera00 + "\\Size_01", "Buf"), 4);
  EXPECT_EQ(quorel::RegistrySnapshot().QueryDword(kCamera00, "Size"), 1);
  // Cancel after Apply: saved, but the camera keeps its format.
  EXPECT_EQ(Quorel_Width(handle_), 3488);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 24);

  driver.SetScript([](Driver &d) {
    EXPECT_EQ(d.SelectedText(kSizeList), "1000 x 800");
    EXPECT_EQ(d.SelectedText(kColorList), "Monochrome 8bit");
    d.SelectText(kSubSampleList, "1/2 Bin");
    d.Type(kWaitTime, "7");
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetCameraDlg(handle_, nullptr), 1);
  EXPECT_EQ(Quorel_Width(handle_), 1000);
  EXPECT_EQ(Quorel_Height(handle_), 800);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 8);
  EXPECT_EQ(Quorel_GetSubSample(handle_), 17);
  EXPECT_EQ(Quorel_GetWaitTime(handle_), 7);
  int hStart = -1;
  Quorel_GetCaptureWindowEx(handle_, nullptr, &hStart, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(hStart, 100);
  EXPECT_TRUE(History(handle_).empty());
  // The new geometry is used at the next preparation.
  std::vector<unsigned char> frame(500 * 400);
  EXPECT_EQ(Quorel_SnapShot(handle_, frame.data(), static_cast<int>(frame.size()), 1), 1);
  QuorelHost_DestroyWindow(owner);
}

TEST_F(CameraDialogs, ImageDialogEditsTheBlockLiveAndCancelRestoresIt) {
  ASSERT_EQ(Quorel_SetBrightness(handle_, 12), 1);
  Driver driver([this](Driver &d) {
    EXPECT_EQ(d.Items(kTab), std::vector<std::string>{"Image Filter"});  // colour mode 24
    d.MoveTrackbar(2001, 100);
    EXPECT_EQ(Filter(1), 100) << "live in the camera";
    d.Click(kDefault);
    EXPECT_EQ(Filter(1), 0);
    EXPECT_EQ(Filter(12), 3);
    d.Click(kOnce);
    EXPECT_EQ(Filter(10), 1);
    d.Click(kCancel);
  });
  EXPECT_EQ(Quorel_SetImageDlg(handle_, nullptr), 1);
  EXPECT_EQ(Filter(1), 12);
  EXPECT_EQ(Filter(10), 0) << "the automatic request goes too";

  // OK keeps the edits; a gray colour mode brings the gray page.
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  driver.SetScript([](Driver &d) {
    EXPECT_EQ(d.Items(kTab).size(), 2u);
    d.Type(2012, "-50");
    d.SelectTab(1);
    d.Click(kGrayModeConvert);
    d.MoveTrackbar(2100, 64);
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetImageDlg(handle_, nullptr), 1);
  EXPECT_EQ(Filter(2), -50);
  EXPECT_EQ(Filter(19), 1);
  EXPECT_EQ(Filter(20), 64);
  EXPECT_TRUE(History(handle_).empty());
}

TEST_F(CameraDialogs, AnalogDialogWritesTheSensorAndCancelWritesTheOpeningValuesBack) {
  ASSERT_EQ(Quorel_SetExposureTime(handle_, 1970), 1);
  ASSERT_EQ(Quorel_SetGlobalGain(handle_, 20), 1);
  ASSERT_EQ(Quorel_SetHalfClock(handle_, 0), 1);  // the first run stored the high clock
  int ok = 0;
  ASSERT_EQ(Quorel_GetRealExposureTime(handle_, &ok), 299439);  // the conversion the read-out uses
  Driver driver([this](Driver &d) {
    EXPECT_EQ(d.Text(kExposureReadout), "=299.44ms");
    EXPECT_EQ(d.Text(kGlobalGainEdit), "20");
    d.Type(kGlobalGainEdit, "50");
    EXPECT_EQ(Filter(13), 50) << "global gain register";
    EXPECT_EQ(Filter(14), 50);
    EXPECT_EQ(Filter(15), 50);
    EXPECT_EQ(Filter(16), 50);
    EXPECT_EQ(Filter(17), 50);
    d.MoveTrackbar(1026, 4000);
    EXPECT_EQ(Filter(18), 4000) << "exposure register";
    d.Click(kMirrorV);
    EXPECT_EQ(Quorel_GetMirrorV(handle_), 1);
    d.Click(kIrisGain);
    EXPECT_EQ(Quorel_GetAutoIris(handle_, nullptr), 2);
    d.Click(kCancel);
  });
  EXPECT_EQ(Quorel_SetAnalogDlg(handle_, nullptr), 1);
  EXPECT_EQ(Filter(18), 1970);
  EXPECT_EQ(Filter(13), 20);
  EXPECT_EQ(Filter(14), 32) << "the register as read at opening (the global gain export writes only its own)";
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 0);
  EXPECT_EQ(Quorel_GetAutoIris(handle_, nullptr), 0);

  // Default puts the sensor's defaults in place and leaves mirroring; OK keeps.
  ASSERT_EQ(Quorel_SetMirrorV(handle_, 1), 1);
  driver.SetScript([](Driver &d) {
    EXPECT_TRUE(d.Checked(kMirrorV));
    d.Click(kDefault);
    EXPECT_TRUE(d.Checked(kMirrorV));
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetAnalogDlg(handle_, nullptr), 1);
  EXPECT_EQ(Filter(13), 32);
  EXPECT_EQ(Filter(17), 32);
  EXPECT_EQ(Filter(18), 1970);
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 1);
  EXPECT_TRUE(History(handle_).empty());
}

TEST_F(CameraDialogs, ASecondDialogOfTheSameKindIsRefusedWhileOneRuns) {
  Driver driver([this](Driver &d) {
    EXPECT_EQ(Quorel_SetImageDlg(handle_, nullptr), 0);
    EXPECT_EQ(Quorel_GetLastError(handle_), 1);
    // Another kind may open meanwhile (a nested modal dialog).
    d.MoveTrackbar(2001, 40);
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetImageDlg(handle_, nullptr), 1);
  EXPECT_EQ(driver.Runs(), 1);
  EXPECT_EQ(Filter(1), 40);
  // Invalid handles record nothing.
  EXPECT_EQ(Quorel_SetCameraDlg(handle_ + 1, nullptr), 0);
  EXPECT_EQ(Quorel_SetImageDlg(handle_ + 1, nullptr), 0);
  EXPECT_EQ(Quorel_SetAnalogDlg(handle_ + 1, nullptr), 0);
  EXPECT_TRUE(History(handle_).empty());
}

// Waits for the next frame message on `window`; its record when one came.
const QuorelFrameInfo *NextFrame(HWND window) {
  QuorelHostMsg msg{};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    if (QuorelHost_WaitMessage(window, &msg, 1000) == 1 && msg.message == QUOREL_WM_FRAME && msg.lParam == 0) {
      return reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
    }
  }
  return nullptr;
}

// The camera dialog holds acquisition still while it is open (preview and
// capture stopped, trigger paused) and resumes the mode it had.
TEST_F(CameraDialogs, CameraDialogHoldsAcquisitionStillAndResumesEachMode) {
  using quorel::AcquisitionMode;
  using quorel::RunState;
  ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, 320, 2616, 0, 240), 1);
  ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
  std::shared_ptr<quorel::CQuorel> camera = quorel::CSdkChain::Instance().Lookup(handle_);
  ASSERT_NE(camera, nullptr);
  HWND frames = QuorelHost_CreateMessageWindow();
  struct Case {
    AcquisitionMode mode;
    std::function<int()> start;
    int button;
  };
  const Case cases[] = {
      {AcquisitionMode::kPreview, [&] { return Quorel_CallBackPreview(handle_, frames, nullptr, 0, 0); }, kOk},
      {AcquisitionMode::kCapture, [&] { return Quorel_Capture(handle_); }, kCancel},
  };
  Driver driver;
  for (const Case &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    ASSERT_EQ(c.start(), 1);
    ASSERT_EQ(camera->acquisition().mode(), c.mode);
    driver.SetScript([&](Driver &d) {
      EXPECT_EQ(camera->acquisition().mode(), AcquisitionMode::kIdle);
      d.Click(c.button);
    });
    EXPECT_EQ(Quorel_SetCameraDlg(handle_, nullptr), 1);
    EXPECT_EQ(camera->acquisition().mode(), c.mode);
    if (c.mode == AcquisitionMode::kPreview) {
      EXPECT_NE(NextFrame(frames), nullptr) << "frames again";
    }
    EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  }
  // Frames the preview posted before it stopped are still queued; the
  // trigger frame below must not be confused with one of them.
  QuorelHostMsg stale{};
  while (QuorelHost_PeekMessage(frames, &stale) == 1) {
  }

  // Trigger mode is paused. A new colour mode chosen meanwhile starts it
  // again prepared for that mode, so its frames come at the new depth.
  ASSERT_EQ(Quorel_Trigger(handle_, frames, nullptr, 0, 0), 1);
  driver.SetScript([&](Driver &d) {
    EXPECT_EQ(camera->acquisition().mode(), AcquisitionMode::kTrigger);
    EXPECT_EQ(camera->acquisition().runState(), RunState::kPaused);
    d.SelectText(kColorList, "Color 48bit *");
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetCameraDlg(handle_, nullptr), 1);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 44);
  EXPECT_EQ(camera->acquisition().mode(), AcquisitionMode::kTrigger);
  EXPECT_EQ(camera->acquisition().runState(), RunState::kRunning);
  ASSERT_EQ(QuorelSim_Trigger(0), 1);
  const QuorelFrameInfo *info = NextFrame(frames);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->bitCount, 48);
  EXPECT_TRUE(History(handle_).empty());
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  QuorelHost_DestroyWindow(frames);
}

}  // namespace
