#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kesto {

// Text from outside the program (a history file, a server's answer, a tag) on
// its way to a terminal. Control characters there (C0 with ESC, DEL, and C1
// such as U+009B, the one-character escape) could move the cursor, clear the
// screen or retitle the window, and the explicit direction controls (U+202A
// to U+202E, U+2066 to U+2069) could reorder the rest of the line, so each
// is shown as '?'; bytes that are not UTF-8 show as U+FFFD. Pure functions:
// any thread.
class TerminalText {
  public:
    static std::string printable(std::string_view text);
    // printable(text) as a directional isolate (U+2068 ... U+2069): a
    // right-to-left tag keeps its own order without turning the dates and
    // figures beside it around.
    static std::string isolated(std::string_view text);
    // At most `limit` bytes of `text` (never half a character), then how
    // much was left out: " … (N more bytes not shown)".
    static std::string printable(std::string_view text, std::size_t limit);
};

}  // namespace kesto
