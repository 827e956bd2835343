// Conversions between wide strings (32-bit wchar_t holding Unicode code
// points) and the narrow encoding of file names, which is UTF-8 here.
//
// A conversion fails, rather than replacing or truncating, when the source is
// NULL, holds an invalid code point or byte sequence (surrogates, values above
// 0x10FFFF, overlong or cut-short UTF-8), or when the result does not fit in
// the destination together with its terminator. On failure the destination
// holds an empty string (when it has room for one). Thread-safe.
#pragma once

#include <cstddef>

namespace quorel {

// Size of the narrow file-name buffer of the wide exports.
inline constexpr size_t kNarrowNameSize = 1024;

bool WideToUtf8(const wchar_t *src, char (&dst)[kNarrowNameSize]);

// Converts into `dst`, which holds `dstCount` wchar_t including the terminator.
bool Utf8ToWide(const char *src, wchar_t *dst, size_t dstCount);

}  // namespace quorel
