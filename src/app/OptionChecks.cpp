#include "app/OptionChecks.h"

#include <cstdint>
#include <string>

#include "platform/ParseNumber.h"

namespace kesto {

CLI::Validator OptionChecks::wholeNumber(std::size_t minimum, std::size_t maximum) {
    const std::string range =
        maximum != SIZE_MAX
            ? "a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum)
        : minimum > 0 ? "a whole number of at least " + std::to_string(minimum)
                      : std::string("a whole number");
    return CLI::Validator(
        [minimum, maximum, range](std::string& text) -> std::string {
            // Digits only: from_chars alone would take "-1" for a huge number.
            const bool digitsOnly =
                !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            const auto value = parseNumber<std::size_t>(text);
            if (!digitsOnly || !value || *value < minimum || *value > maximum) {
                return range + " is needed, not '" + text + "'";
            }
            return {};
        },
        "");
}

CLI::Validator OptionChecks::notEmpty() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return text.empty() ? std::string("an empty value is not allowed") : std::string();
        },
        "");
}

}  // namespace kesto
