#pragma once

#include <cstdint>
#include <vector>

#include "engine/RadiationEvent.h"
#include "platform/Date.h"

namespace kesto {

// One interval of an always-on station: from `start` to the wall-clock
// boundary `end` where the next begins, what was counted in it. Only dark
// time counts: while light reached the sensor, or no frame came (a camera
// that stopped), nothing is counted, so `darkSeconds` is the time the
// interval really measured and its events' times run on that time, from 0
// to `darkSeconds`.
//
// Threads: a plain value.
struct StationInterval {
    Date start;  // the boundary, or when counting began inside the interval
    Date end;    // the next boundary
    double darkSeconds = 0.0;
    double litSeconds = 0.0;   // frames came, but lit
    std::uint64_t frames = 0;  // dark frames counted
    std::vector<RadiationEvent> events;

    bool operator==(const StationInterval&) const = default;
};

}  // namespace kesto
