#pragma once

#include <clocale>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace kesto::test {

// Runs a test under the locale that LANG (and LANGUAGE) select, as a program
// does with setlocale(LC_ALL, ""), LC_ALL and LC_MESSAGES cleared; then puts
// the environment and the process locale back.
class LocaleScope {
  public:
    explicit LocaleScope(const char* lang, const char* language = nullptr)
        : savedLocale_(std::setlocale(LC_ALL, nullptr)) {
        environment_.set("LANGUAGE", language);
        environment_.set("LC_ALL", nullptr);
        environment_.set("LC_MESSAGES", nullptr);
        environment_.set("LANG", lang);
        std::setlocale(LC_ALL, "");
    }
    ~LocaleScope() { std::setlocale(LC_ALL, savedLocale_.c_str()); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

  private:
    std::string savedLocale_;
    ScopedEnvironment environment_;
};

// The keys the screens look up, each of which every language must give a text.
inline const std::vector<std::string>& screenKeys() {
    static const std::vector<std::string> keys = [] {
        std::istringstream words(
            "Tab_Alert Tab_Measure Tab_History Tab_Help A_TapToLaunch A_DetectionInProgress "
            "A_AlertDetectionInProgress A_RadioActivityDetected A_NoRadioActivityDetected "
            "A_Measure A_DetectAgain B_Save B_MsgFaibleRadioactivity B_MesureInProgress "
            "B_StopAndSave B_MsgNoRadioActivity C_Msg1_iPhone4 C_Msg1_notIPhone4 C_Msg2 C_Msg3 "
            "H_EnterTag Dose H_DoseTotal H_DurationTotal H_ExpositionMoyen H_LimitExposition Yes "
            "No Ok Cancel Kesto_help_path");
        return std::vector<std::string>(std::istream_iterator<std::string>(words), {});
    }();
    return keys;
}

}  // namespace kesto::test
