#include "platform/ErrorCodes.h"

#include "QuorelSdk_470KX_PLU.h"

namespace quorel {
namespace {

struct ErrorCodeEntry {
  int code;
  const char *name;
  const char *meaning;
};

// Indexed by code (platform/ErrorCodeTable.inc); the static_assert below
// keeps the table in step with the public macros.
#define QUOREL_ERROR_CODE(suffix, meaning) {QUOREL_ERR_##suffix, "QUOREL_ERR_" #suffix, meaning},
constexpr ErrorCodeEntry kErrorCodes[kErrorCodeCount] = {
#include "platform/ErrorCodeTable.inc"
};
#undef QUOREL_ERROR_CODE

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
