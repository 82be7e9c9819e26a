#pragma once

#include <cstddef>
#include <iosfwd>
#include <vector>

#include "history/export/ExportRow.h"

namespace kesto {

// Saved measurements as a GeoJSON FeatureCollection (RFC 7946): one Point
// feature per measurement with a known position, coordinates in longitude,
// latitude order, the figures as properties.
//
// Threads: pure; any thread.
class GeoJsonExport {
  public:
    // The number of measurements left out for want of a position.
    static std::size_t write(const std::vector<ExportRow>& rows, bool simulated, std::ostream& out);
};

}  // namespace kesto
