#include "history/RadiationHistoryMng.h"

#include <atomic>
#include <ctime>
#include <mutex>
#include <system_error>

#include "history/AtomicFile.h"
#include "history/HttpClient.h"
#include "history/UploadForm.h"
#include "history/UploadLog.h"
#include "history/file/DataDirectory.h"
#include "history/file/WriterLock.h"
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
    Result<void> lastSave;
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
Result<void> moveAsideIfUnreadable(const std::filesystem::path& path) {
    if (HistoryFile::read(path)) {
        return {};
    }
    const std::filesystem::path aside = asideName(path);
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    if (ec) {
        return fail("unreadable history file " + path.string() + " kept: cannot move it aside (" +
                    ec.message() + ")");
    }
    Console::logf("Unreadable history file moved aside to %s", aside.c_str());
    return {};
}

Result<std::string> uploadURL() {
    if (RadiationHistoryMng::isSimulated()) {
        return fail("Simulated measurement: not sent to the collection server");
    }
    const std::optional<std::string> base = RadiationHistoryMng::serverURL();
    if (!base) {
        return fail("No collection server set (--server or KESTO_SERVER): measurement not sent");
    }
    return UploadForm::endpoint(*base);
}

// A log that cannot be written costs one console line, never the upload.
void logUpload(const RadiationHistoryRecord& record, const UploadLog::Exchange& exchange) {
    UploadLog::count(exchange);
    const std::filesystem::path file = RadiationHistoryMng::uploadLogPath();
    if (file.empty()) {
        Console::log("Upload log: no data directory");
    } else if (auto logged = UploadLog::append(file, Clock::now(), record, exchange); !logged) {
        Console::log("Upload log: " + logged.error());
    }
}

// A figure summed over the list in single precision, as the history always has.
double sumOverList(double (RadiationHistoryRecord::*figure)() const) {
    float sum = 0.0f;
    if (const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList()) {
        for (const auto& record : *list) {
            sum = static_cast<float>(static_cast<double>(sum) + ((*record).*figure)());
        }
    }
    return static_cast<double>(sum);
}

}  // namespace

void RadiationHistoryMng::loadRadiationHistoryRecordListFromLocal() {
    Store& s = store();
    if (auto directory = resolveDataDirectory(); !directory) {
        s.loadState = LoadState::Unreadable;
        Console::log("History file: " + directory.error());
        Console::log("Fail to load radiation history");
        return;
    }
    Result<HistoryFile::Contents> read = HistoryFile::read(historyFilePath());
    if (!read || !read->exists) {
        s.loadState = read ? LoadState::Missing : LoadState::Unreadable;
        if (!read) {
            Console::logf("History file %s: %s", historyFilePath().c_str(), read.error().c_str());
        }
        Console::log("Fail to load radiation history");
        return;
    }
    if (read->skipped > 0) {
        Console::logf("History file: %zu entries that are not records were skipped", read->skipped);
    }
    if (isSimulated()) {
        // Records from before records said it are told by their folder.
        for (auto& record : read->records) {
            if (!record->simulated()) {
                auto marked = std::make_shared<RadiationHistoryRecord>(*record);
                marked->setSimulated(true);
                record = std::move(marked);
            }
        }
    }
    s.list = std::move(read->records);
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
    s.lastSave = save(s.list ? *s.list : RecordList{}, s.loadState == LoadState::Loaded);
    if (!s.lastSave) {
        Console::log("History file: " + s.lastSave.error());
        Console::log("Save history fails");
        return;
    }
    // The file now holds exactly this list: later saves may replace it.
    s.loadState = LoadState::Loaded;
    Console::log("Save history done");
}

Result<void> RadiationHistoryMng::save(const RecordList& list, bool fileLoaded) {
    const Result<std::string> bytes = HistoryFile::serialize(list);
    if (!bytes) {
        return bytes.failure();
    }
    if (auto directory = resolveDataDirectory(); !directory) {
        return directory.failure();
    }
    if (auto writer = claimWriter(); !writer) {
        return writer;
    }
    const std::filesystem::path path = historyFilePath();
    if (!fileLoaded) {
        if (auto aside = moveAsideIfUnreadable(path); !aside) {
            return aside;
        }
    }
    return AtomicFile::replace(path, *bytes);
}

const Result<void>& RadiationHistoryMng::lastSave() {
    return store().lastSave;
}

const RadiationHistoryMng::RecordList* RadiationHistoryMng::getRadiationHistoryRecordList() {
    Store& s = store();
    return s.list ? &*s.list : nullptr;
}

std::filesystem::path RadiationHistoryMng::dataFilePath() {
    return resolveDataDirectory().value_or(std::filesystem::path());
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

Result<std::filesystem::path> RadiationHistoryMng::resolveDataDirectory() {
    return DataDirectory::resolve(directoryOption());
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

Result<void> RadiationHistoryMng::claimWriter() {
    Store& s = store();
    if (auto directory = resolveDataDirectory(); !directory) {
        return directory.failure();
    }
    const std::filesystem::path directory = historyDirectoryPath();
    // The data directory may also come from the environment, which can change.
    if (s.writer && s.writer->directory() == directory) {
        return {};
    }
    s.writer.reset();
    Result<WriterLock> lock = WriterLock::acquire(directory);
    if (!lock) {
        return lock.failure();
    }
    s.writer.emplace(std::move(*lock));
    return {};
}

RadiationHistoryMng::LoadState RadiationHistoryMng::lastLoadState() {
    return store().loadState;
}

double RadiationHistoryMng::timeTotal() {
    return sumOverList(&RadiationHistoryRecord::duration);
}

double RadiationHistoryMng::vdTotal() {
    return sumOverList(&RadiationHistoryRecord::vd);
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
    return postRadiationHistoryRecord(record, timeout).ok();
}

Result<HttpClient::Response> RadiationHistoryMng::postRadiationHistoryRecord(
    const RadiationHistoryRecord& record, std::chrono::milliseconds timeout) {
    const Result<std::string> url =
        isSimulated() || record.isSimulated()
            ? Result<std::string>(fail("Simulated measurement: not sent to the collection server"))
            : uploadURL();
    if (!url) {
        Console::log(url.error());
        return url.failure();
    }
    const UploadForm::Body body = UploadForm::build(record);
    const std::vector<std::string> headers{
        cformat("Content-Length: %d", static_cast<int>(body.bytes.size())),
        "Content-Type: " + body.contentType(),
    };
    Result<HttpClient::Response> answer = HttpClient::post(*url, headers, body.bytes, timeout);
    logUpload(record, answer);
    if (!answer) {
        Console::log("Response : " + answer.error());
        return answer;
    }
    // A body that is not UTF-8 text is not shown.
    Console::log("Response:" +
                 (Utf8Text::isValid(answer->body) ? answer->body : std::string("(null)")));
    return answer;
}

void RadiationHistoryMng::resetForTesting(const std::filesystem::path& directory) {
    Store& s = store();
    s.list.reset();
    {
        std::lock_guard lock(s.serverMutex);
        s.directory = directory;
    }
    s.loadState = LoadState::NotLoaded;
    s.lastSave = {};
    s.writer.reset();
    s.simulated.store(false);
    setServerURL(std::nullopt);
}

}  // namespace kesto
