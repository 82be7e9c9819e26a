#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "history/export/ExportRow.h"

namespace kesto {

// Saved measurements as CSV (RFC 4180: a header line, CRLF line ends, UTF-8,
// fields with commas, quotes or line breaks quoted, quotes doubled). A
// measurement with no known position has empty coordinates, never 0, 0.
//
// Threads: pure; any thread.
class CsvExport {
  public:
    static void write(const std::vector<ExportRow>& rows, std::ostream& out);
    // The same a row at a time, for a long export. `device` adds a last
    // column "device" (a collection server's rows come from many devices).
    static void writeHeader(std::ostream& out, bool withDevice = false);
    static void writeRow(const ExportRow& row, std::ostream& out,
                         const std::string* device = nullptr);
    // One field as written: quoted when it must be.
    static std::string field(std::string_view text);
    // A tag as written: one that a spreadsheet would take for a formula
    // (=, +, -, @ first) is opened with an apostrophe, so it shows as text.
    static std::string text(std::string_view text);
};

}  // namespace kesto
