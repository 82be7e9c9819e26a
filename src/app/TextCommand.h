#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kesto {

// `kesto text KEY...`: prints the text that the screens show for each key, in
// the language of the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), one
// per line. Shows which table an installed program reads, and what a
// translator's change looks like, without the screens.
class TextCommand {
  public:
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static void printHelp(std::ostream& out);
};

}  // namespace kesto
