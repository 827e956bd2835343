// The one table of the library's error codes (0 to 13): a constant name that
// matches the QUOREL_ERR_* macros of the public header, and a short English
// meaning. The debug log and the command-line tool print from here so that
// every message names a code the same way.
#pragma once

#include <cstdint>

#include "QuorelSdk_470KX_PLU.h"

namespace quorel {

// The codes recorded in a camera's error history, by name. The public
// QUOREL_ERR_* macros are the definition; the asserts below keep these names
// equal to them.
enum ErrorCode : int32_t {
  kErrNone = QUOREL_ERR_NONE,
  kErrNotReady = QUOREL_ERR_NOT_READY,
  kErrNoCamera = QUOREL_ERR_NO_CAMERA,
  kErrThread = QUOREL_ERR_THREAD,
  kErrWindow = QUOREL_ERR_WINDOW,
  kErrMemory = QUOREL_ERR_MEMORY,
  kErrDevice = QUOREL_ERR_DEVICE,
  kErrGeometry = QUOREL_ERR_GEOMETRY,
  kErrFrame = QUOREL_ERR_FRAME,
  kErrArgument = QUOREL_ERR_ARGUMENT,
  kErrNotSupported = QUOREL_ERR_NOT_SUPPORTED,
  kErrFile = QUOREL_ERR_FILE,
  kErrTransferStopped = QUOREL_ERR_TRANSFER_STOPPED,
};
static_assert(kErrNone == 0 && kErrNotReady == 1 && kErrNoCamera == 2 && kErrThread == 3 && kErrWindow == 4 &&
                  kErrMemory == 5 && kErrDevice == 6 && kErrGeometry == 7 && kErrFrame == 8 && kErrArgument == 9 &&
                  QUOREL_ERR_UNUSED == 10 && kErrNotSupported == 11 && kErrFile == 12 && kErrTransferStopped == 13,
              "the error codes are part of the public interface and never change");

// Number of defined codes (0 .. kErrorCodeCount - 1).
inline constexpr int kErrorCodeCount = 14;

// "QUOREL_ERR_MEMORY" for 5, and so on; "unknown error" for any other code.
// The returned text is static. Thread-safe.
const char *ErrorCodeName(int code);

// A short meaning ("memory or buffer" for 5); "unknown error" for any other
// code. The returned text is static. Thread-safe.
const char *ErrorCodeMeaning(int code);

}  // namespace quorel
