// Open dialogs while the camera streams: the worker's white-balance
// measurements and automatic-iris changes reach the dialog through its queue
// (never by waiting for the dialog's thread), and the dialog's own sensor
// writes stay on the dialog's thread. Labelled for ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "dialogs/DialogIds.h"
#include "dialogs/ScriptedDialogDriver.h"
#include "support/TestEnvironment.h"

namespace {

using namespace quorel::dialog_id;
using Driver = quorel::ScriptedDialogDriver;
using std::chrono::seconds;

class DialogConcurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    window_ = QuorelHost_CreateMessageWindow();
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(window_);
    ASSERT_NE(handle_, 0);
    // A small window of the chart, and no preview window.
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 1424, 640, 2616, 1068, 480), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
    ASSERT_EQ(Quorel_SetWaitTime(handle_, 1), 1);
  }
  void TearDown() override {
    if (handle_ != 0) Quorel_Release(handle_);
    QuorelHost_DestroyWindow(frames_);
    QuorelHost_DestroyWindow(window_);
  }
  // Frames announced since the last call, waiting up to a generous deadline
  // for at least `wanted` of them.
  int AwaitFrames(int wanted) {
    int seen = 0;
    QuorelHostMsg msg{};
    const auto end = std::chrono::steady_clock::now() + seconds(60);
    while (seen < wanted && std::chrono::steady_clock::now() < end) {
      if (QuorelHost_WaitMessage(frames_, &msg, 1000) == 1 && msg.message == QUOREL_WM_FRAME && msg.lParam == 0) {
        ++seen;
      }
    }
    return seen;
  }
  int Filter(int id) { return Quorel_GetFilterValue(handle_, id, nullptr); }
  HWND window_ = nullptr;
  HWND frames_ = nullptr;
  int handle_ = 0;
};

TEST_F(DialogConcurrency, WhiteBalanceMeasurementsRefreshTheOpenFilterDialog) {
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 0), 1);
  ASSERT_GE(AwaitFrames(2), 2);
  bool refreshed = false;
  Driver driver([&](Driver &d) {
    EXPECT_EQ(d.Text(2052), "100");
    d.Click(kAllFrames);  // measure on every frame
    // The dialog's thread does not serve its queue here, yet frames go on.
    EXPECT_GE(AwaitFrames(5), 5);
    refreshed = d.PumpUntil(
        [&] {
          const int red = Filter(7);
          return red != 100 && d.Text(2052) == std::to_string(red) && d.Position(2051) == std::min(red, 400);
        },
        seconds(60));
    d.Click(kOk);
  });
  EXPECT_EQ(Quorel_SetImageDlg(handle_, nullptr), 1);
  EXPECT_TRUE(refreshed);
  EXPECT_EQ(Filter(10), 1) << "OK keeps the white balance on";
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
}

TEST_F(DialogConcurrency, AutomaticIrisChangesReachTheOpenAnalogDialog) {
  // A very short exposure darkens every region, so the iris raises the gain
  // on each frame until it reaches the top of its range.
  ASSERT_EQ(Quorel_SetExposureTime(handle_, 1), 1);
  ASSERT_EQ(Quorel_SetGlobalGain(handle_, 8), 1);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 0), 1);
  ASSERT_GE(AwaitFrames(1), 1);
  bool shown = false;
  Driver driver([&](Driver &d) {
    EXPECT_EQ(d.Text(kGlobalGainEdit), "8");
    d.Click(kIrisGain);
    EXPECT_GE(AwaitFrames(3), 3);
    shown = d.PumpUntil([&] { return d.Text(kGlobalGainEdit) == "127" && d.Text(1025) == "127"; }, seconds(60));
    // Iris off again; cancelling puts the opening values back.
    d.Click(kIrisGain);
    d.Click(kCancel);
  });
  EXPECT_EQ(Quorel_SetAnalogDlg(handle_, nullptr), 1);
  EXPECT_TRUE(shown);
  EXPECT_EQ(Quorel_GetAutoIris(handle_, nullptr), 0);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_EQ(Filter(13), 8);
}

}  // namespace
