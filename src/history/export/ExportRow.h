#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/DoseRateInterval.h"

namespace kesto {

class RadiationHistoryRecord;

// One saved measurement as the exports show it: texts made safe to leave the
// process (valid UTF-8, no control character XML cannot carry), dates in
// ISO 8601 UTC, figures with the mean dose rate's 95% interval.
//
// Threads: a plain value; any thread.
struct ExportRow {
    std::string tag;                   // "" when the record has none
    std::optional<std::string> start;  // ISO 8601 UTC
    std::optional<std::string> stop;
    double duration = 0.0;  // s
    double dose = 0.0;      // μSv
    double meanRate = 0.0;  // μSv/h
    DoseRateInterval interval;
    std::int64_t events = 0;
    double latitude = 0.0;
    double longitude = 0.0;
    bool simulated = false;  // made up by the simulated sensor

    static ExportRow of(const RadiationHistoryRecord& record);

    // False for 0.0, 0.0 (the store's "no position"), and for coordinates
    // no map could place (not finite, beyond ±90° or ±180°).
    bool hasPosition() const;
};

}  // namespace kesto
