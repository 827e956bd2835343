// The one table of the library's error codes (0 to 13): a constant name that
// matches the QUOREL_ERR_* macros of the public header, and a short English
// meaning. The debug log and the command-line tool print from here so that
// every message names a code the same way.
#pragma once

namespace quorel {

// Number of defined codes (0 .. kErrorCodeCount - 1).
inline constexpr int kErrorCodeCount = 14;

// "QUOREL_ERR_MEMORY" for 5, and so on; "unknown error" for any other code.
// The returned text is static. Thread-safe.
const char *ErrorCodeName(int code);

// A short meaning ("memory or buffer" for 5); "unknown error" for any other
// code. The returned text is static. Thread-safe.
const char *ErrorCodeMeaning(int code);

}  // namespace quorel
