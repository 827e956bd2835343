// Child process for the cross-process tests: starts a preview on unit 0 of
// the virtual camera, writes 'S' (started) or 'F' (failed) to stdout, keeps
// previewing until stdin closes, then stops and exits.
#include <unistd.h>

#include <cstdlib>

#include "QuorelSdk_470KX_PLU.h"
#include "QuorelSim.h"

int main() {
  QuorelSim_Enable("units=0;fps=30");
  const int handle = Quorel_Initialize(nullptr);
  Quorel_SetCaptureWindowEx(handle, 3488, 0, 320, 2616, 0, 240);
  Quorel_SetPreviewWindow(handle, nullptr, 0, 0, 0, 0);
  const bool started = Quorel_StartPreview(handle) == 1;
  const char answer = started ? 'S' : 'F';
  if (write(1, &answer, 1) != 1) return 2;
  char byte;
  while (read(0, &byte, 1) > 0) {
  }
  Quorel_StopPreview(handle);
  Quorel_Release(handle);
  return started ? 0 : 1;
}
