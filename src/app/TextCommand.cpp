#include "app/TextCommand.h"

#include <clocale>
#include <ostream>

#include <CLI/App.hpp>

#include "platform/LocalizedStrings.h"

namespace kesto {

void TextCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto text KEY...\n"
           "\n"
           "Prints the text shown for each key (for example Tab_Alert, A_TapToLaunch),\n"
           "one per line, in the language of the environment; English for C, POSIX or a\n"
           "language without texts. A key without any text prints as itself.\n";
}

void TextCommand::declareOptions(CLI::App& app) {
    app.add_option("KEY", keys_)->required();
}

int TextCommand::run(std::ostream& out, std::ostream&) {
    // The language comes from the environment, as for the whole program.
    std::setlocale(LC_ALL, "");
    for (const auto& key : keys_) {
        out << LocalizedStrings::localizedString(key) << '\n';
    }
    return 0;
}

}  // namespace kesto
