#include "Language.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace quorel::viewer {

Language LanguageFromLocale(const char *lcAll, const char *lcMessages, const char *lang) {
  for (const char *value : {lcAll, lcMessages, lang}) {
    if (value == nullptr || value[0] == '\0') continue;
    return std::strncmp(value, "ja", 2) == 0 ? Language::kJapanese : Language::kEnglish;
  }
  return Language::kEnglish;
}

Language LanguageFromEnvironment() {
  return LanguageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace quorel::viewer
