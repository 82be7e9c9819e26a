#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "history/HttpClient.h"
#include "history/RadiationHistoryRecord.h"
#include "platform/Date.h"
#include "platform/Result.h"

namespace kesto {

// The outcome of every upload, one JSON object a line in "uploads.jsonl" in
// the data directory, beside (never inside) the history file:
//
//   {"time": "2026-12-07T22:00:00Z", "startDate": "...", "udid": "...",
//    "tag": "...", "status": 200}          an answer, whatever its status
//   {..., "error": "Timeout was reached"}  no answer
//
// A measurement is matched to its lines by start date, device identifier and
// tag together (the history has no other identity), as the history file
// keeps them: whole seconds, texts without the characters XML cannot carry.
// It was "sent" when one of its lines has a 2xx status, "failed" when it has
// lines but none of those, "never sent" when it has none. Lines that do not
// parse are skipped, and an append after a line cut short (a crash, a full
// disk) starts on a fresh line, so such a line costs only itself.
//
// Threads: any thread. Each line goes out in one write() on a descriptor
// opened with O_APPEND, under a process-wide mutex, so lines from upload
// threads running at once never interleave.
class UploadLog {
  public:
    static constexpr const char* kFileName = "uploads.jsonl";

    enum class Status { NeverSent, Failed, Sent };

    // What sending a record came to: the server's answer, or why none came.
    using Exchange = Result<HttpClient::Response>;

    // Appends the outcome of sending `record`. Fails when the line could not
    // be written; the upload itself is unaffected.
    static Result<void> append(const std::filesystem::path& file, Date time,
                               const RadiationHistoryRecord& record, const Exchange& exchange);
    // One line's text (without its newline).
    static std::string line(Date time, const RadiationHistoryRecord& record,
                            const Exchange& exchange);

    // What the log says of each measurement.
    class Outcomes {
      public:
        Status statusOf(const RadiationHistoryRecord& record) const;

      private:
        friend class UploadLog;
        using Key = std::tuple<std::string, std::string, std::string>;
        static Key keyOf(const std::optional<std::string>& startDate,
                         const std::optional<std::string>& udid,
                         const std::optional<std::string>& tag);
        std::map<Key, Status> statuses_;
    };
    // A missing or unreadable log says every measurement was never sent.
    static Outcomes read(const std::filesystem::path& file);

    // "sent", "failed", "never sent".
    static const char* text(Status status);
    static bool acknowledged(const Exchange& exchange) {
        return exchange && exchange->status >= 200 && exchange->status <= 299;
    }

    // Uploads this process made, by outcome (for monitoring).
    static std::uint64_t sentCount();
    static std::uint64_t failedCount();
    static void count(const Exchange& exchange);
};

}  // namespace kesto
