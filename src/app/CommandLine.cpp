#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string_view>

// The whole library once: its formatter and config reader live in headers
// that App.hpp leaves out.
#include <CLI/CLI.hpp>

#include "app/AlertCommand.h"
#include "app/AnalyzeCommand.h"
#include "app/CalibrateCommand.h"
#include "app/CaptureCommand.h"
#include "app/CollectCommand.h"
#include "app/Command.h"
#include "app/HistoryCommand.h"
#include "app/MeasureCommand.h"
#include "app/NetworkCommand.h"
#include "app/ServeCommand.h"
#include "app/TerminalText.h"
#include "app/TextCommand.h"
#include "app/UploadCommand.h"
#include "platform/Console.h"

namespace kesto {
namespace {

template <typename T>
std::unique_ptr<Command> make() {
    return std::make_unique<T>();
}

// Console lines pass through TerminalText on their way out, or go nowhere
// when not `visible`, for as long as the object lives.
class PrintableConsole {
  public:
    explicit PrintableConsole(bool visible) {
        Console::Sink next = Console::setSink({});
        previous_ = next;
        if (!visible) {
            Console::setSink([](std::string_view) {});
            return;
        }
        Console::setSink([next = std::move(next)](std::string_view line) {
            const std::string shown = TerminalText::printable(line, CommandLine::kConsoleLineLimit);
            if (next) {
                next(shown);
            } else {
                std::fwrite(shown.data(), 1, shown.size(), stderr);
                std::fputc('\n', stderr);
            }
        });
    }
    ~PrintableConsole() { Console::setSink(std::move(previous_)); }
    PrintableConsole(const PrintableConsole&) = delete;
    PrintableConsole& operator=(const PrintableConsole&) = delete;

  private:
    Console::Sink previous_;
};

int usageError(const std::string& program, const std::string& message, std::ostream& err) {
    err << program << ": " << TerminalText::printable(message) << "\nRun '" << program
        << " --help' for usage.\n";
    return 2;
}

// The service's log is the journal; a terminal shows the work, and the
// developers' lines only when asked.
bool logShown(const CommandLine::Entry& entry, bool verbose) {
    const char* log = std::getenv("KESTO_LOG");
    return std::string_view(entry.name) == "serve" || verbose || (log != nullptr && *log != '\0');
}

bool asksForHelp(const std::vector<std::string>& args) {
    // Past "--" everything is an operand, even "--help".
    const auto end = std::find(args.begin(), args.end(), "--");
    return std::any_of(args.begin(), end,
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

const CommandLine::Entry* find(const std::string& name) {
    for (const auto& entry : CommandLine::commands()) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<CommandLine::Entry>& CommandLine::commands() {
    static const std::vector<Entry> entries = {
        {"alert", "is there radioactivity here? the 30-second detection and its verdict",
         AlertCommand::printHelp, make<AlertCommand>},
        {"measure", "measure the dose rate and dose, and save the measurement",
         MeasureCommand::printHelp, make<MeasureCommand>},
        {"serve", "show the application in a browser (prints the address to open)",
         ServeCommand::printHelp, make<ServeCommand>},
        {"analyze", "study raw BGRA frame dumps offline: hits, level, light",
         AnalyzeCommand::printHelp, make<AnalyzeCommand>},
        {"capture", "measure through the capture chain (camera, simulator, replay)",
         CaptureCommand::printHelp, make<CaptureCommand>},
        {"calibrate", "learn the covered camera's noise and hot pixels: its profile",
         CalibrateCommand::printHelp, make<CalibrateCommand>},
        {"network", "tell whether the internet can be reached now (before an upload)",
         NetworkCommand::printHelp, make<NetworkCommand>},
        {"text", "print the texts shown for the given keys, in your language",
         TextCommand::printHelp, make<TextCommand>},
        {"collect", "run a collection server: every device's uploads, a map of them",
         CollectCommand::printHelp, make<CollectCommand>},
        {"history", "list the saved measurements and their totals", HistoryCommand::printHelp,
         make<HistoryCommand>},
        {"upload", "send a saved measurement to the collection server", UploadCommand::printHelp,
         make<UploadCommand>},
    };
    return entries;
}

void CommandLine::printUsage(std::ostream& out) {
    out << "Usage: kesto <command> [options]\n"
           "\n"
           "Kesto turns a camera's image sensor, lens covered, into a gamma-radiation\n"
           "detector.\n"
           "\n"
           "Commands:\n";
    for (const auto& entry : commands()) {
        const std::string name = entry.name;
        out << "  " << name << std::string(name.size() < 10 ? 10 - name.size() : 1, ' ')
            << entry.summary << '\n';
    }
    out << "\n"
           "Run 'kesto <command> --help' for the options of a command. Every command also\n"
           "takes --verbose: the lines logged for developers go to standard error (as with\n"
           "a non-empty KESTO_LOG; 'kesto serve' always logs them).\n";
}

int CommandLine::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        printUsage(err);
        return 2;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
        const Entry* entry = args.size() > 1 ? find(args[1]) : nullptr;
        if (entry != nullptr) {
            entry->printHelp(out);
        } else {
            printUsage(out);
        }
        return 0;
    }
    const Entry* entry = find(name);
    if (entry == nullptr) {
        return usageError("kesto", "unknown command '" + name + "'", err);
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (asksForHelp(rest)) {
        entry->printHelp(out);
        return 0;
    }
    const std::unique_ptr<Command> command = entry->make();
    return run(*entry, *command, rest, out, err);
}

int CommandLine::run(const Entry& entry, Command& command, const std::vector<std::string>& args,
                     std::ostream& out, std::ostream& err) {
    const std::string program = std::string("kesto ") + entry.name;
    try {
        CLI::App app("", program);
        app.set_help_flag();  // the command's own text, handled above
        bool verbose = false;
        app.add_flag("--verbose", verbose);
        command.declareOptions(app);
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
        const PrintableConsole console(logShown(entry, verbose));
        return command.run(out, err);
    } catch (const CLI::ParseError& e) {
        return usageError(program, e.what(), err);
    } catch (const UsageError& e) {
        return usageError(program, e.what(), err);
    } catch (const std::exception& e) {
        err << program << ": " << TerminalText::printable(e.what()) << '\n';
    } catch (...) {
        err << program << ": failed on an unexpected error\n";
    }
    return 1;
}

}  // namespace kesto
