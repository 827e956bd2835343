// Still images, recording and configuration files.
#include "QuorelSdk_470KX_PLU.h"
#include "api/ExportFrame.h"

extern "C" {

QUOREL_API int Quorel_SaveImage(int handle, const char *fileName, int fileType) {
  QUOREL_FORWARD(0, camera.SaveImage(fileName, fileType), fileName, fileType);
}

QUOREL_API int Quorel_SaveImageW(int handle, const wchar_t *fileName, int fileType) {
  QUOREL_FORWARD(0, camera.SaveImageW(fileName, fileType), fileName, fileType);
}

QUOREL_API int Quorel_Record(int handle, const char *fileName, int durationMs, int showWindow) {
  QUOREL_FORWARD(0, camera.Record(fileName, durationMs, showWindow), fileName, durationMs, showWindow);
}

QUOREL_API int Quorel_RecordW(int handle, const wchar_t *fileName, int durationMs, int showWindow) {
  QUOREL_FORWARD(0, camera.RecordW(fileName, durationMs, showWindow), fileName, durationMs, showWindow);
}

QUOREL_API int Quorel_LoadConfigFileA(int handle, const char *fileName) {
  QUOREL_FORWARD(0, camera.LoadConfigFile(fileName), fileName);
}

QUOREL_API int Quorel_LoadConfigFileW(int handle, const wchar_t *fileName) {
  QUOREL_FORWARD(0, camera.LoadConfigFileW(fileName), fileName);
}

}  // extern "C"
