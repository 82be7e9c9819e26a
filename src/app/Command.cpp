#include "app/Command.h"

#include <ostream>

#include "app/TerminalText.h"
#include "history/RadiationHistoryMng.h"

namespace kesto {

int Command::reportHistorySave(std::string_view command, std::ostream& out, std::ostream& err) {
    const std::string path = RadiationHistoryMng::historyFilePath().string();
    const Result<void>& saved = RadiationHistoryMng::lastSave();
    if (saved) {
        out << "Saved to " << path << '\n';
        return 0;
    }
    return failed(command, "the history could not be saved to " + path + ": " + saved.error(), err);
}

int Command::failed(std::string_view command, std::string_view why, std::ostream& err) {
    err << "kesto " << command << ": " << TerminalText::printable(why) << '\n';
    return 1;
}

std::string Command::unreadableHistoryReason() {
    if (const auto directory = RadiationHistoryMng::resolveDataDirectory(); !directory) {
        return directory.error();
    }
    return RadiationHistoryMng::historyFilePath().string() +
           " cannot be read as a history; it was left untouched";
}

}  // namespace kesto
