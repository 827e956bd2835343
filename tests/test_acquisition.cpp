// Acquisition on the virtual camera through the public API: the mode table,
// callback preview with frame messages, snapshots into application buffers
// in both row orders, too-small buffers, trigger mode, and the exclusive use
// of a unit across processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "api/CSdkChain.h"
#include "camera/CQuorel.h"
#include "support/TestEnvironment.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<QuorelHostMsg> Drain(HWND window) {
  std::vector<QuorelHostMsg> messages;
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(window, &msg) == 1) messages.push_back(msg);
  return messages;
}

// The camera object behind a handle, for its acquisition's delivery counters.
std::shared_ptr<quorel::CQuorel> CameraOf(int handle) {
  return quorel::CSdkChain::Instance().Lookup(handle);
}

std::vector<int> History(int handle) {
  std::vector<int> codes;
  for (int code; (code = Quorel_GetLastError(handle)) != 0;) codes.push_back(code);
  return codes;
}

class Acquisition : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable("units=0;fps=max;scene=chart"), 1);
    events_ = QuorelHost_CreateMessageWindow();
    frames_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(events_);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_GetLastError(handle_), 0);
    // Small frames keep the tests quick; no preview window is wanted.
    ASSERT_EQ(Quorel_SetCaptureWindowEx(handle_, 3488, 0, 320, 2616, 0, 240), 1);
    ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0), 1);
  }
  void TearDown() override {
    Quorel_Release(handle_);
    QuorelHost_DestroyWindow(events_);
    QuorelHost_DestroyWindow(frames_);
  }
  // Waits for the next frame message on the frames window.
  bool NextFrame(QuorelHostMsg *msg, int timeoutMs = 30000) {
    while (QuorelHost_WaitMessage(frames_, msg, timeoutMs) == 1) {
      if (msg->message == QUOREL_WM_FRAME) return true;
    }
    return false;
  }
  int ImageBytes(int bitsPerPixel) const {
    const int stride = (320 * (bitsPerPixel / 8) + 3) & ~3;
    return stride * 240;
  }
  HWND events_ = nullptr;
  HWND frames_ = nullptr;
  int handle_ = 0;
};

TEST_F(Acquisition, CallbackPreviewDeliversFramesWithRecords) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  std::vector<unsigned char> buffer(ImageBytes(24));
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  for (int i = 0; i < 5; ++i) {
    QuorelHostMsg msg{};
    ASSERT_TRUE(NextFrame(&msg)) << "frame " << i;
    ASSERT_EQ(msg.lParam, 0);
    const auto *info = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->size, 32);
    EXPECT_EQ(info->width, 320);
    EXPECT_EQ(info->height, 240);
    EXPECT_EQ(info->bitCount, 24);
    EXPECT_EQ(info->buffer, buffer.data());
  }
  EXPECT_GE(CameraOf(handle_)->acquisition().deliveredFrames(), 5U);
  EXPECT_EQ(CameraOf(handle_)->acquisition().copyFailures(), 0U);
  // Starting again while previewing changes nothing.
  EXPECT_EQ(Quorel_StartPreview(handle_), 1);
  EXPECT_EQ(Quorel_Capture(handle_), 0);
  EXPECT_EQ(History(handle_), (std::vector<int>{1}));
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_EQ(History(handle_), std::vector<int>{});
  // Once stopped, no more frames arrive.
  Drain(frames_);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Drain(frames_).empty());
}

// A colour mode set while frames arrive waits for the next start: the sensor
// keeps delivering 12-bit samples into the images prepared for them (reading
// the new mode at once wrote 16-bit rows into the 8-bit raw image).
TEST_F(Acquisition, ColourModeSetWhileStreamingTakesEffectAtTheNextStart) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 16), 1);
  std::vector<unsigned char> buffer(ImageBytes(16));
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  QuorelHostMsg msg{};
  ASSERT_TRUE(NextFrame(&msg));
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  Drain(frames_);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(NextFrame(&msg)) << i;
    const auto *info = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->bitCount, 16) << i;
  }
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  Drain(frames_);
  ASSERT_EQ(Quorel_StartPreview(handle_), 1);
  ASSERT_TRUE(NextFrame(&msg));
  const auto *info = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->bitCount, 8);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_EQ(History(handle_), std::vector<int>{});
}

TEST_F(Acquisition, TooSmallCallbackBufferIsReportedEachFrameAndPreviewGoesOn) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> buffer(ImageBytes(8) - 1);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 0), 1);
  int failures = 0;
  QuorelHostMsg msg{};
  while (failures < 3 && NextFrame(&msg)) {
    EXPECT_EQ(msg.wParam, 0U) << "no frame record for a frame that was not delivered";
    EXPECT_EQ(msg.lParam, 5);
    ++failures;
  }
  EXPECT_EQ(failures, 3);
  Quorel_StopPreview(handle_);
  EXPECT_EQ(CameraOf(handle_)->acquisition().deliveredFrames(), 0U);
  EXPECT_GE(CameraOf(handle_)->acquisition().copyFailures(), 3U);
  const auto codes = History(handle_);
  ASSERT_GE(codes.size(), 3U);
  for (int code : codes) EXPECT_EQ(code, 5);
}

TEST_F(Acquisition, SnapshotRowOrderAndTooSmallBuffer) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 24), 1);
  ASSERT_EQ(Quorel_Capture(handle_), 1);
  ASSERT_EQ(Quorel_Capture(handle_), 1);
  const int bytes = ImageBytes(24);
  const int stride = bytes / 240;
  std::vector<unsigned char> topDown(bytes), bottomUp(bytes);
  ASSERT_EQ(Quorel_SnapShot(handle_, topDown.data(), bytes, 1), 1);
  // The same converted image, copied bottom line first.
  ASSERT_EQ(Quorel_GetImage(handle_, bottomUp.data(), bytes, 0), 1);
  for (int row = 0; row < 240; ++row) {
    ASSERT_TRUE(std::equal(topDown.begin() + row * stride, topDown.begin() + (row + 1) * stride,
                           bottomUp.begin() + (239 - row) * stride))
        << "row " << row;
  }
  // One byte short: code 5, and the frame lock is free afterwards.
  std::vector<unsigned char> small(bytes - 1);
  EXPECT_EQ(Quorel_SnapShot(handle_, small.data(), bytes - 1, 1), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 5);
  auto other = std::async(std::launch::async, [&] { return Quorel_GetImage(handle_, topDown.data(), bytes, 1); });
  ASSERT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(other.get(), 1);
}

TEST_F(Acquisition, SnapshotFromIdleInEveryColourMode) {
  for (int bits : {8, 16, 24, 32, 48, 64}) {
    ASSERT_EQ(Quorel_SetColorMode(handle_, bits), 1);
    std::vector<unsigned char> buffer(ImageBytes(bits));
    EXPECT_EQ(Quorel_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 1), 1) << bits;
    // The chart is not flat: some sample differs from the first.
    bool varied = false;
    for (unsigned char b : buffer) varied = varied || b != buffer[0];
    EXPECT_TRUE(varied) << bits;
  }
  EXPECT_EQ(History(handle_), std::vector<int>{});
}

TEST_F(Acquisition, ModeConflictsFollowTheModeTable) {
  ASSERT_EQ(Quorel_Capture(handle_), 1);
  EXPECT_EQ(Quorel_StartPreview(handle_), 0);
  EXPECT_EQ(Quorel_Trigger(handle_, frames_, nullptr, 0, 0), 0);
  EXPECT_EQ(History(handle_), (std::vector<int>{1, 1}));
  // Preview from capture mode: the start fails, the camera is closed, code 8.
  EXPECT_EQ(Quorel_Preview(handle_), 0);
  EXPECT_EQ(History(handle_), (std::vector<int>{8, 1}));
  EXPECT_EQ(Quorel_StartPreview(handle_), 1) << "Close returned the camera to idle";
  unsigned char byte = 0;
  EXPECT_EQ(Quorel_SnapShot(handle_, &byte, 1, 0), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 1);
  EXPECT_EQ(Quorel_Close(handle_), 1);
}

TEST_F(Acquisition, PreviewWithoutDisplayFailsToCreateItsWindow) {
  ASSERT_EQ(Quorel_SetPreviewWindow(handle_, nullptr, 0, 0, 1, 1), 1);
  EXPECT_EQ(Quorel_Preview(handle_), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 4);
}

TEST_F(Acquisition, TriggerModeDeliversOneFramePerPulse) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  std::vector<unsigned char> buffer(ImageBytes(8));
  ASSERT_EQ(Quorel_Trigger(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  // A second call while trigger mode runs starts no second worker.
  ASSERT_EQ(Quorel_Trigger(handle_, frames_, buffer.data(), static_cast<int>(buffer.size()), 1), 1);
  QuorelHostMsg msg{};
  for (int pulse = 0; pulse < 3; ++pulse) {
    ASSERT_EQ(QuorelSim_Trigger(0), 1);
    ASSERT_TRUE(NextFrame(&msg)) << "pulse " << pulse;
    const auto *info = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->frameRate, 0);
  }
  EXPECT_FALSE(NextFrame(&msg, 300)) << "one frame per pulse";
  // Stopping while the worker waits for a pulse returns by the trigger
  // time-out (3 s); the bound leaves room for a loaded machine and still
  // catches a stop that waits for a pulse that never comes.
  const auto stopStart = Clock::now();
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  EXPECT_LT(Clock::now() - stopStart, std::chrono::seconds(10));
  EXPECT_EQ(QuorelSim_Trigger(0), 1);
  EXPECT_FALSE(NextFrame(&msg, 300)) << "no worker after the stop";
}

TEST_F(Acquisition, FrameRateIsMeasuredInTenthsPerSecond) {
  ASSERT_EQ(QuorelSim_Enable("units=0;fps=20;scene=chart"), 1);
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Quorel_CallBackPreview(handle_, frames_, nullptr, 0, 1), 1);
  QuorelHostMsg msg{};
  int rate = 0;
  const auto end = Clock::now() + std::chrono::seconds(4);
  while (Clock::now() < end && NextFrame(&msg)) {
    rate = reinterpret_cast<const QuorelFrameInfo *>(msg.wParam)->frameRate;
    if (Clock::now() > end - std::chrono::milliseconds(1500)) break;
  }
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  // About 20 frames a second, as tenths: generous bounds for a loaded machine.
  EXPECT_GT(rate, 50);
  EXPECT_LE(rate, 230);
}

TEST_F(Acquisition, CaptureModeKeepsTakingSnapshots) {
  ASSERT_EQ(Quorel_SetColorMode(handle_, 8), 1);
  ASSERT_EQ(Quorel_Capture(handle_), 1);
  std::vector<unsigned char> buffer(ImageBytes(8));
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Quorel_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 0), 1) << i;
  }
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
  // Back in idle, a snapshot prepares by itself.
  EXPECT_EQ(Quorel_SnapShot(handle_, buffer.data(), static_cast<int>(buffer.size()), 0), 1);
  EXPECT_EQ(History(handle_), std::vector<int>{});
}

// A unit streaming in another process is refused with code 2 (then 1), and
// can be used once that process has stopped.
TEST_F(Acquisition, UnitStreamingInAnotherProcessIsRefused) {
  int toChild[2], fromChild[2];
  // Close-on-exec, so the child keeps only its stdin and stdout ends and sees
  // end of file when the parent closes its end.
  ASSERT_EQ(pipe2(toChild, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(fromChild, O_CLOEXEC), 0);
  const std::string helper = std::string(QUOREL_BINARY_DIR) + "/tests/preview_holder";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    execl(helper.c_str(), helper.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  char ready = 0;
  ASSERT_EQ(read(fromChild[0], &ready, 1), 1);
  ASSERT_EQ(ready, 'S') << "the other process could not start its preview";

  EXPECT_EQ(Quorel_StartPreview(handle_), 0);
  EXPECT_EQ(History(handle_), (std::vector<int>{1, 2}));

  close(toChild[1]);  // tells the child to stop and exit
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(fromChild[0]);
  EXPECT_EQ(Quorel_StartPreview(handle_), 1);
  EXPECT_EQ(Quorel_StopPreview(handle_), 1);
}

}  // namespace
