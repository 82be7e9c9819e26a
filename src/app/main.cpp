#include <clocale>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/TerminalText.h"

int main(int argc, char** argv) {
    // The language of the texts comes from the environment; numbers in files
    // and forms are written in the C locale whatever it is.
    std::setlocale(LC_ALL, "");
    // Nothing ends the program on an uncaught exception: a failure is
    // reported and the status is 1.
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        return kesto::CommandLine::run(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "kesto: " << kesto::TerminalText::printable(e.what()) << '\n';
    } catch (...) {
        std::cerr << "kesto: failed on an unexpected error\n";
    }
    return 1;
}
