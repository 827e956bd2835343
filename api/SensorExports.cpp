// Sensor controls, registers, serial ROM and the I/O port.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_SetMirrorH(int handle, int on) {
  QUOREL_FORWARD(0, camera.SetMirrorH(on), on);
}

QUOREL_API int Quorel_SetMirrorV(int handle, int on) {
  QUOREL_FORWARD(0, camera.SetMirrorV(on), on);
}

QUOREL_API int Quorel_GetMirrorH(int handle) {
  QUOREL_FORWARD(0, camera.GetMirrorH());
}

QUOREL_API int Quorel_GetMirrorV(int handle) {
  QUOREL_FORWARD(0, camera.GetMirrorV());
}

QUOREL_API int Quorel_SetAutoIris(int handle, int mode) {
  QUOREL_FORWARD(0, camera.SetAutoIris(mode), mode);
}

QUOREL_API int Quorel_GetAutoIris(int handle, int *ok) {
  QUOREL_FORWARD(0, camera.GetAutoIris(ok), ok);
}

QUOREL_API int Quorel_SetRealExposureTime(int handle, int microseconds) {
  QUOREL_FORWARD(0, camera.SetRealExposureTime(microseconds), microseconds);
}

QUOREL_API int Quorel_GetRealExposureTime(int handle, int *ok) {
  QUOREL_FORWARD(0, camera.GetRealExposureTime(ok), ok);
}

// The plain forms use only the low 8 bits of the register number; the Ex
// forms pass it whole.
QUOREL_API int Quorel_ReadRegister(int handle, int reg, int *ok) {
  QUOREL_FORWARD(0, camera.ReadRegister(reg & 0xFF, ok), reg, ok);
}

QUOREL_API int Quorel_ReadRegisterEx(int handle, int reg, int *ok) {
  QUOREL_FORWARD(0, camera.ReadRegister(reg, ok), reg, ok);
}

QUOREL_API int Quorel_WriteRegister(int handle, int reg, int value) {
  QUOREL_FORWARD(0, camera.WriteRegister(reg & 0xFF, value), reg, value);
}

QUOREL_API int Quorel_WriteRegisterEx(int handle, int reg, int value) {
  QUOREL_FORWARD(0, camera.WriteRegister(reg, value), reg, value);
}

QUOREL_API int Quorel_ReadSromID(int handle, int index, int *ok) {
  QUOREL_FORWARD(0, camera.ReadSromID(index, ok), index, ok);
}

QUOREL_API int Quorel_WriteSromID(int handle, int index, int value) {
  QUOREL_FORWARD(0, camera.WriteSromID(index, value), index, value);
}

QUOREL_API int Quorel_GetIOPort(int handle, unsigned char *value) {
  QUOREL_FORWARD(0, camera.GetIOPort(value), value);
}

QUOREL_API int Quorel_SetIOPort(int handle, int value) {
  QUOREL_FORWARD(0, camera.SetIOPort(value), value);
}

}  // extern "C"
