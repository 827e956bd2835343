// The viewer's language, chosen by the locale the way the library chooses its
// dialog templates: the first of LC_ALL, LC_MESSAGES and LANG that is set and
// not empty decides, and Japanese is used when it starts with "ja".
#pragma once

namespace quorel::viewer {

enum class Language { kEnglish, kJapanese };

// Reads the environment. Thread-safe as long as nobody changes it meanwhile.
Language LanguageFromEnvironment();

// The same rule on given values (any may be null).
Language LanguageFromLocale(const char *lcAll, const char *lcMessages, const char *lang);

}  // namespace quorel::viewer
