#include "app/TerminalText.h"

#include "platform/Utf8Text.h"

namespace kesto {

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
