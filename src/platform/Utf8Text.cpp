#include "platform/Utf8Text.h"

#include <cstddef>
#include <cstdint>

namespace kesto {
namespace {

// Decodes one character at `text[i]`; returns its length, 0 when the bytes
// there are not a well-formed UTF-8 sequence (overlong forms, surrogates and
// values past U+10FFFF included).
std::size_t decode(std::string_view text, std::size_t i, char32_t& out) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t b0 = byte(i);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 < 0x80) {
        out = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        value = b0 & 0x1Fu;
        minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        value = b0 & 0x0Fu;
        minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        value = b0 & 0x07u;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint8_t b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    out = value;
    return length;
}

bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

bool Utf8Text::isValid(std::string_view text) {
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = decode(text, i, c);
        if (n == 0) {
            return false;
        }
        i += n;
    }
    return true;
}

std::string Utf8Text::xmlSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = decode(text, i, c);
        if (n == 0 || !isXmlChar(c)) {
            out += "\xEF\xBF\xBD";
            i += n == 0 ? 1 : n;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace kesto
