#include <gtest/gtest.h>

#include "app/TerminalText.h"

namespace kesto {
namespace {

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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalText::printable(c.text, c.limit), c.shown) << c.text;
    }
}

}  // namespace
}  // namespace kesto
