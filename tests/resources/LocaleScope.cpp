#include "LocaleScope.h"

#include <clocale>
#include <cstdlib>
#include <iterator>
#include <sstream>

namespace kesto::test {
namespace {

void setOrClear(const char* name, const char* value) {
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

LocaleScope::LocaleScope(const char* lang, const char* language) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        savedEnvironment_.emplace_back(name,
                                       value ? std::optional<std::string>(value) : std::nullopt);
    }
    savedLocale_ = std::setlocale(LC_ALL, nullptr);
    setOrClear("LANGUAGE", language);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setOrClear("LANG", lang);
    std::setlocale(LC_ALL, "");
}

LocaleScope::~LocaleScope() {
    for (const auto& [name, value] : savedEnvironment_) {
        setOrClear(name.c_str(), value ? value->c_str() : nullptr);
    }
    std::setlocale(LC_ALL, savedLocale_.c_str());
}

const std::vector<std::string>& screenKeys() {
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
