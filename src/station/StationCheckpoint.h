#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"
#include "station/StationInterval.h"

namespace kesto {

// The interval in progress of a station, kept on disk so that a kill or a
// power cut loses only the time since it was last written: the next start
// resumes the interval when it is still open, or saves it when it is over.
// A JSON file beside the history, replaced whole (AtomicFile), never half
// written:
//
//   {"version": 1, "tag": "Station", "start": 1700000400, "end": 1700001000,
//    "darkSeconds": 123.4, "litSeconds": 0, "frames": 1234,
//    "events": [[12.5, 3], ...]}     // dates in Unix seconds; events: time, hits
//
// Threads: any thread (the station writes it on the main thread).
class StationCheckpoint {
  public:
    static constexpr const char* kFileName = "station-checkpoint.json";
    // Longer than any interval's checkpoint (an hour of ten events a second).
    static constexpr std::uintmax_t kMaxBytes = 16u << 20;

    std::string tag;
    StationInterval interval;

    static std::filesystem::path path(const std::filesystem::path& historyDirectory);
    // The file's text, and back: a failure, with why, for anything else.
    std::string text() const;
    static Result<StationCheckpoint> parse(std::string_view text);
    Result<void> write(const std::filesystem::path& file) const;
    // Nothing when there is no file; a failure, with why, when there is one
    // that is not a checkpoint.
    static Result<std::optional<StationCheckpoint>> read(const std::filesystem::path& file);
    // Removes the file (nothing to do when there is none).
    static Result<void> remove(const std::filesystem::path& file);
    // Renames an unreadable checkpoint to "<file>.unreadable", so that it is
    // neither read again nor lost.
    static Result<void> moveAside(const std::filesystem::path& file);
};

}  // namespace kesto
