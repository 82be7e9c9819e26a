#include "app/TextCommand.h"

#include <clocale>
#include <ostream>

#include "platform/LocalizedStrings.h"

namespace kesto {

void TextCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto text KEY...\n"
           "\n"
           "Prints the text shown for each key (for example Tab_Alert, A_TapToLaunch),\n"
           "one per line, in the language of the environment; English for C, POSIX or a\n"
           "language without texts. A key without any text prints as itself.\n";
}

int TextCommand::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        printHelp(err);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        printHelp(out);
        return 0;
    }
    // The language comes from the environment, as for the whole program.
    std::setlocale(LC_ALL, "");
    for (const auto& key : args) {
        out << LocalizedStrings::localizedString(key) << '\n';
    }
    return 0;
}

}  // namespace kesto
