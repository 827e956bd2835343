// Functions this camera does not have, kept so that applications written for
// other models compile and link unchanged.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_Fps(int handle) {
  QUOREL_FORWARD(0, camera.NotSupportedPost());
}

QUOREL_API int Quorel_SetCrossbar(int handle, int /*input*/) {
  QUOREL_FORWARD(0, camera.NotSupportedPost());
}

QUOREL_API int Quorel_SetSamplingRate(int handle, int /*rate*/) {
  QUOREL_FORWARD(0, camera.NotSupportedPost());
}

QUOREL_API int Quorel_Fpga_ReadRegister(int handle, int /*reg*/, int * /*ok*/) {
  QUOREL_FORWARD(0, camera.NotSupportedPost());
}

QUOREL_API int Quorel_Fpga_WriteRegister(int handle, int /*reg*/, int /*value*/) {
  QUOREL_FORWARD(0, camera.NotSupportedPost());
}

QUOREL_API int Quorel_GetSamplingRate(int handle, int *rate) {
  QUOREL_FORWARD(0, camera.NotSupportedZero(rate), rate);
}

QUOREL_API int Quorel_GetVideoFormat(int handle, int *format) {
  QUOREL_FORWARD(0, camera.NotSupportedZero(format), format);
}

QUOREL_API int Quorel_GetConfigFilter(int handle) {
  QUOREL_FORWARD(0, camera.NotSupportedRecord());
}

QUOREL_API int Quorel_SetConfigFilter(int handle) {
  QUOREL_FORWARD(0, camera.NotSupportedRecord());
}

}  // extern "C"
