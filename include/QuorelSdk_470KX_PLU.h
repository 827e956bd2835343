/*
 * QuorelSdk_470KX_PLU.h - C interface of the 470KX camera library.
 *
 * Every function takes the camera handle returned by Quorel_Initialize first
 * (except Quorel_GetDllVersion and Quorel_Initialize itself) and returns a
 * 32-bit integer: 1 for success and 0 for failure, or the value asked for.
 * Getters with an `ok` pointer write 1 or 0 there when the pointer is not
 * NULL. On failure the reason stands in the camera's error history
 * (Quorel_GetLastError) and is posted as QUOREL_WM_ERROR to the notification
 * window; an invalid handle returns the failure value and records nothing.
 *
 * Thread safety: functions on different handles may run in parallel. A handle
 * must not be released while another thread is inside a call on it.
 * Ownership: every buffer and record passed in stays the caller's.
 */
#ifndef QUOREL_SDK_470KX_PLU_H
#define QUOREL_SDK_470KX_PLU_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(QUOREL_BUILDING_LIBRARY)
#define QUOREL_API __attribute__((visibility("default")))
#else
#define QUOREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
/* The Windows names the prototypes use, so that applications written for the
 * Windows library compile unchanged. */
#ifndef QUOREL_HAVE_WINDOWS_TYPES
#define QUOREL_HAVE_WINDOWS_TYPES 1
typedef struct HWND__ *HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef unsigned int UINT;
#endif
#endif

/* Window messages (posted, never sent). */
#define QUOREL_WM_APP 0x8000u
/* A frame was delivered (wParam: QuorelFrameInfo *, lParam 0), or a frame
 * failed (wParam 0, lParam the error code 5, 8 or 13). */
#define QUOREL_WM_FRAME (QUOREL_WM_APP + 2u)
/* An error was recorded (wParam 0, lParam the error code). */
#define QUOREL_WM_ERROR (QUOREL_WM_APP + 3u)

/* Error codes read back with Quorel_GetLastError. */
#define QUOREL_ERR_NONE 0
#define QUOREL_ERR_NOT_READY 1
#define QUOREL_ERR_NO_CAMERA 2
#define QUOREL_ERR_THREAD 3
#define QUOREL_ERR_WINDOW 4
#define QUOREL_ERR_MEMORY 5
#define QUOREL_ERR_DEVICE 6
#define QUOREL_ERR_GEOMETRY 7
#define QUOREL_ERR_FRAME 8
#define QUOREL_ERR_ARGUMENT 9
#define QUOREL_ERR_UNUSED 10
#define QUOREL_ERR_NOT_SUPPORTED 11
#define QUOREL_ERR_FILE 12
#define QUOREL_ERR_TRANSFER_STOPPED 13

/* File types of Quorel_SaveImage. */
#define QUOREL_FILE_BMP 0
#define QUOREL_FILE_RAW 1
#define QUOREL_FILE_JPEG_100 2
#define QUOREL_FILE_JPEG_70 3
#define QUOREL_FILE_JPEG_20 4
#define QUOREL_FILE_PNG 5
#define QUOREL_FILE_TIFF 6

/* Frame-information record, filled before each QUOREL_WM_FRAME. It lives in
 * the camera object and is overwritten by the next frame. */
typedef struct QuorelFrameInfo {
  int32_t size;  /* always 32 */
  int32_t width; /* pixels of the delivered image */
  int32_t height;
  int32_t bitCount;  /* 8, 16, 24, 32, 48 or 64 */
  int32_t frameRate; /* frames per ten seconds; 0 in trigger mode */
  int32_t reserved;
  unsigned char *buffer; /* the application's destination buffer, or NULL */
} QuorelFrameInfo;

/* Camera-information record of Quorel_GetCameraInfo; set size before the call. */
typedef struct QuorelCameraInfo {
  int32_t size; /* at least 36 */
  int32_t width;
  int32_t height;
  int32_t globalGainMin;
  int32_t globalGainMax;
  int32_t colorGainMin;
  int32_t colorGainMax;
  int32_t exposureMin;
  int32_t exposureMax;
} QuorelCameraInfo;

#ifdef __cplusplus
static_assert(sizeof(QuorelFrameInfo) == 32, "frame-information record is 32 bytes");
static_assert(sizeof(QuorelCameraInfo) == 36, "camera-information record is 36 bytes");
#else
_Static_assert(sizeof(QuorelFrameInfo) == 32, "frame-information record is 32 bytes");
_Static_assert(sizeof(QuorelCameraInfo) == 36, "camera-information record is 36 bytes");
#endif

/* Library and handles */
QUOREL_API int Quorel_GetDllVersion(void);
QUOREL_API int Quorel_Initialize(HWND notifyWindow);
QUOREL_API int Quorel_Release(int handle);
QUOREL_API int Quorel_GetLastError(int handle);

/* Devices */
QUOREL_API int Quorel_EnumDevice(int handle, char (*names)[256]);
QUOREL_API int Quorel_EnumDeviceW(int handle, wchar_t (*names)[256]);
QUOREL_API int Quorel_GetDeviceName(int handle, int index, char *name, int size);
QUOREL_API int Quorel_GetDeviceNameW(int handle, int index, wchar_t *name, int size);
QUOREL_API int Quorel_SetDeviceNumber(int handle, int index);
QUOREL_API int Quorel_GetCameraInfo(int handle, QuorelCameraInfo *info);

/* Acquisition */
QUOREL_API int Quorel_Preview(int handle);
QUOREL_API int Quorel_CallBackPreview(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);
QUOREL_API int Quorel_Capture(int handle);
QUOREL_API int Quorel_SnapShot(int handle, unsigned char *buffer, int size, int bottomUp);
QUOREL_API int Quorel_Trigger(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);
QUOREL_API int Quorel_StartPreview(int handle);
QUOREL_API int Quorel_StopPreview(int handle);
QUOREL_API int Quorel_Close(int handle);
QUOREL_API int Quorel_GetImage(int handle, unsigned char *buffer, int size, int bottomUp);
QUOREL_API int Quorel_SetPreviewWindow(int handle, HWND parent, int left, int top, int right, int bottom);
QUOREL_API int Quorel_GetStatus(int handle);

/* Files */
QUOREL_API int Quorel_SaveImage(int handle, const char *fileName, int fileType);
QUOREL_API int Quorel_SaveImageW(int handle, const wchar_t *fileName, int fileType);
QUOREL_API int Quorel_Record(int handle, const char *fileName, int durationMs, int showWindow);
QUOREL_API int Quorel_RecordW(int handle, const wchar_t *fileName, int durationMs, int showWindow);
QUOREL_API int Quorel_LoadConfigFileA(int handle, const char *fileName);
QUOREL_API int Quorel_LoadConfigFileW(int handle, const wchar_t *fileName);

/* Format, geometry and timing */
QUOREL_API int Quorel_SetColorMode(int handle, int bitsPerPixel);
QUOREL_API int Quorel_GetColorMode(int handle);
QUOREL_API int Quorel_SetSubSample(int handle, int code);
QUOREL_API int Quorel_GetSubSample(int handle);
QUOREL_API int Quorel_SetCaptureWindow(int handle, int width, int height);
QUOREL_API int Quorel_SetCaptureWindowEx(int handle, int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                                         int vEffective);
QUOREL_API int Quorel_GetCaptureWindowEx(int handle, int *hTotal, int *hStart, int *hEffective, int *vTotal,
                                         int *vStart, int *vEffective);
QUOREL_API int Quorel_Width(int handle);
QUOREL_API int Quorel_Height(int handle);
QUOREL_API int Quorel_SetHalfClock(int handle, int mode);
QUOREL_API int Quorel_GetHalfClock(int handle, int *ok);
QUOREL_API int Quorel_SetWaitTime(int handle, int milliseconds);
QUOREL_API int Quorel_GetWaitTime(int handle);

/* Sensor controls */
QUOREL_API int Quorel_SetMirrorH(int handle, int on);
QUOREL_API int Quorel_SetMirrorV(int handle, int on);
QUOREL_API int Quorel_GetMirrorH(int handle);
QUOREL_API int Quorel_GetMirrorV(int handle);
QUOREL_API int Quorel_SetAutoIris(int handle, int mode);
QUOREL_API int Quorel_GetAutoIris(int handle, int *ok);
QUOREL_API int Quorel_SetRealExposureTime(int handle, int microseconds);
QUOREL_API int Quorel_GetRealExposureTime(int handle, int *ok);

/* Filter values: identifiers 1 to 28, and one named pair per identifier 1-27 */
QUOREL_API int Quorel_GetFilterValue(int handle, int filterId, int *ok);
QUOREL_API int Quorel_SetFilterValue(int handle, int filterId, int value);
#define QUOREL_FILTER_PAIR(Name)                        \
  QUOREL_API int Quorel_Get##Name(int handle, int *ok); \
  QUOREL_API int Quorel_Set##Name(int handle, int value);
QUOREL_FILTER_PAIR(Brightness)
QUOREL_FILTER_PAIR(Contrast)
QUOREL_FILTER_PAIR(Hue)
QUOREL_FILTER_PAIR(Saturation)
QUOREL_FILTER_PAIR(Sharpness)
QUOREL_FILTER_PAIR(BayerGainRGB)
QUOREL_FILTER_PAIR(BayerGainRed)
QUOREL_FILTER_PAIR(BayerGainGreen)
QUOREL_FILTER_PAIR(BayerGainBlue)
QUOREL_FILTER_PAIR(BayerGainAuto)
QUOREL_FILTER_PAIR(Gamma)
QUOREL_FILTER_PAIR(BayerMode)
QUOREL_FILTER_PAIR(GlobalGain)
QUOREL_FILTER_PAIR(ColorGainRed)
QUOREL_FILTER_PAIR(ColorGainGreen1)
QUOREL_FILTER_PAIR(ColorGainGreen2)
QUOREL_FILTER_PAIR(ColorGainBlue)
QUOREL_FILTER_PAIR(ExposureTime)
QUOREL_FILTER_PAIR(GrayMode)
QUOREL_FILTER_PAIR(GrayGainR)
QUOREL_FILTER_PAIR(GrayGainG1)
QUOREL_FILTER_PAIR(GrayGainG2)
QUOREL_FILTER_PAIR(GrayGainB)
QUOREL_FILTER_PAIR(GrayOffsetR)
QUOREL_FILTER_PAIR(GrayOffsetG1)
QUOREL_FILTER_PAIR(GrayOffsetG2)
QUOREL_FILTER_PAIR(GrayOffsetB)
#undef QUOREL_FILTER_PAIR

/* Dialogs (modal, on the calling thread) */
QUOREL_API int Quorel_SetCameraDlg(int handle, HWND owner);
QUOREL_API int Quorel_SetImageDlg(int handle, HWND owner);
QUOREL_API int Quorel_SetAnalogDlg(int handle, HWND owner);

/* Registers and ports */
QUOREL_API int Quorel_ReadRegister(int handle, int reg, int *ok);
QUOREL_API int Quorel_ReadRegisterEx(int handle, int reg, int *ok);
QUOREL_API int Quorel_WriteRegister(int handle, int reg, int value);
QUOREL_API int Quorel_WriteRegisterEx(int handle, int reg, int value);
QUOREL_API int Quorel_ReadSromID(int handle, int index, int *ok);
QUOREL_API int Quorel_WriteSromID(int handle, int index, int value);
QUOREL_API int Quorel_GetIOPort(int handle, unsigned char *value);
QUOREL_API int Quorel_SetIOPort(int handle, int value);

/* Not supported by this camera (kept for source compatibility) */
QUOREL_API int Quorel_Fps(int handle);
QUOREL_API int Quorel_SetCrossbar(int handle, int input);
QUOREL_API int Quorel_SetSamplingRate(int handle, int rate);
QUOREL_API int Quorel_Fpga_ReadRegister(int handle, int reg, int *ok);
QUOREL_API int Quorel_Fpga_WriteRegister(int handle, int reg, int value);
QUOREL_API int Quorel_GetSamplingRate(int handle, int *rate);
QUOREL_API int Quorel_GetVideoFormat(int handle, int *format);
QUOREL_API int Quorel_GetConfigFilter(int handle);
QUOREL_API int Quorel_SetConfigFilter(int handle);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_SDK_470KX_PLU_H */
