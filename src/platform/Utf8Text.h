#pragma once

#include <string>
#include <string_view>

namespace kesto {

// UTF-8 checks for texts that leave the process: the history file must stay
// well-formed XML for every property-list reader, and a server's answer is
// only logged as text when it is text. Pure functions: any thread.
class Utf8Text {
  public:
    static bool isValid(std::string_view text);
    // `text` with every byte sequence that is not valid UTF-8, and every
    // character XML 1.0 cannot carry (control characters other than tab, line
    // feed and carriage return; U+FFFE, U+FFFF), replaced by U+FFFD.
    static std::string xmlSafe(std::string_view text);
};

}  // namespace kesto
