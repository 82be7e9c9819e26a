#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// The texts that the screens show, looked up by key: every title, message and
// button text is the text of a key in the "kesto" gettext domain, compiled
// from resources/strings/<language>.po into
// <ResourceLocator::localeDirectory()>/<language>/LC_MESSAGES/kesto.mo.
//
// The language is the process locale's, chosen the gettext way (LANGUAGE,
// then LC_ALL, LC_MESSAGES, LANG, once the program has called
// setlocale(LC_ALL, "")). Where that language has no text for a key (C or
// POSIX locale, a language without a table, a key missing from it) the English
// text shows, and where English has none either, the key itself: a missing
// text is visible, never blank. Texts are always UTF-8, whatever the locale's
// character set.
//
// Threads: any thread.
class LocalizedStrings {
  public:
    static constexpr const char* kDomain = "kesto";
    // The language whose table answers when the locale's has no text.
    static constexpr const char* kFallbackLanguage = "en";

    static std::string localizedString(std::string_view key);
    // printf-style text for the screen: numbers take the language's decimal
    // separator (the text of "DecimalSeparator"), so a French screen says
    // 0,50 as its texts do. Every point between two digits is one; files,
    // forms and terminals keep cformat's point.
    static std::string localizedFormat(const char* format, ...)
        __attribute__((format(printf, 1, 2)));
    // The keys with that prefix, from the English table (every language has
    // the same keys).
    static std::vector<std::string> keysStartingWith(std::string_view prefix);
};

}  // namespace kesto
