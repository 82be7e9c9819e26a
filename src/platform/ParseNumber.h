#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace kesto {

// Reads the whole of `text` as a T, or nothing: no surrounding space, no
// trailing characters, nothing out of T's range. std::from_chars reads the C
// locale's decimal point whatever the process locale, so "4,8" is refused
// under a decimal-comma locale too.
// Threads: any.
template <typename T>
std::optional<T> parseNumber(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace kesto
