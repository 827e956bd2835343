/**
 * \file QuorelSdk_470KX_PLU.h
 * \brief C interface of the 470KX camera library: the 124 Quorel_* functions.
 *
 * Every function takes the camera handle returned by Quorel_Initialize first
 * (except Quorel_GetDllVersion and Quorel_Initialize itself) and returns a
 * 32-bit integer: 1 for success and 0 for failure, or the value asked for.
 * Getters with an `ok` pointer write 1 or 0 there when the pointer is not
 * NULL. On failure the reason stands in the camera's error history (read
 * newest first with Quorel_GetLastError) and is posted as QUOREL_WM_ERROR to
 * the notification window; a few failures are only posted, as each function
 * says. An invalid handle returns the failure value and records nothing.
 *
 * \par Thread context
 * "Any thread" means the function may be called from any thread, also while
 * the camera's own threads acquire frames. Functions on different handles
 * run in parallel. A handle released while another thread is still inside a
 * call on it stays valid for that call; the camera is destroyed when the
 * last such call returns. The library never calls into the application: it
 * only posts window messages (see QuorelHost.h).
 *
 * \par Ownership
 * Every buffer, record and name passed in stays the caller's. The library
 * writes a buffer only during the call, except the destination given to
 * Quorel_CallBackPreview or Quorel_Trigger, which the camera's frame thread
 * writes until Quorel_StopPreview, Quorel_Close or Quorel_Release returns.
 *
 * \par Image layout
 * Images are rows of pixels, each row padded to a multiple of 4 bytes
 * (stride = width x bytes per pixel, rounded up to 4). Colour pixels are
 * stored blue, green, red (B, G, R), then a fourth byte (32 bits) or word
 * (64 bits). 16-bit samples are little-endian words holding 12-bit values
 * 0 to 4095 in their low bits, never scaled. With the orientation flag
 * `bottomUp` non-zero the first row copied is the top line of the picture;
 * with 0 the rows are copied bottom line first, as a bottom-up bitmap holds
 * them. A BMP saved in a 16-, 48- or 64-bit mode holds these raw 16-bit
 * samples (bit count 16, 48 or 64), not RGB555 colour.
 *
 * \par Units and list positions
 * Up to 32 cameras are units 0 to 31. Quorel_EnumDevice numbers its names
 * _01, _02, ... among the cameras present, in unit order; Quorel_GetDeviceName
 * and Quorel_SetDeviceNumber take the unit number. With units 0 and 3
 * present the list holds "..._01" (unit 0) and "..._02" (unit 3). To map a
 * list position to its unit, enumerate, then call Quorel_GetDeviceName for
 * units 0 to 31: the k-th unit for which it returns 1 is the k-th name.
 *
 * \par Settings
 * Each camera's settings are kept per device number in the settings file
 * (QUOREL_REGISTRY). Quorel_Initialize loads them; Quorel_Release saves the
 * gain, filter and gray groups and the format values back, so a value set
 * through this interface persists for the next program that opens the unit.
 */
#ifndef QUOREL_SDK_470KX_PLU_H
#define QUOREL_SDK_470KX_PLU_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

/** \cond INTERNAL */
#if defined(QUOREL_BUILDING_LIBRARY)
#define QUOREL_API __attribute__((visibility("default")))
#else
#define QUOREL_API
#endif
/** \endcond */

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
/* The Windows names the prototypes use, so that applications written for the
 * Windows library compile unchanged. */
#ifndef QUOREL_HAVE_WINDOWS_TYPES
/** Defined when the Windows-style type names below are available. */
#define QUOREL_HAVE_WINDOWS_TYPES 1
/** A window of the library's window table (see QuorelHost.h); NULL is no window. */
typedef struct HWND__ *HWND;
/** First message parameter. */
typedef uintptr_t WPARAM;
/** Second message parameter. */
typedef intptr_t LPARAM;
/** Message number. */
typedef unsigned int UINT;
#endif
#endif

/** Base of the library's window messages (posted, never sent). */
#define QUOREL_WM_APP 0x8000u
/** A frame was delivered (wParam: the camera's QuorelFrameInfo, lParam 0), or
 * a frame failed (wParam 0, lParam the error code 5, 8 or 13). */
#define QUOREL_WM_FRAME (QUOREL_WM_APP + 2u)
/** An error was recorded or posted (wParam 0, lParam the error code). */
#define QUOREL_WM_ERROR (QUOREL_WM_APP + 3u)

/** \name Error codes
 * Read back with Quorel_GetLastError and posted as QUOREL_WM_ERROR.
 * \{ */
#define QUOREL_ERR_NONE 0              /**< no error */
#define QUOREL_ERR_NOT_READY 1         /**< not ready or not allowed now (no device object, wrong mode) */
#define QUOREL_ERR_NO_CAMERA 2         /**< camera not available: unit absent or in use by another process */
#define QUOREL_ERR_THREAD 3            /**< a worker thread could not be started */
#define QUOREL_ERR_WINDOW 4            /**< window not created; from Quorel_SetCaptureWindow: no stored size preset */
#define QUOREL_ERR_MEMORY 5            /**< memory, or a destination buffer too small */
#define QUOREL_ERR_DEVICE 6            /**< device access failed */
#define QUOREL_ERR_GEOMETRY 7          /**< capture window does not fit the sensor */
#define QUOREL_ERR_FRAME 8             /**< frame not obtained */
#define QUOREL_ERR_ARGUMENT 9          /**< invalid argument */
#define QUOREL_ERR_UNUSED 10           /**< not used */
#define QUOREL_ERR_NOT_SUPPORTED 11    /**< not supported by this camera */
#define QUOREL_ERR_FILE 12             /**< file could not be written or read */
#define QUOREL_ERR_TRANSFER_STOPPED 13 /**< the frame transfer stopped (camera unplugged or failing) */
/** \} */

/** \name File types of Quorel_SaveImage
 * \{ */
#define QUOREL_FILE_BMP 0      /**< BMP (16-bit modes: raw 16-bit samples) */
#define QUOREL_FILE_RAW 1      /**< the image memory alone, rows padded to 4 bytes */
#define QUOREL_FILE_JPEG_100 2 /**< JPEG, quality 100 */
#define QUOREL_FILE_JPEG_70 3  /**< JPEG, quality 70 */
#define QUOREL_FILE_JPEG_20 4  /**< JPEG, quality 20 */
#define QUOREL_FILE_PNG 5      /**< PNG */
#define QUOREL_FILE_TIFF 6     /**< TIFF */
/** \} */

/** Frame-information record, filled before each QUOREL_WM_FRAME. It lives in
 * the camera object (owned by the library) and is overwritten by the next
 * frame on the camera's frame thread: copy what you need at once. */
typedef struct QuorelFrameInfo {
  int32_t size;          /**< always 32 */
  int32_t width;         /**< pixels of the delivered image */
  int32_t height;        /**< lines of the delivered image */
  int32_t bitCount;      /**< 8, 16, 24, 32, 48 or 64 */
  int32_t frameRate;     /**< frames per ten seconds; 0 in trigger mode */
  int32_t reserved;      /**< 0 */
  unsigned char *buffer; /**< the application's destination buffer, or NULL */
} QuorelFrameInfo;

/** Camera-information record of Quorel_GetCameraInfo; set `size` before the call. */
typedef struct QuorelCameraInfo {
  int32_t size;          /**< set by the caller: at least 36 */
  int32_t width;         /**< sensor width, 3488 */
  int32_t height;        /**< sensor height, 2616 */
  int32_t globalGainMin; /**< 0 */
  int32_t globalGainMax; /**< 127 */
  int32_t colorGainMin;  /**< 0 */
  int32_t colorGainMax;  /**< 127 */
  int32_t exposureMin;   /**< 0 sensor lines */
  int32_t exposureMax;   /**< 16383 sensor lines */
} QuorelCameraInfo;

/** \cond INTERNAL */
#ifdef __cplusplus
static_assert(sizeof(QuorelFrameInfo) == 32, "frame-information record is 32 bytes");
static_assert(sizeof(QuorelCameraInfo) == 36, "camera-information record is 36 bytes");
#else
_Static_assert(sizeof(QuorelFrameInfo) == 32, "frame-information record is 32 bytes");
_Static_assert(sizeof(QuorelCameraInfo) == 36, "camera-information record is 36 bytes");
#endif
/** \endcond */

/** \name Library and handles
 * \{ */

/** The library's interface identifier, the constant 26477855 (0x0194051F).
 * It names the interface generation, not the package release (see the
 * SONAME and the pkg-config version for that). Any thread; takes no lock.
 * \return 26477855 */
QUOREL_API int Quorel_GetDllVersion(void);

/** Creates a camera object on unit 0: probes the 32 units, initialises the
 * sensor, allocates the image buffers and loads the settings of device
 * number 0. Any thread.
 * \param notifyWindow window that receives QUOREL_WM_ERROR (may be NULL:
 *        errors are then only recorded)
 * \return a new handle, or 0 when the object could not be allocated. A handle
 *         is returned even when initialisation failed (for instance without
 *         any camera: code 2 or 6 stands in its error history). */
QUOREL_API int Quorel_Initialize(HWND notifyWindow);

/** Stops acquisition, saves the camera's settings to the settings file and
 * destroys the camera object. Any thread.
 * \param handle camera handle
 * \return 1, or 0 for an invalid handle (a second release gives 0). */
QUOREL_API int Quorel_Release(int handle);

/** Takes the newest code out of the camera's error history (20 entries).
 * Any thread.
 * \param handle camera handle
 * \return the newest error code, or 0 when the history is empty or the
 *         handle invalid. */
QUOREL_API int Quorel_GetLastError(int handle);
/** \} */

/** \name Devices
 * \{ */

/** Lists the cameras present: one name per camera, "Quorel470KX-PLU_NN"
 * numbered from 01 among the cameras present, in unit order. Any thread.
 * Also resets the unit index of device-level calls to 0 (call
 * Quorel_SetDeviceNumber afterwards).
 * \param handle camera handle
 * \param names caller's array of 256-byte slots; give room for 32 names (one
 *        slot is written per present camera; slots up to the tenth are
 *        emptied)
 * \return the number of cameras present (0 to 32); 0 with code 1 without a
 *         device object. */
QUOREL_API int Quorel_EnumDevice(int handle, char (*names)[256]);

/** Quorel_EnumDevice with wide names (slots of 256 wchar_t). Any thread.
 * \param handle camera handle
 * \param names caller's array of 32 slots of 256 wide characters
 * \return the number of cameras present. */
QUOREL_API int Quorel_EnumDeviceW(int handle, wchar_t (*names)[256]);

/** The name of one unit, numbered unit + 1 (which equals the listed number
 * only when every lower unit is present). Any thread.
 * \param handle camera handle
 * \param index unit number 0 to 31
 * \param name caller's buffer; 19 bytes hold the whole name
 * \param size bytes in `name`; 15 to 18 give a truncated, terminated name
 * \return 1 with the name written; 0 with code 9 (size 14 or less, unit out
 *         of range), 2 (unit absent as last probed) or 1 (no device object). */
QUOREL_API int Quorel_GetDeviceName(int handle, int index, char *name, int size);

/** Quorel_GetDeviceName with a wide buffer. Any thread.
 * \param handle camera handle
 * \param index unit number 0 to 31
 * \param name caller's wide buffer
 * \param size wide characters in `name`
 * \return 1 or 0 as Quorel_GetDeviceName. */
QUOREL_API int Quorel_GetDeviceNameW(int handle, int index, wchar_t *name, int size);

/** Switches the camera object to another unit: saves the current unit's
 * gain, filter and gray settings, initialises the new unit's sensor and loads
 * its settings. Not while acquisition runs. Any thread.
 * \param handle camera handle
 * \param index unit number 0 to 31 (not the position in the name list)
 * \return 1, or 0 with code 2 (unit absent or failing; the camera keeps its
 *         previous unit) or 1 (no device object). */
QUOREL_API int Quorel_SetDeviceNumber(int handle, int index);

/** The camera's fixed properties. Any thread.
 * \param handle camera handle
 * \param info caller's record with `size` set to at least 36
 * \return 1 with the record filled; 0 with code 9 (NULL), 5 (size below 36)
 *         or 1 (no device object). */
QUOREL_API int Quorel_GetCameraInfo(int handle, QuorelCameraInfo *info);
/** \} */

/** \name Acquisition
 * Preview, capture and trigger modes. Each start prepares the sensor and the
 * image buffers from the stored settings: code 2 when the unit is absent or
 * streaming in another process, 7 when the capture window does not fit, 5
 * when buffers cannot be allocated, 3 when a thread cannot start.
 * \{ */

/** Live preview into the library's preview window (or headless, after
 * Quorel_SetPreviewWindow with a NULL parent and an empty rectangle). Any
 * thread; frames are converted on the camera's frame thread.
 * \param handle camera handle
 * \return 1, or 0 with one of the start codes, or 4 (no window could be made). */
QUOREL_API int Quorel_Preview(int handle);

/** Live preview with a QUOREL_WM_FRAME per frame to `callbackWindow` and a
 * copy of each frame into `buffer`. Any thread.
 * \param handle camera handle
 * \param callbackWindow window for the frame messages (may be NULL)
 * \param buffer caller's destination, written by the frame thread until the
 *        acquisition stops; NULL for messages only (then read frames with
 *        Quorel_GetImage)
 * \param size bytes in `buffer`: at least stride x height, else each frame
 *        fails with code 5
 * \param bottomUp row order of the copy (see Image layout)
 * \return 1, or 0 with one of the start codes or 4. */
QUOREL_API int Quorel_CallBackPreview(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);

/** Prepares capture mode: frames are then read one at a time by
 * Quorel_SnapShot on the calling thread. Any thread.
 * \param handle camera handle
 * \return 1, or 0 with one of the start codes. */
QUOREL_API int Quorel_Capture(int handle);

/** Reads, converts and copies one frame now (preparing the camera first when
 * it is not in capture mode). The calling thread waits for the frame.
 * \param handle camera handle
 * \param buffer caller's destination, written during the call; NULL keeps the
 *        frame in the camera only (for Quorel_SaveImage, Quorel_GetImage)
 * \param size bytes in `buffer` (at least stride x height)
 * \param bottomUp row order of the copy
 * \return 1, or 0 with code 8 (no frame), 5 (buffer too small) or a start code. */
QUOREL_API int Quorel_SnapShot(int handle, unsigned char *buffer, int size, int bottomUp);

/** Frames on the camera's external trigger, each announced and copied as in
 * Quorel_CallBackPreview (frame rate 0 in the record). A second call while
 * trigger mode runs only replaces the window, buffer, size and flag. Any thread.
 * \param handle camera handle
 * \param callbackWindow window for the frame messages
 * \param buffer caller's destination, written by the frame thread until the
 *        acquisition stops, or NULL
 * \param size bytes in `buffer`
 * \param bottomUp row order of the copy
 * \return 1, or 0 with one of the start codes. */
QUOREL_API int Quorel_Trigger(int handle, HWND callbackWindow, unsigned char *buffer, int size, int bottomUp);

/** Starts continuous transfer with the preview worker, without changing the
 * stored window, buffer or messages. Any thread.
 * \param handle camera handle
 * \return 1, or 0 with one of the start codes. */
QUOREL_API int Quorel_StartPreview(int handle);

/** Stops acquisition (and a recording, which is finished with the frames it
 * has), releases the unit's claim and waits for the frame thread. Any thread
 * but the camera's own.
 * \param handle camera handle
 * \return 1, or 0 for an invalid handle. */
QUOREL_API int Quorel_StopPreview(int handle);

/** Stops acquisition like Quorel_StopPreview and closes the preview window.
 * \param handle camera handle
 * \return 1. */
QUOREL_API int Quorel_Close(int handle);

/** Copies the last converted image (the frame the latest QUOREL_WM_FRAME
 * announced) under the camera's frame lock, so it is never half-converted.
 * Any thread.
 * \param handle camera handle
 * \param buffer caller's destination, written during the call
 * \param size bytes in `buffer` (at least stride x height)
 * \param bottomUp row order of the copy
 * \return 1, or 0 with code 5 (no image yet, NULL or small buffer) or 1. */
QUOREL_API int Quorel_GetImage(int handle, unsigned char *buffer, int size, int bottomUp);

/** Where the library's preview window goes: a child of `parent` at the
 * rectangle, or a centred top-level window. A NULL parent and four zeros
 * mean no window (frames still reach callback windows and buffers). Any thread.
 * \param handle camera handle
 * \param parent a window from QuorelHost_WrapX11Window, or NULL
 * \param left left edge of the rectangle in the parent
 * \param top top edge
 * \param right right edge
 * \param bottom bottom edge
 * \return 1, or 0 with code 4 when a window cannot be made (no display or
 *         no GUI module). */
QUOREL_API int Quorel_SetPreviewWindow(int handle, HWND parent, int left, int top, int right, int bottom);

/** Kept for source compatibility: the camera has no status to report here.
 * Use Quorel_GetLastError and the window messages instead.
 * \param handle camera handle (not read)
 * \return always 0. */
QUOREL_API int Quorel_GetStatus(int handle);
/** \} */

/** \name Files
 * \{ */

/** Saves the camera's current image. Any thread (under the frame lock).
 * \param handle camera handle
 * \param fileName file to write (replaced)
 * \param fileType a QUOREL_FILE_* value
 * \return 1, or 0 with code 9 (unknown type), 1 (no image) or 12 (the file
 *         could not be written, e.g. a missing directory or a full disk). */
QUOREL_API int Quorel_SaveImage(int handle, const char *fileName, int fileType);

/** Quorel_SaveImage with a wide file name (converted to UTF-8, at most 1023 bytes).
 * \param handle camera handle
 * \param fileName file to write
 * \param fileType a QUOREL_FILE_* value
 * \return 1 or 0 as Quorel_SaveImage. */
QUOREL_API int Quorel_SaveImageW(int handle, const wchar_t *fileName, int fileType);

/** Records an uncompressed 24-bit AVI file of live frames on a recording
 * thread of the camera's, for `durationMs` counted from the first frame;
 * starts preview. Stopping the preview earlier finishes the file with the
 * frames it has. One recording at a time. Any thread.
 * \param handle camera handle
 * \param fileName AVI file to write
 * \param durationMs length in milliseconds
 * \param showWindow non-zero: show the frames in the library's preview window
 * \return 1, or 0 with code 1 (a recording runs), 12 (file) or a start code. */
QUOREL_API int Quorel_Record(int handle, const char *fileName, int durationMs, int showWindow);

/** Quorel_Record with a wide file name.
 * \param handle camera handle
 * \param fileName AVI file to write
 * \param durationMs length in milliseconds
 * \param showWindow non-zero: show the preview window
 * \return 1 or 0 as Quorel_Record. */
QUOREL_API int Quorel_RecordW(int handle, const wchar_t *fileName, int durationMs, int showWindow);

/** Loads a configuration file (8-byte records of two little-endian 32-bit
 * words) into the camera's configuration list. Any thread.
 * \param handle camera handle
 * \param fileName file to read
 * \return 1, or 0 when the file cannot be opened (nothing recorded). */
QUOREL_API int Quorel_LoadConfigFileA(int handle, const char *fileName);

/** Quorel_LoadConfigFileA with a wide file name.
 * \param handle camera handle
 * \param fileName file to read
 * \return 1 or 0 as Quorel_LoadConfigFileA. */
QUOREL_API int Quorel_LoadConfigFileW(int handle, const wchar_t *fileName);
/** \} */

/** \name Format, geometry and timing
 * Stored at once, applied when acquisition is next prepared.
 * \{ */

/** Chooses the colour mode. Any thread.
 * \param handle camera handle
 * \param bitsPerPixel 8 (gray), 16 (gray, 12-bit samples), 24 (B,G,R),
 *        32 (B,G,R,x), 48 (16-bit B,G,R) or 64 (16-bit B,G,R,x)
 * \return 1, or 0 with code 9 for any other value. */
QUOREL_API int Quorel_SetColorMode(int handle, int bitsPerPixel);

/** The colour mode's significant bits. Any thread.
 * \param handle camera handle
 * \return 8, 12, 24, 32, 44 or 60 for the modes set as 8, 16, 24, 32, 48 and
 *         64 (the 16-bit-per-sample modes report 12 bits per sample); -1 for
 *         an invalid handle. */
QUOREL_API int Quorel_GetColorMode(int handle);

/** Sub-sampling: the delivered image is the capture window divided by 1, 2
 * or 4. Any thread.
 * \param handle camera handle
 * \param code 0 full, 1 half and 2 quarter by skipping, 17 half and 18
 *        quarter by binning
 * \return 1, or 0 for any other code (nothing recorded). */
QUOREL_API int Quorel_SetSubSample(int handle, int code);

/** \param handle camera handle
 * \return the stored sub-sampling code; -1 for an invalid handle. */
QUOREL_API int Quorel_GetSubSample(int handle);

/** Chooses a capture window by size from the stored size presets (the
 * settings file's Size_NN entries; `quorel settings preset add W H` adds one).
 * Any thread.
 * \param handle camera handle
 * \param width effective width in pixels
 * \param height effective height in lines
 * \return 1, or 0 with code 4 when no preset of that size is stored (use
 *         Quorel_SetCaptureWindowEx to give the whole window). */
QUOREL_API int Quorel_SetCaptureWindow(int handle, int width, int height);

/** The capture window in full. Any thread.
 * \param handle camera handle
 * \param hTotal horizontal total (stored and reported back; 3488 is honest)
 * \param hStart first column
 * \param hEffective width
 * \param vTotal vertical total (2616)
 * \param vStart first line
 * \param vEffective height
 * \return 1, or 0 with code 7 when the window does not fit the 3488 x 2616 sensor. */
QUOREL_API int Quorel_SetCaptureWindowEx(int handle, int hTotal, int hStart, int hEffective, int vTotal, int vStart,
                                         int vEffective);

/** The stored capture window; each pointer may be NULL. Any thread; needs no
 * camera attached.
 * \param handle camera handle
 * \param hTotal receives the horizontal total
 * \param hStart receives the first column
 * \param hEffective receives the width
 * \param vTotal receives the vertical total
 * \param vStart receives the first line
 * \param vEffective receives the height
 * \return 1. */
QUOREL_API int Quorel_GetCaptureWindowEx(int handle, int *hTotal, int *hStart, int *hEffective, int *vTotal,
                                         int *vStart, int *vEffective);

/** \param handle camera handle
 * \return the capture window's width before sub-sampling; 0 for an invalid handle. */
QUOREL_API int Quorel_Width(int handle);

/** \param handle camera handle
 * \return the capture window's height before sub-sampling; 0 for an invalid handle. */
QUOREL_API int Quorel_Height(int handle);

/** The sensor clock. Any thread.
 * \param handle camera handle
 * \param mode 0 normal, 1 half, 2 double (stored unchecked)
 * \return 1. */
QUOREL_API int Quorel_SetHalfClock(int handle, int mode);

/** The clock mode read from the sensor. Any thread.
 * \param handle camera handle
 * \param ok receives 1 or 0 (may be NULL)
 * \return the clock mode; 0 with code 1 posted (not recorded) on failure. */
QUOREL_API int Quorel_GetHalfClock(int handle, int *ok);

/** The preview worker's wait between frames. Any thread.
 * \param handle camera handle
 * \param milliseconds 0 or more
 * \return 1, or 0 for a negative value (nothing recorded). */
QUOREL_API int Quorel_SetWaitTime(int handle, int milliseconds);

/** \param handle camera handle
 * \return the stored wait time in milliseconds; -1 for an invalid handle. */
QUOREL_API int Quorel_GetWaitTime(int handle);
/** \} */

/** \name Sensor controls
 * Written to the sensor at once. Exposure is counted by the sensor in lines,
 * 0 to 16383 (Quorel_SetExposureTime, filter 18); the real time of one line
 * depends on the capture width, the sub-sampling and the clock, so the same
 * line count gives another time in microseconds after those change.
 * \{ */

/** \param handle camera handle
 * \param on non-zero mirrors left-right
 * \return 1, or 0 with code 1 (no device object). */
QUOREL_API int Quorel_SetMirrorH(int handle, int on);

/** \param handle camera handle
 * \param on non-zero mirrors top-bottom
 * \return 1, or 0 with code 1 posted (not recorded). */
QUOREL_API int Quorel_SetMirrorV(int handle, int on);

/** \param handle camera handle
 * \return the stored left-right mirror flag; 0 with code 1 without a device object. */
QUOREL_API int Quorel_GetMirrorH(int handle);

/** \param handle camera handle
 * \return the stored top-bottom mirror flag; 0 with code 1 posted without a device object. */
QUOREL_API int Quorel_GetMirrorV(int handle);

/** Automatic iris: adjusts exposure or gain from the picture's brightness.
 * \param handle camera handle
 * \param mode 0 off, 1 by exposure, 2 by gain
 * \return 1, or 0 with code 9 posted (not recorded) for other values. */
QUOREL_API int Quorel_SetAutoIris(int handle, int mode);

/** \param handle camera handle
 * \param ok receives 1 (may be NULL)
 * \return the stored automatic-iris mode. */
QUOREL_API int Quorel_GetAutoIris(int handle, int *ok);

/** Exposure as a time: converted to whole sensor lines for the current width,
 * sub-sampling and clock (rounded down). Any thread.
 * \param handle camera handle
 * \param microseconds exposure time
 * \return 1, or 0 with code 9 when the line count falls outside 0..16383
 *         (the setting is unchanged) or 1 (no device object). */
QUOREL_API int Quorel_SetRealExposureTime(int handle, int microseconds);

/** The stored exposure in microseconds, computed from its line count.
 * \param handle camera handle
 * \param ok receives 1 or 0 (may be NULL)
 * \return microseconds, or 0 with code 1 (no device object). */
QUOREL_API int Quorel_GetRealExposureTime(int handle, int *ok);
/** \} */

/** \name Filter values
 * Identifiers 1 to 28, and one named Get/Set pair for each of 1 to 27:
 * 1 Brightness -255..255, 2 Contrast -127..127, 3 Hue -360..360,
 * 4 Saturation -255..255, 5 Sharpness 0..30, 6 BayerGainRGB (red | green << 8
 * | blue << 16, any value), 7-9 BayerGainRed/Green/Blue 0..400,
 * 10 BayerGainAuto (non-zero on), 11 Gamma 0..200, 12 BayerMode 0..3,
 * 13 GlobalGain 0..127, 14-17 ColorGainRed/Green1/Green2/Blue 0..127,
 * 18 ExposureTime 0..16383 sensor lines, 19 GrayMode 0..2,
 * 20-23 GrayGainR/G1/G2/B 0..255, 24-27 GrayOffsetR/G1/G2/B -255..255,
 * 28 gray automatic gain 0..1. Gains and exposure reach the sensor at once;
 * the others apply from the next frame. Any thread.
 * \{ */

/** \param handle camera handle
 * \param filterId identifier 1 to 28
 * \param ok receives 1 or 0 (may be NULL)
 * \return the value; 0 with code 9 for an unknown identifier. */
QUOREL_API int Quorel_GetFilterValue(int handle, int filterId, int *ok);

/** \param handle camera handle
 * \param filterId identifier 1 to 28
 * \param value new value, within the identifier's range
 * \return 1, or 0 with code 9 (unknown identifier or value out of range). */
QUOREL_API int Quorel_SetFilterValue(int handle, int filterId, int value);

/** Declares Quorel_Get<Name>(handle, ok) and Quorel_Set<Name>(handle, value),
 * the named forms of Quorel_GetFilterValue and Quorel_SetFilterValue for one
 * identifier (same results and codes). */
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
/** \} */

/** \name Dialogs
 * Modal, on the calling thread, which they block until closed. They need a
 * display and the library's GUI module; without them they fail with code 4.
 * Texts are Japanese when the locale starts with "ja".
 * \{ */

/** Camera format dialog: colour mode, size, sub-sampling, wait time, clock.
 * \param handle camera handle
 * \param owner owning window, or NULL
 * \return 1, or 0 without a device object. */
QUOREL_API int Quorel_SetCameraDlg(int handle, HWND owner);

/** Image filter dialog.
 * \param handle camera handle
 * \param owner owning window, or NULL
 * \return 1, or 0 without a device object. */
QUOREL_API int Quorel_SetImageDlg(int handle, HWND owner);

/** Analog gain dialog: gains, exposure, automatic iris, mirroring (live).
 * \param handle camera handle
 * \param owner owning window, or NULL
 * \return 1, or 0 without a device object. */
QUOREL_API int Quorel_SetAnalogDlg(int handle, HWND owner);
/** \} */

/** \name Registers and ports
 * Direct access to the unit the camera object uses. Any thread.
 * \{ */

/** \param handle camera handle
 * \param reg register number; only its low 8 bits are used (0x1234 reads 0x34)
 * \param ok receives 1 or 0 (may be NULL)
 * \return the 16-bit value; 0 with code 6 (read failed) or 1 (no device object). */
QUOREL_API int Quorel_ReadRegister(int handle, int reg, int *ok);

/** \param handle camera handle
 * \param reg full register address 0 to 0xFFFF
 * \param ok receives 1 or 0 (may be NULL)
 * \return the 16-bit value; 0 with code 6 or 1 on failure. */
QUOREL_API int Quorel_ReadRegisterEx(int handle, int reg, int *ok);

/** \param handle camera handle
 * \param reg register number (low 8 bits)
 * \param value 16-bit value
 * \return 1, or 0 with code 6 or 1. */
QUOREL_API int Quorel_WriteRegister(int handle, int reg, int value);

/** \param handle camera handle
 * \param reg full register address
 * \param value 16-bit value
 * \return 1, or 0 with code 6 or 1. */
QUOREL_API int Quorel_WriteRegisterEx(int handle, int reg, int value);

/** \param handle camera handle
 * \param index serial-ROM identifier byte index
 * \param ok receives 1 or 0 (may be NULL)
 * \return the byte; 0 with code 1 posted (not recorded) on failure. */
QUOREL_API int Quorel_ReadSromID(int handle, int index, int *ok);

/** \param handle camera handle
 * \param index serial-ROM identifier byte index
 * \param value byte 0 to 255
 * \return 1, or 0 with code 1 posted (not recorded). */
QUOREL_API int Quorel_WriteSromID(int handle, int index, int value);

/** Reads the user I/O port.
 * \param handle camera handle
 * \param value caller's byte, written during the call
 * \return 1, or 0 with code 9 (NULL) or 1 posted, not recorded. */
QUOREL_API int Quorel_GetIOPort(int handle, unsigned char *value);

/** Writes the user I/O port.
 * \param handle camera handle
 * \param value output bits 0 to 255
 * \return 1, or 0 with code 1 posted, not recorded. */
QUOREL_API int Quorel_SetIOPort(int handle, int value);
/** \} */

/** \name Not supported by this camera
 * Kept so that applications written for other cameras of the family compile.
 * \{ */

/** \param handle camera handle
 * \return 0; code 11 posted (not recorded). */
QUOREL_API int Quorel_Fps(int handle);
/** \param handle camera handle
 * \param input not read
 * \return 0; code 11 posted. */
QUOREL_API int Quorel_SetCrossbar(int handle, int input);
/** \param handle camera handle
 * \param rate not read
 * \return 0; code 11 posted. */
QUOREL_API int Quorel_SetSamplingRate(int handle, int rate);
/** \param handle camera handle
 * \param reg not read
 * \param ok not written
 * \return 0; code 11 posted. */
QUOREL_API int Quorel_Fpga_ReadRegister(int handle, int reg, int *ok);
/** \param handle camera handle
 * \param reg not read
 * \param value not read
 * \return 0; code 11 posted. */
QUOREL_API int Quorel_Fpga_WriteRegister(int handle, int reg, int value);
/** \param handle camera handle
 * \param rate receives 0 (may be NULL)
 * \return 0. */
QUOREL_API int Quorel_GetSamplingRate(int handle, int *rate);
/** \param handle camera handle
 * \param format receives 0 (may be NULL)
 * \return 0. */
QUOREL_API int Quorel_GetVideoFormat(int handle, int *format);
/** \param handle camera handle
 * \return -1 with code 11 recorded and posted; 0 for an invalid handle. */
QUOREL_API int Quorel_GetConfigFilter(int handle);
/** \param handle camera handle
 * \return -1 with code 11 recorded and posted; 0 for an invalid handle. */
QUOREL_API int Quorel_SetConfigFilter(int handle);
/** \} */

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_SDK_470KX_PLU_H */
