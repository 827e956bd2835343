#include "platform/ErrorCodes.h"

#include "QuorelSdk_470KX_PLU.h"

namespace quorel {
namespace {

struct ErrorCodeEntry {
  int code;
  const char *name;
  const char *meaning;
};

// Indexed by code; the static_asserts below keep the table in step with the
// public macros.
constexpr ErrorCodeEntry kErrorCodes[kErrorCodeCount] = {
    {QUOREL_ERR_NONE, "QUOREL_ERR_NONE", "no error"},
    {QUOREL_ERR_NOT_READY, "QUOREL_ERR_NOT_READY", "not ready or not allowed now"},
    {QUOREL_ERR_NO_CAMERA, "QUOREL_ERR_NO_CAMERA", "camera not available"},
    {QUOREL_ERR_THREAD, "QUOREL_ERR_THREAD", "thread not started"},
    {QUOREL_ERR_WINDOW, "QUOREL_ERR_WINDOW", "window not created"},
    {QUOREL_ERR_MEMORY, "QUOREL_ERR_MEMORY", "memory or buffer"},
    {QUOREL_ERR_DEVICE, "QUOREL_ERR_DEVICE", "device access failed"},
    {QUOREL_ERR_GEOMETRY, "QUOREL_ERR_GEOMETRY", "capture geometry invalid"},
    {QUOREL_ERR_FRAME, "QUOREL_ERR_FRAME", "frame not obtained"},
    {QUOREL_ERR_ARGUMENT, "QUOREL_ERR_ARGUMENT", "invalid argument"},
    {QUOREL_ERR_UNUSED, "QUOREL_ERR_UNUSED", "not used"},
    {QUOREL_ERR_NOT_SUPPORTED, "QUOREL_ERR_NOT_SUPPORTED", "not supported"},
    {QUOREL_ERR_FILE, "QUOREL_ERR_FILE", "file error"},
    {QUOREL_ERR_TRANSFER_STOPPED, "QUOREL_ERR_TRANSFER_STOPPED", "transfer stopped"},
};

constexpr bool TableIsIndexedByCode() {
  for (int i = 0; i < kErrorCodeCount; ++i) {
    if (kErrorCodes[i].code != i) return false;
  }
  return true;
}
static_assert(TableIsIndexedByCode(), "error table must be indexed by code");

constexpr const char *kUnknown = "unknown error";

}  // namespace

const char *ErrorCodeName(int code) {
  if (code < 0 || code >= kErrorCodeCount) return kUnknown;
  return kErrorCodes[code].name;
}

const char *ErrorCodeMeaning(int code) {
  if (code < 0 || code >= kErrorCodeCount) return kUnknown;
  return kErrorCodes[code].meaning;
}

}  // namespace quorel
