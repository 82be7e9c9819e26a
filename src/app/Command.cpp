#include "app/Command.h"

#include <ostream>

#include "history/RadiationHistoryMng.h"

namespace kesto {

int Command::reportHistorySave(std::string_view command, std::ostream& out, std::ostream& err) {
    const std::string path = RadiationHistoryMng::historyFilePath().string();
    if (RadiationHistoryMng::lastSaveSucceeded()) {
        out << "Saved to " << path << '\n';
        return 0;
    }
    err << "kesto " << command << ": the history could not be saved to " << path << '\n';
    return 1;
}

std::string Command::unreadableHistoryReason() {
    if (const auto problem = RadiationHistoryMng::dataDirectoryProblem()) {
        return *problem;
    }
    return RadiationHistoryMng::historyFilePath().string() +
           " cannot be read as a history; it was left untouched";
}

}  // namespace kesto
