#include "history/RadiationHistoryMng.h"

#include <atomic>
#include <ctime>
#include <mutex>
#include <system_error>

#include "history/AtomicFile.h"
#include "history/DataDirectory.h"
#include "history/HttpClient.h"
#include "history/UploadForm.h"
#include "history/UploadLog.h"
#include "history/WriterLock.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Format.h"
#include "platform/NoDestructor.h"
#include "platform/Utf8Text.h"

namespace kesto {
namespace {

struct Store {
    // Main thread only.
    std::optional<RadiationHistoryMng::RecordList> list;
    RadiationHistoryMng::LoadState loadState = RadiationHistoryMng::LoadState::NotLoaded;
    bool lastSaveSucceeded = true;
    std::optional<WriterLock> writer;
    // Read by upload threads too.
    std::atomic<bool> simulated{false};
    std::mutex serverMutex;  // guards the two below
    std::optional<std::string> server;
    std::optional<std::filesystem::path> directory;
};

Store& store() {
    static NoDestructor<Store> instance;
    return instance.get();
}

std::optional<std::filesystem::path> directoryOption() {
    Store& s = store();
    std::lock_guard lock(s.serverMutex);
    return s.directory;
}

// "radiationHistory.txt.unreadable-20261206T201500Z", with "-2", "-3"... when
// that name is taken.
std::filesystem::path asideName(const std::filesystem::path& path) {
    const auto seconds = static_cast<std::time_t>(Clock::now().unixSeconds());
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = path.string() + ".unreadable-" + stamp;
    std::filesystem::path candidate = base;
    std::error_code ec;
    for (int n = 2; std::filesystem::symlink_status(candidate, ec).type() !=
                    std::filesystem::file_type::not_found;
         ++n) {
        candidate = base + "-" + std::to_string(n);
    }
    return candidate;
}

// Before a save replaces a file this process has not read, makes sure that
// file is not a history we failed to read. Returns false when it must not be
// replaced.
bool moveAsideIfUnreadable(const std::filesystem::path& path) {
    const HistoryFile::ReadResult existing = HistoryFile::read(path);
    if (existing.status != HistoryFile::Status::Unreadable) {
        return true;
    }
    const std::filesystem::path aside = asideName(path);
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    if (ec) {
        Console::logf("Unreadable history file %s kept: cannot move it aside (%s)", path.c_str(),
                      ec.message().c_str());
        return false;
    }
    Console::logf("Unreadable history file moved aside to %s", aside.c_str());
    return true;
}

std::optional<std::string> uploadURL(std::string& problem) {
    const std::optional<std::string> base = RadiationHistoryMng::serverURL();
    if (!base) {
        problem = "No collection server set (--server or KESTO_SERVER): measurement not sent";
        return std::nullopt;
    }
    return UploadForm::endpoint(*base, problem);
}

// A log that cannot be written costs one console line, never the upload.
void logUpload(const RadiationHistoryRecord& record, const HttpClient::Result& result) {
    UploadLog::count(result);
    const std::filesystem::path file = RadiationHistoryMng::uploadLogPath();
    std::string error;
    if (file.empty() || !UploadLog::append(file, Clock::now(), record, result, error)) {
        Console::logf("Upload log: %s", file.empty() ? "no data directory" : error.c_str());
    }
}

}  // namespace

void RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal() {
    Store& s = store();
    if (auto problem = dataDirectoryProblem()) {
        s.loadState = LoadState::Unreadable;
        Console::logf("History file: %s", problem->c_str());
        Console::log("Fail to load radiation history");
        return;
    }
    HistoryFile::ReadResult result = HistoryFile::read(historyFilePath());
    if (result.status != HistoryFile::Status::Loaded) {
        s.loadState = result.status == HistoryFile::Status::Missing ? LoadState::Missing
                                                                    : LoadState::Unreadable;
        if (!result.problem.empty()) {
            Console::logf("History file %s: %s", historyFilePath().c_str(), result.problem.c_str());
        }
        Console::log("Fail to load radiation history");
        return;
    }
    if (result.skipped > 0) {
        Console::logf("History file: %zu entries that are not records were skipped",
                      result.skipped);
    }
    if (isSimulated()) {
        // Records from before records said it are told by their folder.
        for (auto& record : result.records) {
            if (!record->simulated()) {
                auto marked = std::make_shared<RadiationHistoryRecord>(*record);
                marked->setSimulated(true);
                record = std::move(marked);
            }
        }
    }
    s.list = std::move(result.records);
    s.loadState = LoadState::Loaded;
}

void RadiationHistoryMng::registerRadiationHistoryRecord(
    std::shared_ptr<const RadiationHistoryRecord> record) {
    if (!record) {
        Console::log("No record to register");
        return;
    }
    Store& s = store();
    if (!s.list) {
        s.list.emplace();
    }
    s.list->insert(s.list->begin(), std::move(record));
    saveRadiationHistoryRecordListToLocal();
}

void RadiationHistoryMng::saveRadiationHistoryRecordListToLocal() {
    Store& s = store();
    const std::filesystem::path path = historyFilePath();
    std::string error;
    const std::optional<std::string> bytes =
        HistoryFile::serialize(s.list ? *s.list : RecordList{}, &error);
    const std::optional<std::string> noDirectory = dataDirectoryProblem();
    if (noDirectory) {
        error = *noDirectory;
    }
    bool saved = bytes && !noDirectory && claimWriter(error);
    if (saved && s.loadState != LoadState::Loaded) {
        saved = moveAsideIfUnreadable(path);
    }
    if (saved) {
        saved = AtomicFile::replace(path, *bytes, error);
    }
    s.lastSaveSucceeded = saved;
    if (!saved) {
        if (!error.empty()) {
            Console::logf("History file: %s", error.c_str());
        }
        Console::log("Save history fails");
        return;
    }
    // The file now holds exactly this list: later saves may replace it.
    s.loadState = LoadState::Loaded;
    Console::log("Save history done");
}

bool RadiationHistoryMng::lastSaveSucceeded() {
    return store().lastSaveSucceeded;
}

const RadiationHistoryMng::RecordList* RadiationHistoryMng::getRadiationHistoryRecordList() {
    Store& s = store();
    return s.list ? &*s.list : nullptr;
}

std::filesystem::path RadiationHistoryMng::dataFilePath() {
    std::string problem;
    return DataDirectory::resolve(directoryOption(), problem).value_or(std::filesystem::path());
}

std::filesystem::path RadiationHistoryMng::uploadLogPath() {
    const std::filesystem::path directory = dataFilePath();
    return directory.empty() ? directory : directory / UploadLog::kFileName;
}

std::filesystem::path RadiationHistoryMng::historyDirectoryPath() {
    const std::filesystem::path directory = dataFilePath();
    return directory.empty() || !isSimulated() ? directory : directory / kSimulatedDirectoryName;
}

std::filesystem::path RadiationHistoryMng::historyFilePath() {
    const std::filesystem::path directory = historyDirectoryPath();
    return directory.empty() ? directory : directory / kHistoryFileName;
}

std::optional<std::string> RadiationHistoryMng::dataDirectoryProblem() {
    std::string problem;
    if (DataDirectory::resolve(directoryOption(), problem)) {
        return std::nullopt;
    }
    return problem;
}

void RadiationHistoryMng::setDataDirectory(std::optional<std::filesystem::path> directory) {
    Store& s = store();
    {
        std::lock_guard lock(s.serverMutex);
        s.directory = std::move(directory);
    }
    s.list.reset();
    s.loadState = LoadState::NotLoaded;
    s.writer.reset();
}

void RadiationHistoryMng::setSimulated(bool simulated) {
    Store& s = store();
    if (s.simulated.exchange(simulated) != simulated) {
        s.list.reset();
        s.loadState = LoadState::NotLoaded;
        s.writer.reset();
    }
}

bool RadiationHistoryMng::isSimulated() {
    return store().simulated.load();
}

bool RadiationHistoryMng::claimWriter(std::string& problem) {
    Store& s = store();
    if (auto noDirectory = dataDirectoryProblem()) {
        problem = *noDirectory;
        return false;
    }
    const std::filesystem::path directory = historyDirectoryPath();
    // The data directory may also come from the environment, which can change.
    if (s.writer && s.writer->directory() == directory) {
        return true;
    }
    s.writer.reset();
    s.writer = WriterLock::acquire(directory, problem);
    return s.writer.has_value();
}

RadiationHistoryMng::LoadState RadiationHistoryMng::lastLoadState() {
    return store().loadState;
}

double RadiationHistoryMng::timeTotal() {
    float sum = 0.0f;
    if (const RecordList* list = getRadiationHistoryRecordList()) {
        for (const auto& record : *list) {
            sum = static_cast<float>(static_cast<double>(sum) + record->duration());
        }
    }
    return static_cast<double>(sum);
}

double RadiationHistoryMng::vdTotal() {
    float sum = 0.0f;
    if (const RecordList* list = getRadiationHistoryRecordList()) {
        for (const auto& record : *list) {
            sum = static_cast<float>(static_cast<double>(sum) + record->vd());
        }
    }
    return static_cast<double>(sum);
}

double RadiationHistoryMng::expostionMoyenne() {
    const double hours = timeTotal() / 3600.0;
    if (hours == 0.0) {
        return 0.0;
    }
    return vdTotal() / hours;
}

void RadiationHistoryMng::logHistoryToConsole() {
    if (const RecordList* list = getRadiationHistoryRecordList()) {
        for (const auto& record : *list) {
            record->logToConsole();
        }
    }
}

void RadiationHistoryMng::setServerURL(std::optional<std::string> url) {
    Store& s = store();
    std::lock_guard lock(s.serverMutex);
    s.server = std::move(url);
}

std::optional<std::string> RadiationHistoryMng::serverURL() {
    Store& s = store();
    {
        std::lock_guard lock(s.serverMutex);
        if (s.server) {
            return s.server;
        }
    }
    const char* value = std::getenv("KESTO_SERVER");
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

bool RadiationHistoryMng::sendRadiationHistoryRecordToServer(const RadiationHistoryRecord& record,
                                                             std::chrono::milliseconds timeout) {
    return postRadiationHistoryRecord(record, timeout).responded;
}

HttpClient::Result RadiationHistoryMng::postRadiationHistoryRecord(
    const RadiationHistoryRecord& record, std::chrono::milliseconds timeout) {
    std::string problem;
    if (isSimulated() || record.isSimulated()) {
        problem = "Simulated measurement: not sent to the collection server";
    }
    const std::optional<std::string> url = problem.empty() ? uploadURL(problem) : std::nullopt;
    if (!url) {
        Console::log(problem);
        HttpClient::Result refused;
        refused.error = problem;
        return refused;
    }
    const UploadForm::Body body = UploadForm::build(record);
    const std::vector<std::string> headers{
        cformat("Content-Length: %d", static_cast<int>(body.bytes.size())),
        "Content-Type: " + body.contentType(),
    };
    const HttpClient::Result result = HttpClient::post(*url, headers, body.bytes, timeout);
    logUpload(record, result);
    if (!result.responded) {
        Console::log("Response : " + result.error);
        return result;
    }
    // A body that is not UTF-8 text is not shown.
    Console::log("Response:" +
                 (Utf8Text::isValid(result.body) ? result.body : std::string("(null)")));
    return result;
}

void RadiationHistoryMng::resetForTesting(const std::filesystem::path& directory) {
    Store& s = store();
    s.list.reset();
    {
        std::lock_guard lock(s.serverMutex);
        s.directory = directory;
    }
    s.loadState = LoadState::NotLoaded;
    s.lastSaveSucceeded = true;
    s.writer.reset();
    s.simulated.store(false);
    setServerURL(std::nullopt);
}

}  // namespace kesto
