#include <gtest/gtest.h>

#include "app/TerminalText.h"

namespace kesto {
namespace {

// Direction controls could turn the rest of the line around: they are shown
// as controls, and a tag is isolated so its own direction stays inside.
TEST(TerminalTextTest, ShowsControlsAsQuestionMarksAndCutsWholeCharacters) {
    const struct {
        std::string text;
        std::size_t limit;
        std::string shown;
    } cases[] = {
        {"a\x1B]0;t\x07z\x7F\xC2\x9B", 100, "a?]0;t?z??"},
        {"caf\xC3\xA9\xFF", 100, "caf\xC3\xA9\xEF\xBF\xBD"},  // not UTF-8: U+FFFD
        {"ab\xC3\xA9xyz", 3, "ab \u2026 (5 more bytes not shown)"},
        {"abc", 3, "abc"},
        {"a\u202Eb\u2069c\u202Ad\u2066", 100, "a?b?c?d?"},
        {"\u05E9\u05DC\u05D5\u05DD \u200F", 100, "\u05E9\u05DC\u05D5\u05DD \u200F"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText::printable(c.text, c.limit), c.shown) << c.text;
    }
    EXPECT_EQ(TerminalText::isolated("\u202Ex\x1B"), "\u2068?x?\u2069");
}

}  // namespace
}  // namespace kesto
