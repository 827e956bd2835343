// The shared library exports exactly the 124 camera functions plus the
// documented host, virtual-camera, stream and file functions, and nothing else: no C++
// symbol, no standard-library instantiation.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

const char *const kCameraFunctions[] = {
    "Quorel_GetDllVersion",
    "Quorel_Initialize",
    "Quorel_Release",
    "Quorel_GetLastError",
    "Quorel_EnumDevice",
    "Quorel_EnumDeviceW",
    "Quorel_GetDeviceName",
    "Quorel_GetDeviceNameW",
    "Quorel_SetDeviceNumber",
    "Quorel_GetCameraInfo",
    "Quorel_Preview",
    "Quorel_CallBackPreview",
    "Quorel_Capture",
    "Quorel_SnapShot",
    "Quorel_Trigger",
    "Quorel_StartPreview",
    "Quorel_StopPreview",
    "Quorel_Close",
    "Quorel_GetImage",
    "Quorel_SetPreviewWindow",
    "Quorel_GetStatus",
    "Quorel_SaveImage",
    "Quorel_SaveImageW",
    "Quorel_Record",
    "Quorel_RecordW",
    "Quorel_LoadConfigFileA",
    "Quorel_LoadConfigFileW",
    "Quorel_SetColorMode",
    "Quorel_GetColorMode",
    "Quorel_SetSubSample",
    "Quorel_GetSubSample",
    "Quorel_SetCaptureWindow",
    "Quorel_SetCaptureWindowEx",
    "Quorel_GetCaptureWindowEx",
    "Quorel_Width",
    "Quorel_Height",
    "Quorel_SetHalfClock",
    "Quorel_GetHalfClock",
    "Quorel_SetWaitTime",
    "Quorel_GetWaitTime",
    "Quorel_SetMirrorH",
    "Quorel_SetMirrorV",
    "Quorel_GetMirrorH",
    "Quorel_GetMirrorV",
    "Quorel_SetAutoIris",
    "Quorel_GetAutoIris",
    "Quorel_SetRealExposureTime",
    "Quorel_GetRealExposureTime",
    "Quorel_GetFilterValue",
    "Quorel_SetFilterValue",
    "Quorel_GetBrightness",
    "Quorel_SetBrightness",
    "Quorel_GetContrast",
    "Quorel_SetContrast",
    "Quorel_GetHue",
    "Quorel_SetHue",
    "Quorel_GetSaturation",
    "Quorel_SetSaturation",
    "Quorel_GetSharpness",
    "Quorel_SetSharpness",
    "Quorel_GetBayerGainRGB",
    "Quorel_SetBayerGainRGB",
    "Quorel_GetBayerGainRed",
    "Quorel_SetBayerGainRed",
    "Quorel_GetBayerGainGreen",
    "Quorel_SetBayerGainGreen",
    "Quorel_GetBayerGainBlue",
    "Quorel_SetBayerGainBlue",
    "Quorel_GetBayerGainAuto",
    "Quorel_SetBayerGainAuto",
    "Quorel_GetGamma",
    "Quorel_SetGamma",
    "Quorel_GetBayerMode",
    "Quorel_SetBayerMode",
    "Quorel_GetGlobalGain",
    "Quorel_SetGlobalGain",
    "Quorel_GetColorGainRed",
    "Quorel_SetColorGainRed",
    "Quorel_GetColorGainGreen1",
    "Quorel_SetColorGainGreen1",
    "Quorel_GetColorGainGreen2",
    "Quorel_SetColorGainGreen2",
    "Quorel_GetColorGainBlue",
    "Quorel_SetColorGainBlue",
    "Quorel_GetExposureTime",
    "Quorel_SetExposureTime",
    "Quorel_GetGrayMode",
    "Quorel_SetGrayMode",
    "Quorel_GetGrayGainR",
    "Quorel_SetGrayGainR",
    "Quorel_GetGrayGainG1",
    "Quorel_SetGrayGainG1",
    "Quorel_GetGrayGainG2",
    "Quorel_SetGrayGainG2",
    "Quorel_GetGrayGainB",
    "Quorel_SetGrayGainB",
    "Quorel_GetGrayOffsetR",
    "Quorel_SetGrayOffsetR",
    "Quorel_GetGrayOffsetG1",
    "Quorel_SetGrayOffsetG1",
    "Quorel_GetGrayOffsetG2",
    "Quorel_SetGrayOffsetG2",
    "Quorel_GetGrayOffsetB",
    "Quorel_SetGrayOffsetB",
    "Quorel_SetCameraDlg",
    "Quorel_SetImageDlg",
    "Quorel_SetAnalogDlg",
    "Quorel_ReadRegister",
    "Quorel_ReadRegisterEx",
    "Quorel_WriteRegister",
    "Quorel_WriteRegisterEx",
    "Quorel_ReadSromID",
    "Quorel_WriteSromID",
    "Quorel_GetIOPort",
    "Quorel_SetIOPort",
    "Quorel_Fps",
    "Quorel_SetCrossbar",
    "Quorel_SetSamplingRate",
    "Quorel_Fpga_ReadRegister",
    "Quorel_Fpga_WriteRegister",
    "Quorel_GetSamplingRate",
    "Quorel_GetVideoFormat",
    "Quorel_GetConfigFilter",
    "Quorel_SetConfigFilter",
};

const char *const kHostAndSimFunctions[] = {
    "QuorelHost_CreateMessageWindow",
    "QuorelHost_DestroyWindow",
    "QuorelHost_PeekMessage",
    "QuorelHost_WaitMessage",
    "QuorelHost_GetEventFd",
    "QuorelHost_WrapX11Window",
    "QuorelSim_Enable",
    "QuorelSim_Trigger",
    "QuorelSim_SetPresent",
    "QuorelSim_InjectFault",
    "QuorelStream_GetFrameMeta",
    "QuorelStream_GetStatistics",
    "QuorelStream_ResetStatistics",
    "QuorelFiles_GetSettingsPath",
    "QuorelFiles_KeyExists",
    "QuorelFiles_ReadDword",
    "QuorelFiles_WriteDwords",
    "QuorelFiles_EnsureFirstRunEntries",
    "QuorelFiles_ReadRootPresets",
    "QuorelFiles_AddRootPreset",
    "QuorelFiles_RepairAvi",
};

// Defined dynamic symbols of the built library, as nm lists them.
std::set<std::string> ExportedSymbols() {
  std::set<std::string> symbols;
  const std::string command = std::string("nm -D --defined-only --format=posix '") + QUOREL_SHARED_LIBRARY_PATH + "'";
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return symbols;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string entry(line);
    const auto space = entry.find(' ');
    if (space == std::string::npos) continue;
    const char type = entry.size() > space + 1 ? entry[space + 1] : '?';
    std::string name = entry.substr(0, space);
    if (const auto at = name.find('@'); at != std::string::npos) name.resize(at);
    // Version-node names (type A) are bookkeeping, not symbols.
    if (type == 'A') continue;
    symbols.insert(name);
  }
  pclose(pipe);
  return symbols;
}

TEST(ExportedSymbols, ExactlyTheDocumentedFunctions) {
  const std::set<std::string> camera(std::begin(kCameraFunctions), std::end(kCameraFunctions));
  ASSERT_EQ(camera.size(), 124U) << "the list above must name each camera function once";
  std::set<std::string> expected = camera;
  expected.insert(std::begin(kHostAndSimFunctions), std::end(kHostAndSimFunctions));

  const std::set<std::string> actual = ExportedSymbols();
  ASSERT_FALSE(actual.empty()) << "could not list " << QUOREL_SHARED_LIBRARY_PATH;
  for (const std::string &name : expected) EXPECT_TRUE(actual.count(name)) << "missing export " << name;
  for (const std::string &name : actual) EXPECT_TRUE(expected.count(name)) << "unexpected export " << name;

  size_t cameraExports = 0;
  for (const std::string &name : actual) cameraExports += name.rfind("Quorel_", 0) == 0 ? 1 : 0;
  EXPECT_EQ(cameraExports, 124U);
}

}  // namespace
