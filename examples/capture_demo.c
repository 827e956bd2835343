/*
 * capture_demo - streams from the first camera with callback preview for a
 * few seconds, printing frames and frame rate from the frame messages, then
 * takes one snapshot in each colour mode and prints the image statistics.
 *
 *   QUOREL_DRIVER=sim ./capture_demo [seconds]
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <QuorelHost.h>
#include <QuorelSdk_470KX_PLU.h>

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void print_errors(int handle) {
  int code;
  while ((code = Quorel_GetLastError(handle)) != 0) fprintf(stderr, "  error code %d\n", code);
}

/* Mean and range of the samples of one snapshot (16-bit modes hold 12-bit values). */
static void print_statistics(int bits, const unsigned char *data, size_t bytes) {
  const int wide = bits == 16 || bits == 48 || bits == 64;
  uint64_t sum = 0;
  unsigned lo = 0xFFFF, hi = 0;
  size_t count = wide ? bytes / 2 : bytes;
  for (size_t i = 0; i < count; ++i) {
    unsigned v = wide ? (unsigned)(data[2 * i] | (data[2 * i + 1] << 8)) : data[i];
    sum += v;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  printf("  %2d bits: %zu bytes, samples %u..%u, mean %.1f\n", bits, bytes, lo, hi,
         count ? (double)sum / (double)count : 0.0);
}

int main(int argc, char **argv) {
  int seconds = argc > 1 ? atoi(argv[1]) : 3;
  HWND events = QuorelHost_CreateMessageWindow();
  int handle = Quorel_Initialize(events);
  if (handle == 0) return 1;
  printf("library version %d, camera %d x %d\n", Quorel_GetDllVersion(), Quorel_Width(handle), Quorel_Height(handle));

  /* No preview window: frames go to our buffer and message window only. */
  Quorel_SetPreviewWindow(handle, NULL, 0, 0, 0, 0);
  Quorel_SetColorMode(handle, 24);
  int width = Quorel_Width(handle), height = Quorel_Height(handle);
  size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
  size_t bytes = stride * (size_t)height;
  unsigned char *buffer = malloc(bytes * 4);
  if (buffer == NULL) return 1;

  HWND frames = QuorelHost_CreateMessageWindow();
  if (!Quorel_CallBackPreview(handle, frames, buffer, (int)bytes, 1)) {
    fprintf(stderr, "preview failed\n");
    print_errors(handle);
    return 1;
  }
  int delivered = 0;
  QuorelHostMsg msg;
  const double end = now_seconds() + seconds;
  while (now_seconds() < end) {
    if (!QuorelHost_WaitMessage(frames, &msg, 100)) continue;
    if (msg.message != QUOREL_WM_FRAME) continue;
    if (msg.wParam == 0) {
      fprintf(stderr, "frame failed with code %ld\n", (long)msg.lParam);
      continue;
    }
    const QuorelFrameInfo *info = (const QuorelFrameInfo *)msg.wParam;
    /* The rate is measured by the library over about a second of frames. */
    if (++delivered % 5 == 1)
      printf("frame %4d: %d x %d, %d bits, %d.%d fps\n", delivered, info->width, info->height, info->bitCount,
             info->frameRate / 10, info->frameRate % 10);
  }
  Quorel_StopPreview(handle);
  printf("%d frames delivered\n", delivered);

  printf("snapshots:\n");
  static const int modes[] = {8, 16, 24, 32, 48, 64};
  for (size_t i = 0; i < sizeof modes / sizeof modes[0]; ++i) {
    int bits = modes[i];
    size_t modeStride = ((size_t)width * (size_t)(bits / 8) + 3) & ~(size_t)3;
    size_t modeBytes = modeStride * (size_t)height;
    Quorel_SetColorMode(handle, bits);
    if (Quorel_SnapShot(handle, buffer, (int)modeBytes, 1))
      print_statistics(bits, buffer, modeBytes);
    else
      print_errors(handle);
  }
  free(buffer);
  Quorel_Release(handle);
  QuorelHost_DestroyWindow(frames);
  QuorelHost_DestroyWindow(events);
  return 0;
}
