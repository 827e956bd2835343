// quorel dialog: opens one of the camera's settings dialogs and prints what
// the user changed once it has closed.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ArgReader.h"
#include "CameraSession.h"
#include "Commands.h"
#include "FilterNames.h"

namespace quorel::cli {

const char kDialogHelp[] =
    "usage: quorel dialog camera|image|analog\n"
    "\n"
    "Opens a settings dialog of the camera (Quorel_SetCameraDlg, Quorel_SetImageDlg,\n"
    "Quorel_SetAnalogDlg) and waits until it is closed, then prints each setting\n"
    "that changed as 'name: before -> after'.\n"
    "\n"
    "  camera   colour mode, image size, sub-sampling, wait time and clock; saved\n"
    "           to the settings file on OK and Apply, used by the camera after OK\n"
    "  image    brightness, contrast, hue, saturation, sharpness, Bayer gains,\n"
    "           gamma, Bayer mode, white balance; gray-mode values for 8 and 16 bits\n"
    "  analog   global and colour gains, exposure, auto iris, mirroring (live on\n"
    "           the sensor)\n"
    "\n"
    "The dialog needs a display (DISPLAY) and the library's GUI module; without\n"
    "them the command fails with error 4. Texts are Japanese when the locale\n"
    "(LC_ALL, LC_MESSAGES, LANG) starts with 'ja'. Values changed by the image and\n"
    "analog dialogs reach the settings file when the camera is released.\n";

namespace {

// Every setting a dialog can change, read through the public API.
std::vector<std::pair<std::string, int>> ReadSettings(int handle) {
  std::vector<std::pair<std::string, int>> values;
  int ok = 0;
  values.emplace_back("color-mode", Quorel_GetColorMode(handle));
  values.emplace_back("sub-sample", Quorel_GetSubSample(handle));
  values.emplace_back("wait-time", Quorel_GetWaitTime(handle));
  values.emplace_back("clock", Quorel_GetHalfClock(handle, &ok));
  int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
  Quorel_GetCaptureWindowEx(handle, &hTotal, &hStart, &width, &vTotal, &vStart, &height);
  values.emplace_back("h-total", hTotal);
  values.emplace_back("h-start", hStart);
  values.emplace_back("width", width);
  values.emplace_back("v-total", vTotal);
  values.emplace_back("v-start", vStart);
  values.emplace_back("height", height);
  for (int id = kFirstFilterId; id <= kLastFilterId; ++id) {
    if (id == 6) continue;  // the packed Bayer gains repeat 7 to 9
    values.emplace_back(std::string(FilterName(id)), Quorel_GetFilterValue(handle, id, &ok));
  }
  values.emplace_back("mirror-v", Quorel_GetMirrorV(handle));
  values.emplace_back("mirror-h", Quorel_GetMirrorH(handle));
  values.emplace_back("auto-iris", Quorel_GetAutoIris(handle, &ok));
  return values;
}

}  // namespace

int RunDialog(const Invocation &inv) {
  std::vector<std::string> a = PositionalOnly(inv);
  if (a.size() != 1) UsageFail(inv.command, "dialog needs one of camera, image, analog");
  int (*open)(int, HWND) = nullptr;
  const char *call = nullptr;
  if (a[0] == "camera") {
    open = Quorel_SetCameraDlg;
    call = "Quorel_SetCameraDlg";
  } else if (a[0] == "image") {
    open = Quorel_SetImageDlg;
    call = "Quorel_SetImageDlg";
  } else if (a[0] == "analog") {
    open = Quorel_SetAnalogDlg;
    call = "Quorel_SetAnalogDlg";
  } else {
    UsageFail(inv.command, "unknown dialog '" + a[0] + "' (camera, image or analog)");
  }

  CameraSession session(inv);
  const auto before = ReadSettings(session.handle());
  session.Check(open(session.handle(), nullptr), call);
  const auto after = ReadSettings(session.handle());
  session.TakeErrors();  // reading a setting the camera cannot report is no failure here
  int changed = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i].second == after[i].second) continue;
    std::printf("%s: %d -> %d\n", before[i].first.c_str(), before[i].second, after[i].second);
    ++changed;
  }
  if (changed == 0 && Verbose(inv)) std::printf("no setting changed\n");
  return kExitOk;
}

}  // namespace quorel::cli
