// Exports that reach the device object, on the virtual camera: enumeration
// and names, switching units with their settings, camera information,
// registers, serial ROM, I/O port, mirrors and the filter-value interface.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "QuorelHost.h"
#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"
#include "settings/CameraSettings.h"
#include "settings/SettingsStore.h"
#include "support/TestEnvironment.h"

namespace {

std::vector<int> History(int handle) {
  std::vector<int> codes;
  for (int code; (code = Quorel_GetLastError(handle)) != 0;) codes.push_back(code);
  return codes;
}

class DeviceExports : public ::testing::Test {
 protected:
  void Open(const char *config) {
    quorel::test::UseFreshRegistry();
    ASSERT_EQ(QuorelSim_Enable(config), 1);
    window_ = QuorelHost_CreateMessageWindow();
    handle_ = Quorel_Initialize(window_);
    ASSERT_NE(handle_, 0);
    ASSERT_EQ(Quorel_GetLastError(handle_), 0);
  }
  void TearDown() override {
    if (handle_ != 0) Quorel_Release(handle_);
    QuorelHost_DestroyWindow(window_);
  }
  HWND window_ = nullptr;
  int handle_ = 0;
};

TEST_F(DeviceExports, EnumerationNumbersPresentCamerasInUnitOrder) {
  Open("units=0,3");
  char names[10][256];
  std::memset(names, 'x', sizeof names);
  EXPECT_EQ(Quorel_EnumDevice(handle_, names), 2);
  EXPECT_STREQ(names[0], "Quorel470KX-PLU_01");
  EXPECT_STREQ(names[1], "Quorel470KX-PLU_02");
  for (int slot = 2; slot < 10; ++slot) EXPECT_STREQ(names[slot], "") << slot;

  wchar_t wide[10][256];
  EXPECT_EQ(Quorel_EnumDeviceW(handle_, wide), 2);
  EXPECT_STREQ(wide[1], L"Quorel470KX-PLU_02");
  EXPECT_STREQ(wide[2], L"");

  // A name asked for by unit carries the unit index plus one.
  char name[19];
  EXPECT_EQ(Quorel_GetDeviceName(handle_, 3, name, sizeof name), 1);
  EXPECT_STREQ(name, "Quorel470KX-PLU_04");
  wchar_t wideName[32];
  EXPECT_EQ(Quorel_GetDeviceNameW(handle_, 0, wideName, 32), 1);
  EXPECT_STREQ(wideName, L"Quorel470KX-PLU_01");
}

TEST_F(DeviceExports, NameRequestsAreChecked) {
  Open("units=0");
  char name[64];
  std::memset(name, '#', sizeof name);
  EXPECT_EQ(Quorel_GetDeviceName(handle_, 0, name, 14), 0);
  EXPECT_EQ(Quorel_GetDeviceName(handle_, 32, name, 64), 0);
  EXPECT_EQ(Quorel_GetDeviceName(handle_, -1, name, 64), 0);
  EXPECT_EQ(Quorel_GetDeviceName(handle_, 5, name, 64), 0);
  EXPECT_EQ(History(handle_), (std::vector<int>{2, 9, 9, 9}));
  EXPECT_EQ(name[0], '#') << "nothing written on failure";
  // 15 to 18 bytes pass the size test; the name is cut, never overrun.
  for (int size : {15, 16, 18}) {
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(Quorel_GetDeviceName(handle_, 0, name, size), 1) << size;
    EXPECT_EQ(std::strlen(name), static_cast<size_t>(size - 1)) << size;
    EXPECT_EQ(name[size], '#') << size;
  }
  EXPECT_EQ(Quorel_GetDeviceName(handle_, 0, name, 19), 1);
  EXPECT_STREQ(name, "Quorel470KX-PLU_01");
  wchar_t wide[20];
  EXPECT_EQ(Quorel_GetDeviceNameW(handle_, 0, wide, 14), 0);
  EXPECT_EQ(Quorel_GetDeviceNameW(handle_, 0, wide, 15), 1);
  EXPECT_EQ(std::wcslen(wide), 14U);
  EXPECT_EQ(Quorel_GetLastError(handle_), 9);

  char names[10][256];
  ASSERT_EQ(QuorelSim_SetPresent(0, 0), 1);
  EXPECT_EQ(Quorel_EnumDevice(handle_, names), 0);
  for (auto &slot : names) EXPECT_STREQ(slot, "");
  ASSERT_EQ(QuorelSim_SetPresent(0, 1), 1);
}

TEST_F(DeviceExports, SwitchingUnitsSavesAndLoadsEachUnitsSettings) {
  Open("units=0,1");
  ASSERT_EQ(Quorel_SetGamma(handle_, 150), 1);
  ASSERT_EQ(Quorel_SetGlobalGain(handle_, 40), 1);
  EXPECT_EQ(Quorel_SetDeviceNumber(handle_, 5), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 2);
  EXPECT_EQ(Quorel_GetGamma(handle_, nullptr), 150) << "the camera keeps its values";

  ASSERT_EQ(Quorel_SetDeviceNumber(handle_, 1), 1);
  // Unit 1 has no stored groups yet: defaults.
  EXPECT_EQ(Quorel_GetGamma(handle_, nullptr), 100);
  ASSERT_EQ(Quorel_SetGamma(handle_, 60), 1);
  ASSERT_EQ(Quorel_Release(handle_), 1);
  handle_ = 0;

  quorel::FilterBlock unit0{}, unit1{};
  ASSERT_EQ(quorel::LoadFilterGroup(0, unit0), 1);
  ASSERT_EQ(quorel::LoadFilterGroup(1, unit1), 1);
  EXPECT_EQ(unit0[quorel::kGamma], 150);
  EXPECT_EQ(unit1[quorel::kGamma], 60);
  quorel::AnalogBlock analog0;
  ASSERT_EQ(quorel::LoadGainGroup(0, analog0, [] { return quorel::AnalogBlock{}; }), 1);
  EXPECT_EQ(analog0.globalGain, 40);
  EXPECT_EQ(analog0.colorGainRed, 40) << "the global gain sets all four colour gains";
}

TEST_F(DeviceExports, CameraInformationRecord) {
  Open("units=0");
  QuorelCameraInfo info{};
  info.size = 36;
  ASSERT_EQ(Quorel_GetCameraInfo(handle_, &info), 1);
  EXPECT_EQ(info.size, 36);
  const int expected[] = {3488, 2616, 0, 127, 0, 127, 0, 16383};
  const int actual[] = {info.width,        info.height,       info.globalGainMin, info.globalGainMax,
                        info.colorGainMin, info.colorGainMax, info.exposureMin,   info.exposureMax};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(actual[i], expected[i]) << i;
  info.size = 35;
  EXPECT_EQ(Quorel_GetCameraInfo(handle_, &info), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 5);
  info.size = -1;  // compared as a widened unsigned value, so it passes
  EXPECT_EQ(Quorel_GetCameraInfo(handle_, &info), 1);
}

TEST_F(DeviceExports, RegistersSromAndIoPort) {
  Open("units=0");
  int ok = 0;
  ASSERT_EQ(Quorel_WriteRegisterEx(handle_, 0x34, 0x5A5A), 1);
  ASSERT_EQ(Quorel_WriteRegisterEx(handle_, 0x1234, 0x1111), 1);
  // The plain form uses only the low 8 bits of the register number.
  EXPECT_EQ(Quorel_ReadRegister(handle_, 0x1234, &ok), 0x5A5A);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Quorel_ReadRegisterEx(handle_, 0x1234, &ok), 0x1111);

  ASSERT_EQ(Quorel_WriteSromID(handle_, 3, 0xA7), 1);
  EXPECT_EQ(Quorel_ReadSromID(handle_, 3, &ok), 0xA7);
  EXPECT_EQ(ok, 1);

  ASSERT_EQ(Quorel_SetIOPort(handle_, 0x5C), 1);
  unsigned char port = 0;
  EXPECT_EQ(Quorel_GetIOPort(handle_, &port), 1);
  EXPECT_EQ(port, 0x5C);

  ASSERT_EQ(QuorelSim_InjectFault(0, "fail-register"), 1);
  EXPECT_EQ(Quorel_ReadRegisterEx(handle_, 0x3012, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 6);
}

TEST_F(DeviceExports, MirrorsReachTheSensor) {
  Open("units=0");
  int ok = 0;
  ASSERT_EQ(Quorel_SetMirrorH(handle_, 7), 1);
  EXPECT_EQ(Quorel_GetMirrorH(handle_), 1);
  EXPECT_NE(Quorel_ReadRegisterEx(handle_, 0x3040, &ok) & 0x4000, 0);
  ASSERT_EQ(Quorel_SetMirrorV(handle_, 1), 1);
  EXPECT_NE(Quorel_ReadRegisterEx(handle_, 0x3040, &ok) & 0x8000, 0);
  ASSERT_EQ(Quorel_SetMirrorH(handle_, 0), 1);
  EXPECT_EQ(Quorel_ReadRegisterEx(handle_, 0x3040, &ok) & 0x4000, 0);
  EXPECT_EQ(Quorel_GetMirrorV(handle_), 1);
}

TEST_F(DeviceExports, FilterValueRangesAndSideEffects) {
  Open("units=0");
  int ok = 0;
  // Ranges starting at 0 are tested unsigned: negative values fail.
  EXPECT_EQ(Quorel_SetSharpness(handle_, -1), 0);
  EXPECT_EQ(Quorel_SetSharpness(handle_, 30), 1);
  EXPECT_EQ(Quorel_SetSharpness(handle_, 31), 0);
  EXPECT_EQ(Quorel_SetBrightness(handle_, -255), 1);
  EXPECT_EQ(Quorel_SetBrightness(handle_, -256), 0);
  EXPECT_EQ(Quorel_SetHue(handle_, 360), 1);
  EXPECT_EQ(Quorel_SetGrayOffsetB(handle_, -255), 1);
  EXPECT_EQ(Quorel_SetGrayGainR(handle_, 256), 0);
  EXPECT_EQ(Quorel_SetFilterValue(handle_, 28, 2), 0);
  EXPECT_EQ(Quorel_SetFilterValue(handle_, 29, 0), 0);
  EXPECT_EQ(Quorel_GetFilterValue(handle_, 0, &ok), 0);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(History(handle_), std::vector<int>(7, 9));
  EXPECT_EQ(Quorel_GetSharpness(handle_, &ok), 30);
  EXPECT_EQ(ok, 1);

  // Packed Bayer gains: low 8 bits of each, always accepted.
  EXPECT_EQ(Quorel_SetBayerGainRGB(handle_, 0x00334455), 1);
  EXPECT_EQ(Quorel_GetBayerGainRed(handle_, nullptr), 0x55);
  EXPECT_EQ(Quorel_GetBayerGainGreen(handle_, nullptr), 0x44);
  EXPECT_EQ(Quorel_GetBayerGainBlue(handle_, nullptr), 0x33);
  EXPECT_EQ(Quorel_SetBayerGainRed(handle_, 300), 1);
  EXPECT_EQ(Quorel_GetBayerGainRGB(handle_, nullptr), (300 & 0xFF) | 0x44 << 8 | 0x33 << 16);
  EXPECT_EQ(Quorel_SetBayerGainAuto(handle_, 5), 1);
  EXPECT_EQ(Quorel_GetBayerGainAuto(handle_, nullptr), 1);

  // Global gain: stored as all four colour gains, read back from the sensor.
  EXPECT_EQ(Quorel_SetGlobalGain(handle_, 128), 0);
  EXPECT_EQ(Quorel_SetGlobalGain(handle_, 77), 1);
  EXPECT_EQ(Quorel_GetGlobalGain(handle_, nullptr), 77);
  EXPECT_EQ(Quorel_ReadRegisterEx(handle_, 0x305E, &ok), (77 & 0x7F) | 0x1080);
  EXPECT_EQ(Quorel_SetColorGainBlue(handle_, 12), 1);
  EXPECT_EQ(Quorel_GetColorGainBlue(handle_, nullptr), 12);
  EXPECT_EQ(Quorel_ReadRegisterEx(handle_, 0x3058, &ok), 12 | 0x1080);
  EXPECT_EQ(Quorel_SetExposureTime(handle_, 16384), 0);
  EXPECT_EQ(Quorel_SetExposureTime(handle_, 1234), 1);
  EXPECT_EQ(Quorel_GetExposureTime(handle_, nullptr), 1234);
  EXPECT_EQ(History(handle_), (std::vector<int>{9, 9}));
}

TEST_F(DeviceExports, RealExposureTime) {
  Open("units=0");
  ASSERT_EQ(Quorel_SetExposureTime(handle_, 1970), 1);
  ASSERT_EQ(Quorel_SetHalfClock(handle_, 0), 1);
  int ok = 0;
  EXPECT_EQ(Quorel_GetRealExposureTime(handle_, &ok), 299439);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(Quorel_SetRealExposureTime(handle_, 299440), 1);
  EXPECT_EQ(Quorel_GetExposureTime(handle_, nullptr), 1970);
  EXPECT_EQ(Quorel_SetRealExposureTime(handle_, 2500000), 0);
  EXPECT_EQ(Quorel_GetLastError(handle_), 9);
  EXPECT_EQ(Quorel_GetExposureTime(handle_, nullptr), 1970);
}

}  // namespace
