#include "CameraCalls.h"

#include <dlfcn.h>

#include <cstdio>

#include "QuorelSdk_470KX_PLU.h"
#include "QuorelStream.h"

namespace quorel::viewer {
namespace {

int Divisor(int subSampleCode) {
  switch (subSampleCode) {
    case 1:
    case 17:
      return 2;
    case 2:
    case 18:
      return 4;
    default:
      return 1;
  }
}

// Stream statistics came to the library after its first release; the viewer
// looks the function up at run time so that it also runs on a library
// without it (the drop count then shows as unknown).
using GetStatisticsFn = int (*)(int, QuorelStreamStats *);
GetStatisticsFn StatisticsFunction() {
  static const GetStatisticsFn fn =
      reinterpret_cast<GetStatisticsFn>(dlsym(RTLD_DEFAULT, "QuorelStream_GetStatistics"));
  return fn;
}

std::optional<int> Read(int handle, int (*getter)(int, int *)) {
  int ok = 0;
  const int v = getter(handle, &ok);
  if (ok != 1) return std::nullopt;
  return v;
}

template <typename Start>
StartResult StartWithWindowChoice(int handle, const PreviewPlacement &placement, Start start) {
  StartResult result;
  if (placement.parent != nullptr) {
    const PictureRect &r = placement.rect;
    Quorel_SetPreviewWindow(handle, placement.parent, r.x, r.y, r.width, r.height);
    if (start() == 1) {
      result.ok = true;
      result.libraryWindow = true;
      return result;
    }
    // The code stays posted to the viewer's error panel; here it only
    // decides whether a start without the window is worth trying.
    if (Quorel_GetLastError(handle) != QUOREL_ERR_WINDOW) return result;
  }
  Quorel_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0);
  result.ok = start() == 1;
  return result;
}

}  // namespace

int BitCountFromColorMode(int reported) {
  switch (reported) {
    case 8:
      return 8;
    case 12:
      return 16;
    case 24:
      return 24;
    case 32:
      return 32;
    case 44:
      return 48;
    case 60:
      return 64;
    default:
      return 0;
  }
}

FrameGeometry ReadGeometry(int handle) {
  FrameGeometry g;
  const int divisor = Divisor(Quorel_GetSubSample(handle));
  g.width = Quorel_Width(handle) / divisor;
  g.height = Quorel_Height(handle) / divisor;
  g.bitCount = BitCountFromColorMode(Quorel_GetColorMode(handle));
  return g;
}

std::vector<CameraEntry> ListCameras(int handle, int &absentProbes) {
  absentProbes = 0;
  std::vector<CameraEntry> cameras;
  char names[32][256] = {};
  const int present = Quorel_EnumDevice(handle, names);
  // The list's names count the present units; their unit numbers come from
  // asking each unit in turn until all present ones are found.
  for (int unit = 0; unit < 32 && static_cast<int>(cameras.size()) < present; ++unit) {
    char name[256] = {};
    if (Quorel_GetDeviceName(handle, unit, name, sizeof name) == 1) {
      cameras.push_back(CameraEntry{unit, name});
    } else {
      ++absentProbes;
    }
  }
  return cameras;
}

StartResult StartLive(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size) {
  Quorel_Close(handle);
  return StartWithWindowChoice(handle, placement,
                               [&] { return Quorel_CallBackPreview(handle, messages, buffer, size, 1); });
}

StartResult StartTriggerMode(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size) {
  Quorel_Close(handle);
  return StartWithWindowChoice(handle, placement, [&] { return Quorel_Trigger(handle, messages, buffer, size, 1); });
}

bool StartRecording(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size,
                    const std::string &path, int ms) {
  // The preview runs already, with its window if it has one: no second one.
  const int recording = Quorel_Record(handle, path.c_str(), ms, 0);
  if (recording == 1) {
    Quorel_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0);
    Quorel_CallBackPreview(handle, messages, buffer, size, 1);
  }
  const PictureRect &r = placement.rect;
  if (placement.parent != nullptr) Quorel_SetPreviewWindow(handle, placement.parent, r.x, r.y, r.width, r.height);
  return recording == 1;
}

CameraReadings ReadStatus(int handle) {
  CameraReadings r;
  r.exposureUs = Read(handle, Quorel_GetRealExposureTime);
  r.globalGain = Read(handle, Quorel_GetGlobalGain);
  r.colourGains[0] = Read(handle, Quorel_GetColorGainRed);
  r.colourGains[1] = Read(handle, Quorel_GetColorGainGreen1);
  r.colourGains[2] = Read(handle, Quorel_GetColorGainGreen2);
  r.colourGains[3] = Read(handle, Quorel_GetColorGainBlue);
  if (GetStatisticsFn fn = StatisticsFunction()) {
    QuorelStreamStats stats{};
    stats.size = sizeof stats;
    if (fn(handle, &stats) == 1) r.dropped = stats.dropped;
  }
  r.colourModeBits = BitCountFromColorMode(Quorel_GetColorMode(handle));
  return r;
}

}  // namespace quorel::viewer
