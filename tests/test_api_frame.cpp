// The exported interface end to end on the virtual camera: handles, failure
// values, the error history and the error message, and the settings that the
// camera object only stores or reports.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "camera/CQuorel.h"
#include "platform/RegistryFile.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace {

// All messages waiting in a queue (NULL: the calling thread's).
std::vector<QuorelHostMsg> Drain(HWND window) {
  std::vector<QuorelHostMsg> messages;
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(window, &msg) == 1) messages.push_back(msg);
  return messages;
}

std::vector<int> DrainHistory(int handle) {
  std::vector<int> codes;
  for (int code; (code = Quorel_GetLastError(handle)) != 0;) codes.push_back(code);
  return codes;
}

class ApiFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    window_ = QuorelHost_CreateMessageWindow();
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    for (int handle : handles_) Quorel_Release(handle);
    QuorelHost_DestroyWindow(window_);
    Drain(nullptr);
  }
  int Open(HWND window) {
    const int handle = Quorel_Initialize(window);
    EXPECT_NE(handle, 0);
    handles_.push_back(handle);
    return handle;
  }
  HWND window_ = nullptr;
  std::vector<int> handles_;
};

TEST(ApiLibrary, VersionNeedsNoCamera) {
  EXPECT_EQ(Quorel_GetDllVersion(), 26477855);
}

TEST_F(ApiFrame, NewCameraHasCleanHistoryAndDefaults) {
  const int handle = Open(window_);
  EXPECT_EQ(Quorel_GetLastError(handle), 0);
  EXPECT_TRUE(Drain(window_).empty());
  // First run: the format values written then are loaded back.
  EXPECT_EQ(Quorel_GetColorMode(handle), 24);
  EXPECT_EQ(Quorel_GetSubSample(handle), 0);
  EXPECT_EQ(Quorel_GetWaitTime(handle), 1);
  EXPECT_EQ(Quorel_Width(handle), 3488);
  EXPECT_EQ(Quorel_Height(handle), 2616);
  EXPECT_EQ(Quorel_GetStatus(handle), 0);
}

TEST_F(ApiFrame, InvalidHandleGivesFailureValuesAndRecordsNothing) {
  const int live = Open(window_);
  const int bogus = live + 1;
  int ok = 7;
  EXPECT_EQ(Quorel_GetColorMode(bogus), -1);
  EXPECT_EQ(Quorel_GetSubSample(bogus), -1);
  EXPECT_EQ(Quorel_GetWaitTime(bogus), -1);
  EXPECT_EQ(Quorel_Width(bogus), 0);
  EXPECT_EQ(Quorel_SetColorMode(bogus, 7), 0);
  EXPECT_EQ(Quorel_GetFilterValue(bogus, 1, &ok), 0);
  EXPECT_EQ(ok, 7) << "an unknown handle must not touch the flag";
  EXPECT_EQ(Quorel_GetConfigFilter(bogus), 0);
  EXPECT_EQ(Quorel_Release(bogus), 0);
  EXPECT_EQ(Quorel_GetLastError(bogus), 0);
  EXPECT_TRUE(Drain(window_).empty());
  EXPECT_EQ(Quorel_GetLastError(live), 0);
}

TEST_F(ApiFrame, ReleasingOneOfTwoLeavesTheOtherUsable) {
  for (int releaseHead = 0; releaseHead < 2; ++releaseHead) {
    const int first = Quorel_Initialize(nullptr);
    const int second = Quorel_Initialize(nullptr);
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    // The last lookup makes its entry the head.
    Quorel_Width(second);
    const int gone = releaseHead ? second : first;
    const int kept = releaseHead ? first : second;
    EXPECT_EQ(Quorel_Release(gone), 1);
    EXPECT_EQ(Quorel_Release(gone), 0);
    EXPECT_EQ(Quorel_Width(gone), 0);
    EXPECT_EQ(Quorel_Width(kept), 3488);
    EXPECT_EQ(Quorel_SetWaitTime(kept, 25), 1);
    EXPECT_EQ(Quorel_GetWaitTime(kept), 25);
    EXPECT_EQ(Quorel_Release(kept), 1);
  }
}

TEST_F(ApiFrame, ColorModeReadBackAndInvalidModes) {
  const int handle = Open(window_);
  const std::pair<int, int> readBack[] = {{8, 8}, {16, 12}, {24, 24}, {32, 32}, {48, 44}, {64, 60}};
  for (auto [set, reported] : readBack) {
    EXPECT_EQ(Quorel_SetColorMode(handle, set), 1);
    EXPECT_EQ(Quorel_GetColorMode(handle), reported);
  }
  Drain(window_);
  EXPECT_EQ(Quorel_SetColorMode(handle, 7), 0);
  const auto messages = Drain(window_);
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages[0].hwnd, window_);
  EXPECT_EQ(messages[0].message, 0x8003U);
  EXPECT_EQ(messages[0].wParam, 0U);
  EXPECT_EQ(messages[0].lParam, 9);
  // 12 is what the getter reports, not an accepted input.
  EXPECT_EQ(Quorel_SetColorMode(handle, 12), 0);
  EXPECT_EQ(DrainHistory(handle), (std::vector<int>{9, 9}));
  EXPECT_EQ(Quorel_GetColorMode(handle), 60) << "a refused mode keeps the stored one";
}

TEST_F(ApiFrame, RefusedSubSampleAndWaitTimeRecordNothing) {
  const int handle = Open(window_);
  Quorel_SetColorMode(handle, 7);  // leaves code 9 in the history
  EXPECT_EQ(Quorel_SetSubSample(handle, 3), 0);
  EXPECT_EQ(Quorel_SetWaitTime(handle, -1), 0);
  EXPECT_EQ(DrainHistory(handle), (std::vector<int>{9}));
  for (int code : {0, 1, 2, 17, 18}) {
    EXPECT_EQ(Quorel_SetSubSample(handle, code), 1);
    EXPECT_EQ(Quorel_GetSubSample(handle), code);
  }
}

TEST_F(ApiFrame, UnsupportedFunctionsPostOrRecordCode11) {
  const int handle = Open(window_);
  EXPECT_EQ(Quorel_Fps(handle), 0);
  EXPECT_EQ(Quorel_SetCrossbar(handle, 1), 0);
  EXPECT_EQ(Quorel_Fpga_WriteRegister(handle, 1, 2), 0);
  const auto posted = Drain(window_);
  ASSERT_EQ(posted.size(), 3U);
  for (const auto &msg : posted) EXPECT_EQ(msg.lParam, 11);
  EXPECT_EQ(Quorel_GetLastError(handle), 0) << "posted, not recorded";

  EXPECT_EQ(Quorel_GetConfigFilter(handle), -1);
  EXPECT_EQ(Quorel_GetLastError(handle), 11);

  int rate = 1234, format = 99;
  EXPECT_EQ(Quorel_GetSamplingRate(handle, &rate), 0);
  EXPECT_EQ(Quorel_GetVideoFormat(handle, &format), 0);
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(format, 0);
  EXPECT_EQ(Quorel_GetSamplingRate(handle, nullptr), 0);
}

TEST_F(ApiFrame, AutoIrisNeedsNoDeviceAndPostsRangeErrors) {
  const int handle = Open(window_);
  int ok = 0;
  EXPECT_EQ(Quorel_SetAutoIris(handle, 2), 1);
  EXPECT_EQ(Quorel_GetAutoIris(handle, &ok), 2);
  EXPECT_EQ(ok, 1);
  Drain(window_);
  EXPECT_EQ(Quorel_SetAutoIris(handle, 3), 0);
  EXPECT_EQ(Quorel_SetAutoIris(handle, -1), 0);
  const auto posted = Drain(window_);
  ASSERT_EQ(posted.size(), 2U);
  EXPECT_EQ(posted[0].lParam, 9);
  EXPECT_EQ(Quorel_GetLastError(handle), 0);
  EXPECT_EQ(Quorel_GetAutoIris(handle, nullptr), 2);
}

TEST_F(ApiFrame, CaptureWindowRoundTripAndValidation) {
  const int handle = Open(window_);
  int v[6] = {};
  EXPECT_EQ(Quorel_GetCaptureWindowEx(handle, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 1);
  EXPECT_EQ(std::vector<int>(v, v + 6), (std::vector<int>{3488, 0, 3488, 2616, 0, 2616}));
  EXPECT_EQ(Quorel_GetCaptureWindowEx(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);

  EXPECT_EQ(Quorel_SetCaptureWindowEx(handle, 3488, 100, 1000, 2616, 50, 800), 1);
  EXPECT_EQ(Quorel_Width(handle), 1000);
  EXPECT_EQ(Quorel_Height(handle), 800);
  EXPECT_EQ(Quorel_SetCaptureWindowEx(handle, 3488, 1, 3488, 2616, 0, 2616), 0);
  EXPECT_EQ(Quorel_GetLastError(handle), 7);
}

TEST_F(ApiFrame, InvalidStoredGeometryIsResetAtInitialisation) {
  // A first camera writes the first-run entries; then the preset is spoiled.
  Quorel_Release(Quorel_Initialize(nullptr));
  quorel::CameraDialogTable table;
  ASSERT_EQ(quorel::LoadCameraDialogTable(0, table), 1);
  table.presets[0].width = 3000;
  table.presets[0].horizontalStart = 600;
  ASSERT_EQ(quorel::SaveCameraDialogTable(0, table), 1);

  const int handle = Open(window_);
  EXPECT_EQ(Quorel_GetLastError(handle), 7);
  EXPECT_EQ(Quorel_Width(handle), 3488);
  int hStart = -1;
  Quorel_GetCaptureWindowEx(handle, nullptr, &hStart, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(hStart, 0);
}

TEST_F(ApiFrame, CloseWithoutAcquisitionSucceedsSilently) {
  const int handle = Open(window_);
  Quorel_SetWaitTime(handle, 40);
  EXPECT_EQ(Quorel_Close(handle), 1);
  EXPECT_EQ(Quorel_GetLastError(handle), 0);
  EXPECT_EQ(Quorel_GetWaitTime(handle), 40);
}

// Without a display (or without the GUI module) no dialog can be shown: each
// export fails with code 4 before it touches acquisition.
TEST_F(ApiFrame, DialogsWithoutDisplayFailWithWindowNotCreatedAndLeaveAcquisition) {
  const char *current = std::getenv("DISPLAY");
  const std::string display = current != nullptr ? current : "";
  unsetenv("DISPLAY");
  const int handle = Open(window_);
  ASSERT_EQ(Quorel_Capture(handle), 1);
  Drain(window_);
  EXPECT_EQ(Quorel_SetCameraDlg(handle, nullptr), 0);
  EXPECT_EQ(Quorel_SetImageDlg(handle, nullptr), 0);
  EXPECT_EQ(Quorel_SetAnalogDlg(handle, nullptr), 0);
  EXPECT_EQ(DrainHistory(handle), (std::vector<int>{4, 4, 4}));
  const auto posted = Drain(window_);
  ASSERT_EQ(posted.size(), 3u);
  for (const QuorelHostMsg &msg : posted) EXPECT_EQ(msg.lParam, 4);
  // Still in capture mode: starting a preview is refused as capture refuses it.
  EXPECT_EQ(Quorel_StartPreview(handle), 0);
  EXPECT_EQ(DrainHistory(handle), (std::vector<int>{1}));
  if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(ApiFrame, SaveBeforeAnyFrameFailsWithNotReady) {
  const int handle = Open(window_);
  EXPECT_EQ(Quorel_SaveImage(handle, quorel::test::ScratchPath("never.bmp").c_str(), 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle), 1);
  EXPECT_EQ(Quorel_Record(handle, "", 100, 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle), 9);
}

TEST_F(ApiFrame, ConfigurationFilesLoadWithoutDevice) {
  const int handle = Open(window_);
  EXPECT_EQ(Quorel_LoadConfigFileA(handle, "/nonexistent/config.bin"), 0);
  EXPECT_EQ(Quorel_LoadConfigFileA(handle, nullptr), 0);
  EXPECT_EQ(Quorel_GetLastError(handle), 0);
  // An unpaired surrogate cannot be converted: code 12.
  const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), 0};
  EXPECT_EQ(Quorel_LoadConfigFileW(handle, bad), 0);
  EXPECT_EQ(Quorel_GetLastError(handle), 12);
}

// The history as the camera object keeps it.
TEST(ErrorHistory, KeepsTheNewestTwentyAndPopsNewestFirst) {
  quorel::CQuorel camera;
  for (int code = 1; code <= 25; ++code) camera.ReportError(code);
  for (int expected = 25; expected >= 6; --expected) EXPECT_EQ(camera.GetLastError(), expected);
  EXPECT_EQ(camera.GetLastError(), 0);
  EXPECT_EQ(camera.GetLastError(), 0);
}

TEST(ErrorHistory, NullWindowRecordsWithoutPostingAndPostErrorUsesThreadQueue) {
  Drain(nullptr);
  quorel::CQuorel camera;  // no notification window
  camera.ReportError(9);
  EXPECT_TRUE(Drain(nullptr).empty());
  camera.PostError(4);
  const auto posted = Drain(nullptr);
  ASSERT_EQ(posted.size(), 1U);
  EXPECT_EQ(posted[0].hwnd, nullptr);
  EXPECT_EQ(posted[0].message, 0x8003U);
  EXPECT_EQ(posted[0].lParam, 4);
  EXPECT_EQ(camera.GetLastError(), 9);
  EXPECT_EQ(camera.GetLastError(), 0);
}

TEST(CaptureWindowTest, Boundaries) {
  using quorel::CQuorel;
  quorel::CaptureGeometry g;
  EXPECT_TRUE(CQuorel::IsCaptureWindowValid(g, 0));
  g.horizontalStart = 1;
  EXPECT_FALSE(CQuorel::IsCaptureWindowValid(g, 0));
  g = {};
  EXPECT_FALSE(CQuorel::IsCaptureWindowValid(g, 19));
  EXPECT_FALSE(CQuorel::IsCaptureWindowValid(g, 3));
  g.width = -1;
  EXPECT_FALSE(CQuorel::IsCaptureWindowValid(g, 0));
  g = {};
  g.height = 2000;
  g.verticalStart = 616;
  EXPECT_TRUE(CQuorel::IsCaptureWindowValid(g, 17));
  g.verticalStart = 617;
  EXPECT_FALSE(CQuorel::IsCaptureWindowValid(g, 17));
  EXPECT_EQ(CQuorel::SubSampleDivisor(17), 2);
  EXPECT_EQ(CQuorel::SubSampleDivisor(18), 4);
  EXPECT_EQ(CQuorel::SubSampleDivisor(19), 8);
  EXPECT_EQ(CQuorel::SubSampleDivisor(5), 1);
}

}  // namespace
