/**
 * \file QuorelDriver.h
 * \brief The contract between the 470KX library and its kernel driver on
 * Linux, for driver writers.
 *
 * Each attached camera is a character device /dev/QrelKX470PLU-SUFFIX,
 * where SUFFIX is one character per unit: "0".."9", "A".."L", then "N"
 * (unit 22), "M" (unit 23), then "O".."Z". The library opens the node with
 * O_WRONLY (plus O_CLOEXEC) and talks to it only through ioctl(2), one
 * synchronous request at a time per open file.
 *
 * Every request takes a pointer to a QuorelDriverRequest. The driver returns
 * 0 and fills `transferred` when the request completed, or -1 with errno set.
 * A pipe transfer counts as successful for the library only when ioctl
 * returns 0 AND `transferred` equals `length`.
 *
 * Pipes: 0 carries 64-byte command packets to the camera, 1 carries 64-byte
 * reply packets from the camera, 2 carries frame data from the camera. The
 * direction of a transfer is that of the pipe, not of the request code.
 *
 * This header is plain C and compiles on its own.
 */
#ifndef QUOREL_DRIVER_H
#define QUOREL_DRIVER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/** \name Request numbers; the library uses exactly these values.
 * \{ */
#define QUOREL_IOCTL_PIPE_DIRECT_IN 0x222051u       /**< command packets; frame data */
#define QUOREL_IOCTL_PIPE_DIRECT_OUT 0x22204Eu      /**< reply packets; capture command while streaming */
#define QUOREL_IOCTL_PIPE_DIRECT_IN_LARGE 0x2220A9u /**< frame data of 3,072,000 bytes or more */
#define QUOREL_IOCTL_SET_TIMEOUT 0x2220A0u          /**< transfer time-out */
/** \} */

/** \name Pipe numbers
 * \{ */
#define QUOREL_PIPE_COMMAND 0u /**< 64-byte command packets to the camera */
#define QUOREL_PIPE_REPLY 1u   /**< 64-byte reply packets from the camera */
#define QUOREL_PIPE_DATA 2u    /**< frame data from the camera */
/** \} */

/** Size of the block carried by QUOREL_IOCTL_SET_TIMEOUT: a 32-bit 1, the
 * 32-bit time-out in milliseconds, then 36 zero bytes (all little-endian). */
#define QUOREL_TIMEOUT_BLOCK_SIZE 44u

/** The argument of every request.
 *  - Pipe transfers: `pipe` names the pipe; `buffer`/`length` are the data
 *    the driver reads from (pipe 0) or writes into (pipes 1 and 2).
 *  - QUOREL_IOCTL_SET_TIMEOUT: `pipe` is 0; `buffer` points at the 44-byte
 *    time-out block and `length` is 44; the library does not examine the
 *    result.
 * `buffer` is a user-space address widened to 64 bits so that the layout is
 * the same for 32- and 64-bit processes. */
typedef struct QuorelDriverRequest {
  uint32_t pipe;        /**< in: pipe index 0, 1 or 2 */
  uint32_t reserved;    /**< in: zero */
  uint64_t buffer;      /**< in: address of the data */
  uint64_t length;      /**< in: bytes requested */
  uint64_t transferred; /**< out: bytes actually moved */
} QuorelDriverRequest;

/** \cond INTERNAL */
/* The layout is part of the contract: 32 bytes, no padding. */
typedef char QuorelDriverRequest_size_check[(sizeof(QuorelDriverRequest) == 32) ? 1 : -1];
/** \endcond */

#ifdef __cplusplus
}
#endif

#endif /* QUOREL_DRIVER_H */
