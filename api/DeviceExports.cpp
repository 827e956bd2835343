// Device enumeration, naming and identity exports.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_EnumDevice(int handle, char (*names)[256]) {
  QUOREL_FORWARD(0, camera.EnumDevice(names), names);
}

QUOREL_API int Quorel_EnumDeviceW(int handle, wchar_t (*names)[256]) {
  QUOREL_FORWARD(0, camera.EnumDeviceW(names), names);
}

QUOREL_API int Quorel_GetDeviceName(int handle, int index, char *name, int size) {
  QUOREL_FORWARD(0, camera.GetDeviceName(index, name, size), index, name, size);
}

QUOREL_API int Quorel_GetDeviceNameW(int handle, int index, wchar_t *name, int size) {
  QUOREL_FORWARD(0, camera.GetDeviceNameW(index, name, size), index, name, size);
}

QUOREL_API int Quorel_SetDeviceNumber(int handle, int index) {
  QUOREL_FORWARD(0, camera.SetDeviceNumber(index), index);
}

QUOREL_API int Quorel_GetCameraInfo(int handle, QuorelCameraInfo *info) {
  QUOREL_FORWARD(0, camera.GetCameraInfo(info), info);
}

}  // extern "C"
