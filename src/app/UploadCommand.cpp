#include "app/UploadCommand.h"

#include <cstdint>
#include <ostream>

#include <CLI/App.hpp>

#include "app/OptionChecks.h"
#include "app/TerminalText.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/Format.h"

namespace kesto {

void UploadCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto upload [--data-dir D] [--server URL] [--index N | --pending]\n"
           "\n"
           "Sends saved measurement N (0, the newest, by default; see 'kesto history') to\n"
           "the collection server as a form POST to\n"
           "URL/clients/Kesto/addRadioactivityHistory.php, waits for the answer (30 s at\n"
           "most), prints its HTTP status and logs the answer. The form carries the device\n"
           "identifier and the position. Measurements of the simulated sensor are never\n"
           "sent, wherever they are kept: each record says whether it is simulated.\n"
           "\n"
           "Options:\n"
           "  --data-dir D   where radiationHistory.txt is (as for 'kesto history')\n"
           "  --server URL   the collection server, http://host[:port] (default\n"
           "                 $KESTO_SERVER; with neither, nothing is sent)\n"
           "  --index N      which saved measurement, 0 the newest\n"
           "  --pending      every saved measurement the server never acknowledged (no\n"
           "                 2xx answer in uploads.jsonl), oldest first, one line each:\n"
           "                 index, tag, start and the outcome; simulated ones are left out\n"
           "\n"
           "Exit status: 0 when the server accepted the measurement (an HTTP status of\n"
           "2xx), 1 when it answered with any other status (a redirect is not followed),\n"
           "when nothing was sent or no answer came, or when there is no saved\n"
           "measurement; 2 for bad options or a wrong index. With --pending: 0 when every\n"
           "one sent was acknowledged (or none was pending), else 1.\n"
           "\n"
           "Every upload's outcome is appended to uploads.jsonl in the data directory.\n"
           "Nothing is ever resent unasked.\n";
}

void UploadCommand::declareOptions(CLI::App& app) {
    app.add_option("--data-dir", dataDirectory_)->type_name("D")->check(OptionChecks::notEmpty());
    app.add_option("--server", server_)->type_name("URL")->check(OptionChecks::notEmpty());
    app.add_option("--index", index_)
        ->type_name("N")
        ->check(OptionChecks::wholeNumber(0, SIZE_MAX));
    app.add_flag("--pending", pending_)->excludes("--index");
}

int UploadCommand::run(std::ostream& out, std::ostream& err) {
    if (dataDirectory_) {
        RadiationHistoryMng::setDataDirectory(std::filesystem::path(*dataDirectory_));
    }
    if (server_) {
        RadiationHistoryMng::setServerURL(server_);
    }
    // Only the real history is ever sent.
    RadiationHistoryMng::setSimulated(false);
    RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal();
    const auto state = RadiationHistoryMng::lastLoadState();
    if (state == RadiationHistoryMng::LoadState::Unreadable) {
        err << "kesto upload: " << unreadableHistoryReason() << '\n';
        return 1;
    }
    const RadiationHistoryMng::RecordList* list =
        RadiationHistoryMng::getRadiationHistoryRecordList();
    const std::size_t count = list ? list->size() : 0;
    if (count == 0) {
        err << "kesto upload: no saved measurement in "
            << RadiationHistoryMng::historyFilePath().string() << '\n';
        return 1;
    }
    if (pending_) {
        return sendPending(*list, out, err);
    }
    if (index_ >= count) {
        throw UsageError("--index " + std::to_string(index_) + " is out of range: there " +
                         (count == 1 ? "is 1 saved measurement (index 0)"
                                     : "are " + std::to_string(count) +
                                           " saved measurements (index 0 to " +
                                           std::to_string(count - 1) + ")"));
    }
    // Keep the record alive on its own, as an upload thread would.
    const std::shared_ptr<const RadiationHistoryRecord> record = (*list)[index_];
    if (record->isSimulated()) {
        err << "kesto upload: measurement " << index_
            << " is SIMULATED, made up by the simulated sensor: it is never sent\n";
        return 1;
    }
    // The answer itself is logged by the store; console lines reach the
    // terminal escaped and capped.
    const UploadLog::Exchange answer = RadiationHistoryMng::postRadiationHistoryRecord(*record);
    if (!answer) {
        err << "kesto upload: the measurement was not delivered\n";
        return 1;
    }
    const long status = answer->status;
    out << "HTTP status " << status << '\n';
    if (UploadLog::acknowledged(answer)) {
        return 0;
    }
    err << "kesto upload: the server did not accept the measurement (HTTP status " << status
        << (status >= 300 && status <= 399 ? ", a redirect, which is not followed" : "") << ")\n";
    return 1;
}

int UploadCommand::sendPending(const RadiationHistoryMng::RecordList& list, std::ostream& out,
                               std::ostream& err) {
    const UploadLog::Outcomes outcomes = UploadLog::read(RadiationHistoryMng::uploadLogPath());
    std::size_t pending = 0;
    std::size_t acknowledged = 0;
    std::size_t simulated = 0;
    // The list is newest first.
    for (std::size_t i = list.size(); i-- > 0;) {
        const std::shared_ptr<const RadiationHistoryRecord> record = list[i];
        if (record->isSimulated()) {
            ++simulated;
            continue;
        }
        if (outcomes.statusOf(*record) == UploadLog::Status::Sent) {
            continue;
        }
        ++pending;
        const UploadLog::Exchange answer = RadiationHistoryMng::postRadiationHistoryRecord(*record);
        const bool ok = UploadLog::acknowledged(answer);
        acknowledged += ok ? 1 : 0;
        out << cformat("%zu  ", i)
            << (record->tag() ? TerminalText::isolated(*record->tag()) : "(no tag)") << "  "
            << (record->startDate() ? record->startDate()->iso8601() : "(no start date)") << "  "
            << (answer ? "HTTP status " + std::to_string(answer->status)
                       : "not delivered: " + TerminalText::printable(answer.error()))
            << (ok ? "" : "  (not acknowledged)") << '\n';
    }
    if (pending == 0) {
        out << (simulated == 0 ? "Nothing to send: the server acknowledged every saved "
                                 "measurement.\n"
                               : "Nothing to send: the server acknowledged every saved "
                                 "measurement but the simulated ones, which are never sent.\n");
        return 0;
    }
    if (acknowledged < pending) {
        err << "kesto upload: " << pending - acknowledged << " of " << pending
            << " measurements not acknowledged\n";
        return 1;
    }
    return 0;
}

}  // namespace kesto
