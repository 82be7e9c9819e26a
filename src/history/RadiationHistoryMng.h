#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/HttpClient.h"
#include "history/RadiationHistoryRecord.h"
#include "history/file/HistoryFile.h"
#include "platform/Result.h"

namespace kesto {

// The saved measurements of this device: one process-wide list, newest
// first, mirrored in "radiationHistory.txt" in the data directory; the totals
// the history screen shows; and the upload of one record to the collection
// server. Class-level operations only. Failures are console lines, never
// errors to the caller.
//
// Measurements of the simulated sensor are kept apart, in
// "simulated/radiationHistory.txt" (same format), and never uploaded: a
// process serves one of the two histories, chosen once at start-up. Each
// record also says itself whether it is simulated; records saved before they
// said it are taken as simulated in the simulated history only.
//
// One process at a time saves into a history (see claimWriter); any number
// may read it.
//
// Threads: everything but the upload runs on the main thread (the list is
// not locked). sendRadiationHistoryRecordToServer blocks and runs on a thread
// of its own; it reads only the record it is given, which nothing changes
// once registered.
class RadiationHistoryMng {
  public:
    using RecordList = HistoryFile::RecordList;
    static constexpr const char* kHistoryFileName = "radiationHistory.txt";
    static constexpr const char* kSimulatedDirectoryName = "simulated";
    static constexpr std::chrono::milliseconds kUploadTimeout{30000};

    enum class LoadState { NotLoaded, Loaded, Missing, Unreadable };

    // Reads the history file into the list (replacing what it held). A
    // missing or unreadable file leaves the list as it was.
    static void loadRadiationHistoryRecordListFromLocal();
    // Puts `record` first and saves the whole list (claiming the writer's
    // lock first when this process has not: see claimWriter).
    static void registerRadiationHistoryRecord(
        std::shared_ptr<const RadiationHistoryRecord> record);
    // Replaces the history file atomically. A file that could not be read as
    // a history is first moved aside to "radiationHistory.txt.unreadable-<UTC
    // time>", so no saved measurement is ever lost.
    static void saveRadiationHistoryRecordListToLocal();
    // Whether the last save (or registration) reached the disk, and why not.
    // The store's operations only log; a command that saves asks here so it
    // can say so.
    static const Result<void>& lastSave();
    // The list itself; nullptr before the first load or registration.
    static const RecordList* getRadiationHistoryRecordList();

    // The data directory (without the file name), the directory of the
    // history served (the data directory, or its "simulated" folder) and the
    // file's full path; all empty when there is none (see
    // resolveDataDirectory).
    static std::filesystem::path dataFilePath();
    static std::filesystem::path historyDirectoryPath();
    static std::filesystem::path historyFilePath();
    // "uploads.jsonl" in the data directory (see UploadLog); any thread.
    static std::filesystem::path uploadLogPath();
    // The data directory, or why there is none (no option nor
    // $KESTO_DATA_DIR, no absolute $XDG_DATA_HOME or home). Without one,
    // loads find the history Unreadable and saves fail, each logging why.
    static Result<std::filesystem::path> resolveDataDirectory();
    // Overrides the data directory (the --data-dir option); nullopt restores
    // the usual one. The list no longer mirrors a file: it is forgotten until
    // the next load or registration.
    static void setDataDirectory(std::optional<std::filesystem::path> directory);
    // What the last load of the current file found.
    static LoadState lastLoadState();

    // Which history this process serves: false (the default) for the real
    // one, true for the simulated sensor's. The front end sets it once at
    // start-up from the sensor (CaptureBackend::isSimulated), before loading.
    // A change forgets the list and the writer's lock, as setDataDirectory
    // does. While true, uploads are refused.
    static void setSimulated(bool simulated);
    static bool isSimulated();

    // Makes this process the only writer of the history it serves, for as
    // long as it runs or until the history changes: the lock of
    // "<history directory>/.lock" (see WriterLock). Fails (naming the
    // holder's process id) when another process holds it. Idempotent. A
    // front end that will save calls it at start-up, before its first load
    // (a list loaded earlier may lack what the previous writer saved), and
    // stops with the reason when refused. Saves claim it themselves when
    // nobody has, so none can forget; they fail, logging why, while another
    // process holds it. Reading never claims it.
    static Result<void> claimWriter();

    // Sums over the list in single precision, as the history always has.
    static double timeTotal();
    static double vdTotal();
    static double expostionMoyenne();
    static double expositionLimite() { return 0.114; }

    static void logHistoryToConsole();

    // The collection server's base URL, "http://host[:port]": set by the
    // --server option, else $KESTO_SERVER, else none.
    static void setServerURL(std::optional<std::string> url);
    static std::optional<std::string> serverURL();

    // Sends `record` to the collection server and logs the answer. With no
    // server configured, for a simulated record, or while serving the
    // simulated history, nothing is sent (one console line says why). Returns whether an answer
    // arrived (callers may ignore it: the record stays in the history either way).
    static bool sendRadiationHistoryRecordToServer(
        const RadiationHistoryRecord& record, std::chrono::milliseconds timeout = kUploadTimeout);
    // Every exchange that was attempted (a server set, the real history) is
    // appended to the upload log, whatever its outcome.
    // The same exchange, logged the same way, with the answer (status, body)
    // or the reason nothing was sent, for callers that report it.
    static Result<HttpClient::Response> postRadiationHistoryRecord(
        const RadiationHistoryRecord& record, std::chrono::milliseconds timeout = kUploadTimeout);

    // Tests only: forgets the list, the last load, the server and the
    // writer's lock, serves the real history and points the store at
    // `directory`.
    static void resetForTesting(const std::filesystem::path& directory);

  private:
    // Writes `list` as the history file. `fileLoaded`: the file holds what
    // this process last read or wrote, so it may be replaced without a look.
    static Result<void> save(const RecordList& list, bool fileLoaded);
};

}  // namespace kesto
