#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
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
    static std::size_t write(const std::vector<ExportRow>& rows, std::ostream& out);

    // The same a feature at a time, for a long export: kOpening, the
    // features, kClosing. `device` adds a last property "device".
    static constexpr const char* kOpening = "{\"type\": \"FeatureCollection\", \"features\": [";
    static constexpr const char* kClosing = "\n]}\n";
    // False, writing nothing, for a row without a position.
    static bool writeFeature(const ExportRow& row, bool first, std::ostream& out,
                             const std::string* device = nullptr);
};

}  // namespace kesto
