// What each of the library's error codes means, in the viewer's languages.
//
// The library keeps its own table of code names and meanings inside, not in
// its public interface, and it has no Japanese texts; the viewer therefore
// keeps this small table of its own. The codes are those of the QUOREL_ERR_*
// macros of the public header.
#pragma once

#include <string>

#include "Language.h"

namespace quorel::viewer {

// "camera not available" for 2 (in Japanese for kJapanese); a text saying
// "unknown error" for a code outside 0..13. Static text.
const char *ErrorMeaning(int code, Language lang);

// "error 2: camera not available" / "エラー 2: カメラを使用できません".
std::string DescribeError(int code, Language lang);

}  // namespace quorel::viewer
