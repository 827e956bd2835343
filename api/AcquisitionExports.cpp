// Acquisition exports: preview, callback preview, capture, snapshot, trigger,
// stopping, the last image and the preview window.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_Preview(int handle) {
  QUOREL_FORWARD(0, camera.Preview());
}

QUOREL_API int Quorel_CallBackPreview(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  QUOREL_FORWARD(0, camera.CallBackPreview(callbackWindow, buffer, size, bottomUp), callbackWindow, buffer, size,
                 bottomUp);
}

QUOREL_API int Quorel_Capture(int handle) {
  QUOREL_FORWARD(0, camera.Capture());
}

QUOREL_API int Quorel_SnapShot(int handle, unsigned char *buffer, int size, int bottomUp) {
  QUOREL_FORWARD(0, camera.SnapShot(buffer, size, bottomUp), buffer, size, bottomUp);
}

QUOREL_API int Quorel_Trigger(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp) {
  QUOREL_FORWARD(0, camera.Trigger(callbackWindow, buffer, size, bottomUp), callbackWindow, buffer, size, bottomUp);
}

QUOREL_API int Quorel_StartPreview(int handle) {
  QUOREL_FORWARD(0, camera.StartPreview());
}

QUOREL_API int Quorel_StopPreview(int handle) {
  QUOREL_FORWARD(0, camera.StopPreview());
}

QUOREL_API int Quorel_Close(int handle) {
  QUOREL_FORWARD(0, camera.Close());
}

QUOREL_API int Quorel_GetImage(int handle, unsigned char *buffer, int size, int bottomUp) {
  QUOREL_FORWARD(0, camera.GetImage(buffer, size, bottomUp), buffer, size, bottomUp);
}

QUOREL_API int Quorel_SetPreviewWindow(int handle, HWND parent, int left, int top, int right, int bottom) {
  QUOREL_FORWARD(0, camera.SetPreviewWindow(parent, left, top, right, bottom), parent, left, top, right, bottom);
}

// There is no status to report: 0 for every handle.
QUOREL_API int Quorel_GetStatus(int handle) {
  QUOREL_FORWARD(0, 0);
}

}  // extern "C"
