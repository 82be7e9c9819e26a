#include "history/UploadLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>

#include <nlohmann/json.hpp>

#include "platform/UniqueFd.h"
#include "platform/Utf8Text.h"

namespace kesto {
namespace {

using nlohmann::ordered_json;

std::atomic<std::uint64_t> sentUploads{0};
std::atomic<std::uint64_t> failedUploads{0};

std::mutex& appendMutex() {
    static std::mutex mutex;
    return mutex;
}

ordered_json orNull(const std::optional<std::string>& text) {
    return text ? ordered_json(*text) : ordered_json(nullptr);
}

std::optional<std::string> textOf(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

}  // namespace

std::string UploadLog::line(Date time, const RadiationHistoryRecord& record,
                            const Exchange& exchange) {
    ordered_json entry = {
        {"time", time.iso8601()},
        {"startDate",
         record.startDate() ? ordered_json(record.startDate()->iso8601()) : ordered_json(nullptr)},
        {"udid", orNull(record.udid())},
        {"tag", orNull(record.tag())},
    };
    if (exchange) {
        entry["status"] = exchange->status;
    } else {
        entry["error"] = exchange.error();
    }
    // A tag that is not UTF-8 must not lose the line.
    return entry.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

Result<void> UploadLog::append(const std::filesystem::path& file, Date time,
                               const RadiationHistoryRecord& record, const Exchange& exchange) {
    std::string bytes = line(time, record, exchange) + '\n';
    std::lock_guard lock(appendMutex());
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        return fail("cannot open " + file.string() + ": " + std::strerror(errno));
    }
    // A last line cut short (a full disk, a crash) would swallow this one:
    // it starts on a fresh line.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd.get(), &info) == 0 && info.st_size > 0 &&
        ::pread(fd.get(), &last, 1, info.st_size - 1) == 1 && last != '\n') {
        bytes.insert(bytes.begin(), '\n');
    }
    const ssize_t written = ::write(fd.get(), bytes.data(), bytes.size());
    if (written != static_cast<ssize_t>(bytes.size())) {
        return fail("cannot append to " + file.string() + ": " +
                    (written < 0 ? std::strerror(errno) : std::string("short write")));
    }
    return {};
}

UploadLog::Outcomes::Key UploadLog::Outcomes::keyOf(const std::optional<std::string>& startDate,
                                                    const std::optional<std::string>& udid,
                                                    const std::optional<std::string>& tag) {
    // An absent text and an empty one are told apart.
    const auto part = [](const std::optional<std::string>& text) {
        return text ? "=" + *text : std::string();
    };
    // Start dates compare in whole seconds, as the history file keeps them:
    // "...36.274Z", written while records still held fractions, is "...36Z".
    std::optional<std::string> start = startDate;
    if (start) {
        const auto point = start->find('.');
        const auto zone = start->find('Z', point);
        if (point != std::string::npos && zone != std::string::npos) {
            start->erase(point, zone - point);
        }
    }
    // Texts compare as the history file keeps them.
    const auto kept = [](const std::optional<std::string>& text) {
        return text ? std::optional<std::string>(Utf8Text::xmlSafe(*text)) : std::nullopt;
    };
    return {part(start), part(kept(udid)), part(kept(tag))};
}

UploadLog::Status UploadLog::Outcomes::statusOf(const RadiationHistoryRecord& record) const {
    const std::optional<std::string> start =
        record.startDate() ? std::optional(record.startDate()->iso8601()) : std::nullopt;
    const auto it = statuses_.find(keyOf(start, record.udid(), record.tag()));
    return it == statuses_.end() ? Status::NeverSent : it->second;
}

UploadLog::Outcomes UploadLog::read(const std::filesystem::path& file) {
    Outcomes outcomes;
    std::ifstream in(file, std::ios::binary);
    std::string text;
    while (std::getline(in, text)) {
        const nlohmann::json entry = nlohmann::json::parse(text, nullptr, false);
        if (!entry.is_object()) {
            continue;
        }
        const auto status = entry.find("status");
        const bool sent = status != entry.end() && status->is_number_integer() &&
                          status->get<long>() >= 200 && status->get<long>() <= 299;
        Status& known =
            outcomes.statuses_
                .try_emplace(Outcomes::keyOf(textOf(entry, "startDate"), textOf(entry, "udid"),
                                             textOf(entry, "tag")),
                             Status::Failed)
                .first->second;
        if (sent) {
            known = Status::Sent;
        }
    }
    return outcomes;
}

const char* UploadLog::text(Status status) {
    switch (status) {
        case Status::Sent:
            return "sent";
        case Status::Failed:
            return "failed";
        case Status::NeverSent:
            break;
    }
    return "never sent";
}

std::uint64_t UploadLog::sentCount() {
    return sentUploads.load();
}

std::uint64_t UploadLog::failedCount() {
    return failedUploads.load();
}

void UploadLog::count(const Exchange& exchange) {
    (acknowledged(exchange) ? sentUploads : failedUploads).fetch_add(1);
}

}  // namespace kesto
