#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/Command.h"

namespace kesto {

// `kesto text KEY...`: prints the text that the screens show for each key, in
// the language of the environment (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), one
// per line. Shows which table an installed program reads, and what a
// translator's change looks like, without the screens.
class TextCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    std::vector<std::string> keys_;
};

}  // namespace kesto
