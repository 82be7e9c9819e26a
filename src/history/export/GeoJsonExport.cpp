#include "history/export/GeoJsonExport.h"

#include <ostream>

#include <nlohmann/json.hpp>

namespace kesto {
namespace {

using Json = nlohmann::ordered_json;

Json orNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

}  // namespace

bool GeoJsonExport::writeFeature(const ExportRow& row, bool first, std::ostream& out,
                                 const std::string* device) {
    if (!row.hasPosition()) {
        return false;
    }
    const bool known = row.interval.known();
    Json feature = {
        {"type", "Feature"},
        {"geometry", {{"type", "Point"}, {"coordinates", {row.longitude, row.latitude}}}},
        {"properties",
         {{"tag", row.tag},
          {"start", orNull(row.start)},
          {"stop", orNull(row.stop)},
          {"durationSeconds", row.duration},
          {"doseMicroSievert", row.dose},
          {"meanDoseRate", row.meanRate},
          {"doseRateLower95", known ? Json(row.interval.lower()) : Json(nullptr)},
          {"doseRateUpper95", known ? Json(row.interval.upper()) : Json(nullptr)},
          {"doseRateUnit", "\u03bcSv/h"},
          {"events", row.events},
          {"simulated", row.simulated}}},
    };
    if (device) {
        feature["properties"]["device"] = *device;
    }
    out << (first ? "\n" : ",\n") << feature.dump(-1, ' ', false, Json::error_handler_t::replace);
    return true;
}

std::size_t GeoJsonExport::write(const std::vector<ExportRow>& rows, std::ostream& out) {
    // One feature at a time, so a long history never sits in memory twice.
    out << kOpening;
    std::size_t leftOut = 0;
    bool first = true;
    for (const ExportRow& row : rows) {
        if (writeFeature(row, first, out)) {
            first = false;
        } else {
            ++leftOut;
        }
    }
    out << kClosing;
    return leftOut;
}

}  // namespace kesto
