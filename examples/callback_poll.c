/*
 * callback_poll - the callback-preview pattern with a poll(2) loop: frame
 * and error messages arrive in a message window whose event descriptor is
 * readable while messages wait, so the same loop can also watch sockets,
 * timers or a GUI toolkit's descriptors.
 *
 *   QUOREL_DRIVER=sim ./callback_poll [frames] [bits per pixel]
 *
 * At the end it prints the rate between the first and the last frame.
 */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include <QuorelHost.h>
#include <QuorelSdk_470KX_PLU.h>

int main(int argc, char **argv) {
  int wanted = argc > 1 ? atoi(argv[1]) : 20;
  int bits = argc > 2 ? atoi(argv[2]) : 8;
  HWND window = QuorelHost_CreateMessageWindow();
  int handle = Quorel_Initialize(window); /* errors go to the same window */
  if (handle == 0) return 1;
  Quorel_SetPreviewWindow(handle, NULL, 0, 0, 0, 0);
  if (!Quorel_SetColorMode(handle, bits)) {
    fprintf(stderr, "colour mode %d refused (error %d)\n", bits, Quorel_GetLastError(handle));
    return 2;
  }
  /* Rows are padded to a multiple of 4 bytes. */
  size_t stride = ((size_t)Quorel_Width(handle) * (size_t)(bits / 8) + 3) & ~(size_t)3;
  size_t bytes = stride * (size_t)Quorel_Height(handle);
  unsigned char *buffer = malloc(bytes);
  if (buffer == NULL || !Quorel_CallBackPreview(handle, window, buffer, (int)bytes, 1)) {
    fprintf(stderr, "could not start preview (error %d)\n", Quorel_GetLastError(handle));
    return 1;
  }

  struct pollfd fds[1] = {{.fd = QuorelHost_GetEventFd(window), .events = POLLIN}};
  int frames = 0;
  struct timespec first = {0, 0}, last = {0, 0};
  while (frames < wanted) {
    if (poll(fds, 1, 5000) <= 0) {
      fprintf(stderr, "no message for 5 s\n");
      break;
    }
    QuorelHostMsg msg;
    while (QuorelHost_PeekMessage(window, &msg)) {
      if (msg.message == QUOREL_WM_ERROR) {
        fprintf(stderr, "error %ld\n", (long)msg.lParam);
      } else if (msg.message == QUOREL_WM_FRAME && msg.wParam != 0) {
        const QuorelFrameInfo *info = (const QuorelFrameInfo *)msg.wParam;
        clock_gettime(CLOCK_MONOTONIC, frames == 0 ? &first : &last);
        /* The buffer holds this frame until the next one is copied in. */
        printf("frame %3d  %dx%d  first sample %3u  %d.%d fps\n", ++frames, info->width, info->height, info->buffer[0],
               info->frameRate / 10, info->frameRate % 10);
      }
    }
  }
  if (frames > 1) {
    double seconds = (double)(last.tv_sec - first.tv_sec) + (double)(last.tv_nsec - first.tv_nsec) / 1e9;
    printf("%d frames, %.2f fps\n", frames, seconds > 0 ? (frames - 1) / seconds : 0.0);
  }
  Quorel_StopPreview(handle);
  Quorel_Release(handle);
  QuorelHost_DestroyWindow(window);
  free(buffer);
  return frames >= wanted ? 0 : 1;
}
