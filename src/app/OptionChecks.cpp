#include "app/OptionChecks.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace kesto {

CLI::Validator OptionChecks::wholeNumber(std::size_t minimum, std::size_t maximum) {
    const std::string range =
        maximum != SIZE_MAX
            ? "a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum)
        : minimum > 0 ? "a whole number of at least " + std::to_string(minimum)
                      : std::string("a whole number");
    return CLI::Validator(
        [minimum, maximum, range](std::string& text) -> std::string {
            std::size_t value = 0;
            const char* end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, value);
            const bool digitsOnly =
                !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            if (!digitsOnly || ec != std::errc() || ptr != end || value < minimum ||
                value > maximum) {
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
