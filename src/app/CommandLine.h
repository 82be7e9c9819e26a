#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace kesto {

class Command;

// The `kesto` program's command line: picks the subcommand, reads its
// options and runs it. Returns the process exit status: 0 done, 1 the work
// failed (an exception included), 2 a wrong call, reported as
//
//   kesto <command>: <what is wrong>
//   Run 'kesto <command> --help' for usage.
//
// The console lines the application writes for its developers are a log:
// `kesto serve` writes them to standard error (the journal, under systemd);
// the other commands only with --verbose or a non-empty KESTO_LOG, so that a
// person sees what was asked for. While a command runs, console lines reach
// the terminal only as printable text of bounded length, whatever a file or
// a server put into them.
class CommandLine {
  public:
    struct Entry {
        const char* name;
        const char* summary;  // one line in the program's usage
        void (*printHelp)(std::ostream& out);
        std::unique_ptr<Command> (*make)();
    };
    // Every subcommand, in the order the usage lists them.
    static const std::vector<Entry>& commands();

    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    // Parses `args` (the arguments after the command's name) into `command`
    // and runs it; what run() does once the command is known.
    static int run(const Entry& entry, Command& command, const std::vector<std::string>& args,
                   std::ostream& out, std::ostream& err);
    static void printUsage(std::ostream& out);

    // The longest console line shown whole.
    static constexpr std::size_t kConsoleLineLimit = 1000;
};

}  // namespace kesto
