/**
 * \file QuorelStream.h
 * \brief Frame numbers, timestamps and stream statistics.
 *
 * These functions sit beside the 124 Quorel_* functions and change none of
 * them. They take the handle returned by Quorel_Initialize and return 1 for
 * success or 0 for failure. An invalid handle, a NULL record or a record
 * whose `size` field is smaller than the first version of the structure gives
 * 0; for a valid handle the failure is recorded as QUOREL_ERR_ARGUMENT (9).
 *
 * Versioning: every structure begins with a `size` field that the caller
 * sets to sizeof the structure it was compiled with. The library fills at
 * most that many bytes, so an application built against an older, shorter
 * structure keeps working when the structure grows.
 *
 * Thread context: any thread, also while acquisition runs. The counters are
 * kept with atomics by the transfer and worker threads; a record read while
 * frames arrive is a consistent snapshot of each field, not of all at once.
 * Ownership: the records are the caller's; the library only writes them.
 */
#ifndef QUOREL_STREAM_H
#define QUOREL_STREAM_H

#include "QuorelSdk_470KX_PLU.h"

#ifdef __cplusplus
extern "C" {
#endif

/** Status of a delivered frame: complete. */
#define QUOREL_FRAME_COMPLETE 0
/** Complete, but read again into its slot after a short transfer: the
 * one-short-frame allowance of a run discards the short transfer (it never
 * reaches the application and takes no sequence number) and marks the frame
 * that replaces it. */
#define QUOREL_FRAME_SHORT 1

/** The frame last delivered: the one the latest QUOREL_WM_FRAME announced and
 * Quorel_GetImage copies. */
typedef struct QuorelFrameMeta {
  uint32_t size;        /**< set by the caller: sizeof(QuorelFrameMeta) */
  uint32_t status;      /**< QUOREL_FRAME_COMPLETE or QUOREL_FRAME_SHORT */
  uint64_t sequence;    /**< frames the transfer engine completed since the
                           acquisition started, this one included (1 first);
                           a gap means frames that were never delivered */
  uint64_t timestampNs; /**< CLOCK_MONOTONIC time its transfer completed */
  int32_t width;        /**< delivered image, pixels */
  int32_t height;       /**< delivered image, lines */
  int32_t bitsPerPixel; /**< 8, 16, 24, 32, 48 or 64 */
  int32_t reserved;     /**< 0 */
} QuorelFrameMeta;

/** Counters since the acquisition started or the last reset. */
typedef struct QuorelStreamStats {
  uint32_t size;            /**< set by the caller: sizeof(QuorelStreamStats) */
  uint32_t reserved;        /**< 0 */
  uint64_t completed;       /**< frames the transfer engine completed */
  uint64_t delivered;       /**< frames delivered to the application */
  uint64_t dropped;         /**< completed frames overwritten before the worker took them */
  uint64_t shortFrames;     /**< short transfers (the allowed one and one that ends the run) */
  uint64_t failedTransfers; /**< frame reads that failed */
  uint64_t timeouts;        /**< frame waits that timed out */
  uint64_t copyFailures;    /**< copies into the application's buffer that failed */
  double currentRate;       /**< frames per second delivered over the last second */
  double meanRate;          /**< frames per second delivered since the start or reset */
} QuorelStreamStats;

/** The metadata of the frame last delivered. Any thread.
 * \param handle camera handle
 * \param meta caller's record with `size` set; written during the call
 * \return 1, or 0 (invalid handle, NULL or short record: code 9). */
QUOREL_API int QuorelStream_GetFrameMeta(int handle, QuorelFrameMeta *meta);
/** The stream counters. Any thread.
 * \param handle camera handle
 * \param stats caller's record with `size` set; written during the call
 * \return 1, or 0 (invalid handle, NULL or short record: code 9). */
QUOREL_API int QuorelStream_GetStatistics(int handle, QuorelStreamStats *stats);
/** Sets the counters and the mean rate back to zero. Any thread.
 * \param handle camera handle
 * \return 1, or 0 for an invalid handle. */
QUOREL_API int QuorelStream_ResetStatistics(int handle);

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_STREAM_H */
