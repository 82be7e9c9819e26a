#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kesto {

// Text from outside the program (a history file, a server's answer) on its
// way to a terminal. Control characters there (C0, DEL, and C1 such as
// U+009B, the one-character escape) could move the cursor, clear the screen
// or retitle the window, so each is shown as '?'; bytes that are not UTF-8
// show as U+FFFD. Pure functions: any thread.
class TerminalText {
  public:
    static std::string printable(std::string_view text);
    // At most `limit` bytes of `text` (never half a character), then how
    // much was left out: " … (N more bytes not shown)".
    static std::string printable(std::string_view text, std::size_t limit);
};

}  // namespace kesto
