/*
 * camera_info - opens the first camera, prints the library version, the
 * camera's settings and its error history, and releases it.
 *
 * Build against an installed SDK:
 *   cc camera_info.c $(pkg-config --cflags --libs quorel-sdk) -o camera_info
 * Without a camera attached, run it on the virtual camera: QUOREL_DRIVER=sim ./camera_info
 */
#include <stdio.h>

#include <QuorelHost.h>
#include <QuorelSdk_470KX_PLU.h>

static void print_filter(int handle, const char *name, int id) {
  int ok = 0;
  int value = Quorel_GetFilterValue(handle, id, &ok);
  if (ok)
    printf("  %-16s %d\n", name, value);
  else
    printf("  %-16s (not available)\n", name);
}

int main(void) {
  int version = Quorel_GetDllVersion();
  printf("library version   %d (0x%08X)\n", version, (unsigned)version);

  /* Errors are also posted to this window; this program reads the history. */
  HWND events = QuorelHost_CreateMessageWindow();
  int handle = Quorel_Initialize(events);
  if (handle == 0) {
    fprintf(stderr, "Quorel_Initialize failed: out of memory\n");
    return 1;
  }

  int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
  Quorel_GetCaptureWindowEx(handle, &hTotal, &hStart, &width, &vTotal, &vStart, &height);
  printf("capture window    %d x %d at (%d, %d), totals %d x %d\n", width, height, hStart, vStart, hTotal, vTotal);
  printf("colour mode       %d bits\n", Quorel_GetColorMode(handle));
  printf("sub-sampling      %d\n", Quorel_GetSubSample(handle));
  printf("wait time         %d ms\n", Quorel_GetWaitTime(handle));
  int ok = 0;
  int autoIris = Quorel_GetAutoIris(handle, &ok);
  printf("auto iris         %d\n", autoIris);
  int micros = Quorel_GetRealExposureTime(handle, &ok);
  if (ok) printf("exposure          %d us\n", micros);

  char names[10][256];
  int cameras = Quorel_EnumDevice(handle, names);
  printf("cameras found     %d\n", cameras);
  for (int i = 0; i < cameras && i < 10; ++i) printf("  %s\n", names[i]);

  printf("filters:\n");
  print_filter(handle, "brightness", 1);
  print_filter(handle, "contrast", 2);
  print_filter(handle, "gamma", 11);
  print_filter(handle, "bayer mode", 12);
  print_filter(handle, "global gain", 13);
  print_filter(handle, "exposure lines", 18);

  printf("error history (newest first):");
  int code, any = 0;
  while ((code = Quorel_GetLastError(handle)) != 0) {
    printf(" %d", code);
    any = 1;
  }
  printf(any ? "\n" : " none\n");

  Quorel_Release(handle);
  QuorelHost_DestroyWindow(events);
  return 0;
}
