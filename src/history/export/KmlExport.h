#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "history/export/ExportRow.h"

namespace kesto {

// Saved measurements as KML 2.2: one placemark per measurement with a known
// position (coordinates "longitude,latitude"), its time span, its figures
// in the description and as extended data.
//
// Threads: pure; any thread.
class KmlExport {
  public:
    static constexpr const char* kNamespace = "http://www.opengis.net/kml/2.2";

    // The number of measurements left out for want of a position. The
    // document is named after the simulated history when `simulated`; each
    // placemark says whether it is simulated by its own record.
    static std::size_t write(const std::vector<ExportRow>& rows, bool simulated, std::ostream& out);
    // `text` as XML character data or attribute value.
    static std::string escaped(std::string_view text);
};

}  // namespace kesto
