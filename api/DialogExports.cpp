// The three modal settings dialogs.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_SetCameraDlg(int handle, HWND owner) {
  QUOREL_FORWARD(0, camera.SetCameraDlg(owner), owner);
}

QUOREL_API int Quorel_SetImageDlg(int handle, HWND owner) {
  QUOREL_FORWARD(0, camera.SetImageDlg(owner), owner);
}

QUOREL_API int Quorel_SetAnalogDlg(int handle, HWND owner) {
  QUOREL_FORWARD(0, camera.SetAnalogDlg(owner), owner);
}

}  // extern "C"
