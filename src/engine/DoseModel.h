#pragma once

namespace kesto {

// The whole dose model rests on one weight: every detection event counts for
// the same dose, whatever its number of hits. The engine's running figures,
// the saved records and the simulated sensor all derive theirs from it.
struct DoseModel {
    static constexpr double kDosePerEvent = 0.055;  // μSv

    // One event a second, as an hourly rate: 198 μSv/h.
    static constexpr double kOneEventPerSecond = kDosePerEvent * 3600.0;  // μSv/h
    // Ten events a second: 1980 μSv/h, the rate of the engine's ten-event
    // window when it spans one second.
    static constexpr double kTenEventsPerSecond = kOneEventPerSecond * 10.0;  // μSv/h
};

// Both products are exact in binary, so figures computed from these names are
// bit for bit those of the plain 198.0 and 1980.0.
static_assert(DoseModel::kOneEventPerSecond == 198.0);
static_assert(DoseModel::kTenEventsPerSecond == 1980.0);

}  // namespace kesto
