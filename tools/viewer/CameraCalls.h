// The camera calls the viewer makes, grouped into the steps it needs, on the
// library's public C API only. Everything here runs on the camera thread
// (CameraThread); nothing here touches the GUI.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "PictureLayout.h"
#include "QuorelHost.h"

namespace quorel::viewer {

// The size and depth of the image the camera delivers with its settings now.
struct FrameGeometry {
  int width = 0;
  int height = 0;
  int bitCount = 0;  // 8, 16, 24, 32, 48 or 64
};

// Bits per pixel from what Quorel_GetColorMode reports (8, 12, 24, 32, 44,
// 60); 0 for anything else.
int BitCountFromColorMode(int reported);

FrameGeometry ReadGeometry(int handle);

struct CameraEntry {
  int unit = 0;
  std::string name;
};

// The present units with their names. `absentProbes` counts the units asked
// for a name that turned out absent (each records code 2 in the camera).
std::vector<CameraEntry> ListCameras(int handle, int &absentProbes);

// Where the library's preview window goes: a registered parent window and the
// picture's rectangle in it, or no window at all.
struct PreviewPlacement {
  HWND parent = nullptr;
  PictureRect rect;
};

struct StartResult {
  bool ok = false;
  // The library shows the picture in its own window (else the viewer paints).
  bool libraryWindow = false;
};

// Callback preview into `buffer`, announced to `messages`: first with the
// library's own window in `placement.parent`; if the library cannot create
// that window (code 4), without a window, so that the viewer paints frames
// itself.
StartResult StartLive(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size);

// Trigger mode with the same window choice as StartLive.
StartResult StartTriggerMode(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size);

// Starts a recording of `ms` milliseconds on the running live preview, and
// gives the callback buffer back to the viewer: a recording takes over the
// preview's delivery, so the callback is set again without asking for a
// further window. Returns Quorel_Record's result.
bool StartRecording(int handle, HWND messages, const PreviewPlacement &placement, uint8_t *buffer, int size,
                    const std::string &path, int ms);

// Figures for the status bar; a figure the camera does not answer stays empty.
struct CameraReadings {
  std::optional<int> exposureUs;
  std::optional<int> globalGain;
  std::optional<int> colourGains[4];
  std::optional<uint64_t> dropped;
  int colourModeBits = 0;
};
CameraReadings ReadStatus(int handle);

}  // namespace quorel::viewer
