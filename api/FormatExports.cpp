// Format, geometry and timing exports. Most only store values that reach the
// sensor when acquisition is next prepared.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_SetColorMode(int handle, int bitsPerPixel) {
  QUOREL_FORWARD(0, camera.SetColorMode(bitsPerPixel), bitsPerPixel);
}

QUOREL_API int Quorel_GetColorMode(int handle) {
  QUOREL_FORWARD(-1, camera.GetColorMode());
}

QUOREL_API int Quorel_SetSubSample(int handle, int code) {
  QUOREL_FORWARD(0, camera.SetSubSample(code), code);
}

QUOREL_API int Quorel_GetSubSample(int handle) {
  QUOREL_FORWARD(-1, camera.GetSubSample());
}

QUOREL_API int Quorel_SetCaptureWindow(int handle, int width, int height) {
  QUOREL_FORWARD(0, camera.SetCaptureWindow(width, height), width, height);
}

QUOREL_API int Quorel_SetCaptureWindowEx(int handle, int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                                         int vEffective) {
  QUOREL_FORWARD(0, camera.SetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective), hTotal, hStart,
                 hEffective, vTotal, vStart, vEffective);
}

QUOREL_API int Quorel_GetCaptureWindowEx(int handle, int *hTotal, int *hStart, int *hEffective, int *vTotal,
                                         int *vStart, int *vEffective) {
  QUOREL_FORWARD(0, camera.GetCaptureWindowEx(hTotal, hStart, hEffective, vTotal, vStart, vEffective), hTotal, hStart,
                 hEffective, vTotal, vStart, vEffective);
}

QUOREL_API int Quorel_Width(int handle) {
  QUOREL_FORWARD(0, camera.Width());
}

QUOREL_API int Quorel_Height(int handle) {
  QUOREL_FORWARD(0, camera.Height());
}

QUOREL_API int Quorel_SetHalfClock(int handle, int mode) {
  QUOREL_FORWARD(0, camera.SetHalfClock(mode), mode);
}

QUOREL_API int Quorel_GetHalfClock(int handle, int *ok) {
  QUOREL_FORWARD(0, camera.GetHalfClock(ok), ok);
}

QUOREL_API int Quorel_SetWaitTime(int handle, int milliseconds) {
  QUOREL_FORWARD(0, camera.SetWaitTime(milliseconds), milliseconds);
}

QUOREL_API int Quorel_GetWaitTime(int handle) {
  QUOREL_FORWARD(-1, camera.GetWaitTime());
}

}  // extern "C"
