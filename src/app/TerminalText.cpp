#include "app/TerminalText.h"

#include "platform/Utf8Text.h"

namespace kesto {
namespace {

// U+202A to U+202E (embeddings, overrides, their pop) and U+2066 to U+2069
// (isolates), as UTF-8: E2 80 AA..AE, E2 81 A6..A9.
bool isDirectionControl(std::string_view text) {
    if (text.size() < 3 || static_cast<unsigned char>(text[0]) != 0xE2) {
        return false;
    }
    const auto b1 = static_cast<unsigned char>(text[1]);
    const auto b2 = static_cast<unsigned char>(text[2]);
    return (b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) || (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9);
}

}  // namespace

std::string TerminalText::isolated(std::string_view text) {
    return "\u2068" + printable(text) + "\u2069";
}

std::string TerminalText::printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (u < 0x20 || u == 0x7F) {
            shown += '?';
        } else if (u == 0xC2 && next >= 0x80 && next <= 0x9F) {
            shown += '?';
            ++i;
        } else if (isDirectionControl(text.substr(i))) {
            shown += '?';
            i += 2;
        } else {
            shown += static_cast<char>(u);
        }
    }
    // What is left of the control characters is gone; this only replaces
    // broken sequences, so a terminal never sees a stray C1 byte.
    return Utf8Text::xmlSafe(shown);
}

std::string TerminalText::printable(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return printable(text);
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return printable(text.substr(0, cut)) + " \u2026 (" + std::to_string(text.size() - cut) +
           " more bytes not shown)";
}

}  // namespace kesto
