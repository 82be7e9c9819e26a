#pragma once

#include "collect/SqlConnection.h"
#include "platform/Result.h"

namespace kesto {

// The tables of the collection database, versioned. The version lives in
// the table kesto_schema; opening a database brings it to kVersion, one
// step at a time, each step in the same transaction as its version number,
// so that a step is done whole or not at all. A database written by a newer
// Kesto (a higher version) is refused rather than guessed at.
//
//   1  measurements: one row per upload, unique by (udid, start_us, tag),
//      the figures derived at upload; events: (measurement_id, seq, time_s,
//      particles); an index on start_us
//   2  devices: per device its number of measurements, last upload and
//      latest measurement (filled from the measurements already stored);
//      an index on positions
//   3  PostgreSQL: that index covers every column a map reads, so a box is
//      answered from the index alone
//
// Threads: the caller's connection, one thread at a time.
class CollectSchema {
  public:
    static constexpr int kVersion = 3;

    // 0 for a database without Kesto's tables.
    static Result<int> version(SqlConnection& connection);
    // Up to `target` (tests stop at older versions); the version reached.
    static Result<int> migrate(SqlConnection& connection, int target = kVersion);
};

}  // namespace kesto
