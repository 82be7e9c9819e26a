#include "app/UploadCommand.h"

#include <charconv>
#include <optional>
#include <ostream>

#include "history/RadiationHistoryMng.h"

namespace kesto {
namespace {

struct Options {
    std::optional<std::string> dataDirectory;
    std::optional<std::string> server;
    std::size_t index = 0;
};

bool parseOptions(const std::vector<std::string>& args, Options& options, std::ostream& err) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--data-dir" || arg == "--server" || arg == "--index";
        if (!takesValue) {
            err << "kesto upload: unknown argument '" << arg << "'\n";
            return false;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            err << "kesto upload: " << arg << " needs a value\n";
            return false;
        }
        const std::string& value = args[++i];
        if (arg == "--data-dir") {
            options.dataDirectory = value;
        } else if (arg == "--server") {
            options.server = value;
        } else {
            const char* end = value.data() + value.size();
            auto [ptr, ec] = std::from_chars(value.data(), end, options.index);
            if (ec != std::errc() || ptr != end) {
                err << "kesto upload: --index takes a whole number from 0 (the newest), not '"
                    << value << "'\n";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

void UploadCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto upload [--data-dir D] [--server URL] [--index N]\n"
           "\n"
           "Sends saved measurement N (0, the newest, by default; see 'kesto history') to\n"
           "the collection server as a form POST to\n"
           "URL/clients/Kesto/addRadioactivityHistory.php, waits for the answer (30 s at\n"
           "most) and logs it. The form carries the device identifier and the position.\n"
           "\n"
           "Options:\n"
           "  --data-dir D   where radiationHistory.txt is (as for 'kesto history')\n"
           "  --server URL   the collection server, http://host[:port] (default\n"
           "                 $KESTO_SERVER; with neither, nothing is sent)\n"
           "  --index N      which saved measurement, 0 the newest\n"
           "\n"
           "Exit status: 0 when the server answered (whatever its HTTP status), 1 when\n"
           "nothing was sent or no answer came, 2 for bad options or a wrong index.\n";
}

int UploadCommand::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        printHelp(out);
        return 0;
    }
    Options options;
    if (!parseOptions(args, options, err)) {
        return 2;
    }
    if (options.dataDirectory) {
        RadiationHistoryMng::setDataDirectory(std::filesystem::path(*options.dataDirectory));
    }
    if (options.server) {
        RadiationHistoryMng::setServerURL(options.server);
    }
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto state = RadiationHistoryMng::lastLoadState();
    if (state == RadiationHistoryMng::LoadState::Unreadable) {
        err << "kesto upload: " << RadiationHistoryMng::historyFilePath().string()
            << " cannot be read as a history\n";
        return 1;
    }
    const RadiationHistoryMng::RecordList* list =
        RadiationHistoryMng::getRadiationHistoryRecordList();
    const std::size_t count = list ? list->size() : 0;
    if (count == 0) {
        err << "kesto upload: no saved measurement in "
            << RadiationHistoryMng::historyFilePath().string() << '\n';
        return 2;
    }
    if (options.index >= count) {
        err << "kesto upload: --index " << options.index << " is out of range: there "
            << (count == 1 ? "is 1 saved measurement (index 0)"
                           : "are " + std::to_string(count) + " saved measurements (index 0 to " +
                                 std::to_string(count - 1) + ")")
            << '\n';
        return 2;
    }
    // Keep the record alive on its own, as an upload thread would.
    const std::shared_ptr<const RadiationHistoryRecord> record = (*list)[options.index];
    return RadiationHistoryMng::sendRadiationHistoryRecordToServer(*record) ? 0 : 1;
}

}  // namespace kesto
