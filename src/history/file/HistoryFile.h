#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/RadiationHistoryRecord.h"
#include "platform/Result.h"

namespace kesto {

// The history file's bytes: an XML property list (version 1.0) whose root
// array holds one record dictionary per saved measurement, newest first.
// Reading and writing go through libplist, so any property-list tool reads
// what we write and we read what such a tool writes (XML or binary).
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/...">
//   <plist version="1.0">
//   <array>                                    newest record first
//     <dict>
//       <key>udid</key> <string>…</string>     absent key: no identifier
//       <key>tag</key> <string>…</string>      absent key: no tag
//       <key>startDate</key> <date>2011-03-13T07:06:40Z</date>   whole seconds, UTC
//       <key>stopDate</key> <date>…</date>
//       <key>latitude</key> <real>48.8566</real>       degrees, 0.0 when unknown
//       <key>longitude</key> <real>-0.1275</real>
//       <key>radionEvents</key>
//       <array>                                oldest event first
//         <dict>
//           <key>timeInterval</key> <real>0.5</real>        seconds from the start
//           <key>numberOfParticules</key> <integer>3</integer>
//         </dict> …
//       </array>
//       <key>simulated</key> <false/>          Kesto's own; absent in older files
//     </dict> …
//   </array>
//   </plist>
//
// Every value is read exactly or the file is refused: a date outside years
// 1000…9999, a count beyond 32 bits, "4,8" as a real or "yesterday" as a date
// make the file unreadable, the reason saying where the value sits (line for
// XML, record and key).
//
// Threads: any thread; no shared state. libplist parses numbers with the
// C library, so both directions run in the C locale on the calling thread.
class HistoryFile {
  public:
    using RecordList = std::vector<std::shared_ptr<const RadiationHistoryRecord>>;

    // What a readable file holds. A read fails when there is a file but not
    // a property-list array of records, saying why (for the console).
    struct Contents {
        // False when there is no file at that path (and so no record).
        bool exists = true;
        RecordList records;
        // Elements of the array that are not dictionaries, left out.
        std::size_t skipped = 0;
    };

    static Result<Contents> read(const std::filesystem::path& path);
    static Result<Contents> parse(std::string_view bytes);

    // The whole file for `records`, in list order. Texts that XML cannot
    // carry have those characters replaced by U+FFFD; dates hold whole
    // seconds. Records without a text or date get no key for it. Fails when
    // a date lies outside years 1000…9999: it would be written in a form no
    // reader reads back.
    static Result<std::string> serialize(const RecordList& records);
};

}  // namespace kesto
