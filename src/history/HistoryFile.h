#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "history/RadiationHistoryRecord.h"

namespace kesto {

// The history file's bytes: an XML property list (version 1.0) whose root
// array holds one record dictionary per saved measurement, newest first.
// Reading and writing go through libplist, so any property-list tool reads
// what we write and we read what such a tool writes (XML or binary).
//
// Threads: any thread; no shared state. libplist parses numbers with the
// C library, so both directions run in the C locale on the calling thread.
class HistoryFile {
  public:
    using RecordList = std::vector<std::shared_ptr<const RadiationHistoryRecord>>;

    enum class Status {
        Loaded,      // a property-list array; `records` holds its records
        Missing,     // no file at that path
        Unreadable,  // there is a file, but not a property-list array
    };

    struct ReadResult {
        Status status = Status::Missing;
        RecordList records;
        // Elements of the array that are not dictionaries, left out.
        std::size_t skipped = 0;
        // Why the file could not be read, for the console.
        std::string problem;
    };

    // How the XML form is handed to libplist: one record dictionary at a
    // time (the plain shape writers produce; anything else falls back), or
    // the whole document at once. Both give the same result; the second is
    // kept to check the first.
    enum class Reader { ByRecord, WholeDocument };

    static ReadResult read(const std::filesystem::path& path);
    static ReadResult parse(std::string_view bytes, Reader reader = Reader::ByRecord);

    // The whole file for `records`, in list order. Texts that XML cannot
    // carry have those characters replaced by U+FFFD; dates hold whole
    // seconds. Records without a text or date get no key for it.
    static std::string serialize(const RecordList& records);
};

}  // namespace kesto
