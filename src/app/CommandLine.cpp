#include "app/CommandLine.h"

#include <ostream>

#include "app/AnalyzeCommand.h"
#include "app/CaptureCommand.h"
#include "app/NetworkCommand.h"
#include "app/TextCommand.h"

namespace kesto {

void CommandLine::printUsage(std::ostream& out) {
    out << "Usage: kesto <command> [options]\n"
           "\n"
           "Kesto turns a camera's image sensor, lens covered, into a gamma-radiation\n"
           "detector.\n"
           "\n"
           "Commands:\n"
           "  analyze   study raw BGRA frame dumps offline: hits, level, light\n"
           "  capture   measure through the capture chain (camera, simulator, replay)\n"
           "  network   tell whether the internet can be reached now (before an upload)\n"
           "  text      print the texts shown for the given keys, in your language\n"
           "\n"
           "Run 'kesto <command> --help' for the options of a command.\n";
}

int CommandLine::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        printUsage(args.empty() ? err : out);
        return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "analyze") {
        return AnalyzeCommand::run(rest, out, err);
    }
    if (command == "capture") {
        return CaptureCommand::run(rest, out, err);
    }
    if (command == "network") {
        return NetworkCommand::run(rest, out, err);
    }
    if (command == "text") {
        return TextCommand::run(rest, out, err);
    }
    err << "kesto: unknown command '" << command << "'\n";
    printUsage(err);
    return 2;
}

}  // namespace kesto
