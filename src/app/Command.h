#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace kesto {

// A wrong call of a command found once its options are read (a value that
// does not fit with another, an index past the end): exit status 2, reported
// in the same words as the option parser's own mistakes. The message leaves
// out the command's name.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One `kesto` subcommand. The command line makes a fresh object, lets it
// declare its options on a CLI11 app (bound to its own members), parses the
// arguments into them and runs it once. Help is the command's own text,
// printed by the command line before anything is parsed.
//
// Threads: the main thread.
class Command {
  public:
    virtual ~Command() = default;

    virtual void declareOptions(CLI::App& app) = 0;
    // The exit status: 0 when the work was done, 1 when it failed. Throws
    // UsageError for a wrong call; any other exception is a failure (1).
    virtual int run(std::ostream& out, std::ostream& err) = 0;

    // For a command that saved the history: says whether the save reached
    // the disk (on `out` when it did, on `err` when not) and returns the
    // exit status that follows from it, 0 or 1.
    static int reportHistorySave(std::string_view command, std::ostream& out, std::ostream& err);
    // Says on `err` why the command failed, as "kesto <command>: <why>",
    // and returns the exit status of a failure, 1.
    static int failed(std::string_view command, std::string_view why, std::ostream& err);
    // Why the history could not be read: no data directory at all, or a
    // file that is not a history (which stays untouched).
    static std::string unreadableHistoryReason();
};

}  // namespace kesto
