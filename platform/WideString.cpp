#include "platform/WideString.h"

#include <cstdint>

namespace quorel {
namespace {

bool IsValidCodePoint(uint32_t cp) {
  return cp <= 0x10FFFFu && (cp < 0xD800u || cp > 0xDFFFu);
}

// Number of bytes `cp` takes in UTF-8 (cp must be valid).
size_t EncodedLength(uint32_t cp) {
  if (cp < 0x80u) return 1;
  if (cp < 0x800u) return 2;
  if (cp < 0x10000u) return 3;
  return 4;
}

// Decodes one UTF-8 sequence at `s`; returns its length, or 0 when it is not
// a valid, shortest-form encoding of a valid code point.
size_t DecodeUtf8(const unsigned char *s, uint32_t &cp) {
  const unsigned char lead = s[0];
  size_t length;
  uint32_t value;
  if (lead < 0x80u) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0u) == 0xC0u) {
    length = 2;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0u) == 0xE0u) {
    length = 3;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8u) == 0xF0u) {
    length = 4;
    value = lead & 0x07u;
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    // A terminator here fails this test, so we never read past the string.
    if ((s[i] & 0xC0u) != 0x80u) return 0;
    value = (value << 6) | (s[i] & 0x3Fu);
  }
  if (!IsValidCodePoint(value) || EncodedLength(value) != length) return 0;
  cp = value;
  return length;
}

}  // namespace

bool WideToUtf8(const wchar_t *src, char (&dst)[kNarrowNameSize]) {
  dst[0] = '\0';
  if (src == nullptr) return false;
  size_t out = 0;
  for (const wchar_t *p = src; *p != L'\0'; ++p) {
    // A negative wchar_t becomes a number above 0x10FFFF, which is refused.
    const uint32_t cp = static_cast<uint32_t>(*p);  // NOLINT(bugprone-signed-char-misuse)
    if (!IsValidCodePoint(cp)) {
      dst[0] = '\0';
      return false;
    }
    const size_t length = EncodedLength(cp);
    if (out + length + 1 > kNarrowNameSize) {
      dst[0] = '\0';
      return false;
    }
    unsigned char *o = reinterpret_cast<unsigned char *>(dst) + out;
    switch (length) {
      case 1:
        o[0] = static_cast<unsigned char>(cp);
        break;
      case 2:
        o[0] = static_cast<unsigned char>(0xC0u | (cp >> 6));
        o[1] = static_cast<unsigned char>(0x80u | (cp & 0x3Fu));
        break;
      case 3:
        o[0] = static_cast<unsigned char>(0xE0u | (cp >> 12));
        o[1] = static_cast<unsigned char>(0x80u | ((cp >> 6) & 0x3Fu));
        o[2] = static_cast<unsigned char>(0x80u | (cp & 0x3Fu));
        break;
      default:
        o[0] = static_cast<unsigned char>(0xF0u | (cp >> 18));
        o[1] = static_cast<unsigned char>(0x80u | ((cp >> 12) & 0x3Fu));
        o[2] = static_cast<unsigned char>(0x80u | ((cp >> 6) & 0x3Fu));
        o[3] = static_cast<unsigned char>(0x80u | (cp & 0x3Fu));
        break;
    }
    out += length;
  }
  dst[out] = '\0';
  return true;
}

bool Utf8ToWide(const char *src, wchar_t *dst, size_t dstCount) {
  if (dst == nullptr || dstCount == 0) return false;
  dst[0] = L'\0';
  if (src == nullptr) return false;
  const unsigned char *s = reinterpret_cast<const unsigned char *>(src);
  size_t out = 0;
  while (*s != 0) {
    uint32_t cp = 0;
    const size_t length = DecodeUtf8(s, cp);
    if (length == 0 || out + 1 >= dstCount) {
      dst[0] = L'\0';
      return false;
    }
    dst[out++] = static_cast<wchar_t>(cp);
    s += length;
  }
  dst[out] = L'\0';
  return true;
}

}  // namespace quorel
