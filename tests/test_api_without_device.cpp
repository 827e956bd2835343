// A camera whose initialisation failed (here: the cross-process table cannot
// be opened) lives on with no device object: its handle works, device
// operations fail with code 1 as the tables say (recorded, or only posted),
// and releasing it does not overwrite the stored settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "settings/CameraSettings.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace {

std::vector<QuorelHostMsg> Drain(HWND window) {
  std::vector<QuorelHostMsg> messages;
  QuorelHostMsg msg{};
  while (QuorelHost_PeekMessage(window, &msg) == 1) messages.push_back(msg);
  return messages;
}

class WithoutDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    quorel::test::UseFreshRegistry();
    Drain(nullptr);
    const char *name = std::getenv("QUOREL_SHM_NAME");
    savedShm_ = name != nullptr ? name : "";
    // Not a valid POSIX shared-memory name: opening the table fails.
    setenv("QUOREL_SHM_NAME", "/no/such/table", 1);
    window_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(window_);
    ASSERT_NE(handle_, 0);
  }
  void TearDown() override {
    Quorel_Release(handle_);
    QuorelHost_DestroyWindow(window_);
    setenv("QUOREL_SHM_NAME", savedShm_.c_str(), 1);
  }
  std::string savedShm_;
  HWND window_ = nullptr;
  int handle_ = 0;
};

TEST_F(WithoutDevice, InitialisationFailureIsRecordedNotPosted) {
  EXPECT_TRUE(Drain(window_).empty()) << "the window is not stored yet when the table fails";
  EXPECT_EQ(Quorel_GetLastError(handle_), 5);
  EXPECT_EQ(Quorel_GetLastError(handle_), 0);
}

TEST_F(WithoutDevice, DeviceOperationsRecordOrPostCode1) {
  Quorel_GetLastError(handle_);
  int ok = 1;
  unsigned char port = 0;
  // Recorded and posted.
  EXPECT_EQ(Quorel_SetMirrorH(handle_, 1), 0);
  EXPECT_EQ(Quorel_GetMirrorH(handle_), 0);
  EXPECT_EQ(Quorel_ReadRegister(handle_, 0x12, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Quorel_GetFilterValue(handle_, 1, &ok), 0);
  EXPECT_EQ(Quorel_GetRealExposureTime(handle_, &ok), 0);
  EXPECT_EQ(Quorel_GetCameraInfo(handle_, nullptr), 0);
  // Posted only.
  EXPECT_EQ(Quorel_SetMirrorV(handle_, 1), 0);
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 0);
  EXPECT_EQ(Quorel_GetHalfClock(handle_, &ok), 0);
  EXPECT_EQ(Quorel_ReadSromID(handle_, 0, &ok), 0);
  EXPECT_EQ(Quorel_GetIOPort(handle_, &port), 0);
  EXPECT_EQ(Quorel_SetIOPort(handle_, 1), 0);

  std::vector<int> recorded;
  for (int code; (code = Quorel_GetLastError(handle_)) != 0;) recorded.push_back(code);
  EXPECT_EQ(recorded, std::vector<int>(6, 1));
  // The failed initialisation never stored the notification window: recorded
  // codes are not posted at all, and posted-only codes go to the calling
  // thread's queue.
  EXPECT_TRUE(Drain(window_).empty());
  const auto posted = Drain(nullptr);
  EXPECT_EQ(posted.size(), 6U);
  for (const auto &msg : posted) EXPECT_EQ(msg.lParam, 1);

  // A null pointer is checked before the device.
  EXPECT_EQ(Quorel_GetIOPort(handle_, nullptr), 0);
  const auto nullPost = Drain(nullptr);
  ASSERT_EQ(nullPost.size(), 1U);
  EXPECT_EQ(nullPost[0].lParam, 9);
}

TEST_F(WithoutDevice, StoredSettingsStillWorkAndReleaseKeepsTheRegistry) {
  EXPECT_EQ(Quorel_SetColorMode(handle_, 16), 1);
  EXPECT_EQ(Quorel_GetColorMode(handle_), 12);
  EXPECT_EQ(Quorel_SetAutoIris(handle_, 1), 1);
  int hStart = -1;
  EXPECT_EQ(Quorel_GetCaptureWindowEx(handle_, nullptr, &hStart, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(hStart, 0);

  quorel::AnalogBlock stored;
  stored.globalGain = 77;
  stored.exposure = 1234;
  ASSERT_EQ(quorel::SaveGainGroup(0, stored), 1);
  EXPECT_EQ(Quorel_Release(handle_), 1);
  quorel::AnalogBlock loaded;
  ASSERT_EQ(quorel::LoadGainGroup(0, loaded, [] { return quorel::AnalogBlock{}; }), 1);
  EXPECT_EQ(loaded.globalGain, 77);
  EXPECT_EQ(loaded.exposure, 1234);
  handle_ = Quorel_Initialize(window_);  // for TearDown
}

}  // namespace
