#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kesto::test {

// Runs a test under the locale that the given LANG (and optionally LANGUAGE)
// select, as a program does with setlocale(LC_ALL, ""), then puts the
// environment and the process locale back as they were. LC_ALL and
// LC_MESSAGES are cleared meanwhile so that LANG decides.
class LocaleScope {
  public:
    explicit LocaleScope(const char* lang, const char* language = nullptr);
    ~LocaleScope();
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
    std::string savedLocale_;
};

// The keys the screens look up, each of which every language must give a text.
const std::vector<std::string>& screenKeys();

}  // namespace kesto::test
