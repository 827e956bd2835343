// Wide file names to UTF-8 and back, with the failure rules of the wide exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/WideString.h"

namespace quorel {
namespace {

TEST(WideString, EncodesEveryUtf8Length) {
  char out[kNarrowNameSize];
  // 'a', e-acute, two CJK ideographs, and a character outside the BMP.
  const wchar_t name[] = {L'a', 0xE9, 0x65E5, 0x672C, 0x1F600, L'.', L'b', L'm', L'p', 0};
  ASSERT_TRUE(WideToUtf8(name, out));
  EXPECT_STREQ(out, "a\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80.bmp");
  EXPECT_TRUE(WideToUtf8(L"", out));
  EXPECT_STREQ(out, "");
}

TEST(WideString, InvalidCodePointsAndNullFail) {
  char out[kNarrowNameSize];
  for (wchar_t bad : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDFFF), static_cast<wchar_t>(0x110000),
                      static_cast<wchar_t>(-1)}) {
    std::strcpy(out, "stale");
    const wchar_t name[] = {L'x', bad, L'y', 0};
    EXPECT_FALSE(WideToUtf8(name, out)) << static_cast<long>(bad);
    EXPECT_STREQ(out, "");
  }
  EXPECT_FALSE(WideToUtf8(nullptr, out));
  // The highest valid code point converts.
  const wchar_t top[] = {static_cast<wchar_t>(0x10FFFF), 0};
  EXPECT_TRUE(WideToUtf8(top, out));
  EXPECT_STREQ(out, "\xF4\x8F\xBF\xBF");
}

TEST(WideString, ResultMustFitWithItsTerminator) {
  char out[kNarrowNameSize];
  std::wstring name(kNarrowNameSize - 1, L'a');
  EXPECT_TRUE(WideToUtf8(name.c_str(), out));
  EXPECT_EQ(std::strlen(out), kNarrowNameSize - 1);
  name.push_back(L'a');
  EXPECT_FALSE(WideToUtf8(name.c_str(), out));

  // 341 three-byte characters take 1023 bytes; one more does not fit.
  std::wstring cjk(341, static_cast<wchar_t>(0x65E5));
  EXPECT_TRUE(WideToUtf8(cjk.c_str(), out));
  cjk.push_back(static_cast<wchar_t>(0x65E5));
  EXPECT_FALSE(WideToUtf8(cjk.c_str(), out));

  // A multi-byte character is never split at the end.
  std::wstring edge(kNarrowNameSize - 2, L'a');
  edge.push_back(0xE9);
  EXPECT_FALSE(WideToUtf8(edge.c_str(), out));
  EXPECT_STREQ(out, "");
}

TEST(WideString, DecodesUtf8BackToCodePoints) {
  wchar_t out[16];
  ASSERT_TRUE(Utf8ToWide("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80", out, 16));
  const wchar_t expected[] = {L'a', 0xE9, 0x65E5, 0x1F600, 0};
  EXPECT_EQ(std::wstring(out), std::wstring(expected));

  EXPECT_TRUE(Utf8ToWide("abc", out, 4));
  EXPECT_EQ(std::wstring(out), L"abc");
  EXPECT_FALSE(Utf8ToWide("abc", out, 3));
  EXPECT_EQ(out[0], L'\0');
}

TEST(WideString, MalformedUtf8Fails) {
  wchar_t out[16];
  const char *bad[] = {
      "\xC0\xAF",          // overlong '/'
      "\xE0\x80\xAF",      // overlong, three bytes
      "\xED\xA0\x80",      // encoded surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "ab\xE6\x97",        // cut short at the end
      "\x80",              // stray continuation byte
      "\xFF",              // never valid
      "\xC3(",             // lead byte without continuation
  };
  for (const char *s : bad) {
    out[0] = L'z';
    EXPECT_FALSE(Utf8ToWide(s, out, 16)) << s;
    EXPECT_EQ(out[0], L'\0');
  }
  EXPECT_FALSE(Utf8ToWide(nullptr, out, 16));
  EXPECT_FALSE(Utf8ToWide("a", nullptr, 16));
  EXPECT_FALSE(Utf8ToWide("a", out, 0));
}

TEST(WideString, RoundTripPreservesEveryPlane) {
  char narrow[kNarrowNameSize];
  wchar_t back[64];
  const wchar_t name[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0x10000, 0x10FFFF, 0};
  ASSERT_TRUE(WideToUtf8(name, narrow));
  ASSERT_TRUE(Utf8ToWide(narrow, back, 64));
  EXPECT_EQ(std::wstring(back), std::wstring(name));
}

}  // namespace
}  // namespace quorel
