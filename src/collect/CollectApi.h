#pragma once

#include <cstddef>
#include <string>

#include "collect/MeasurementStore.h"
#include "platform/Result.h"

namespace kesto {

// What the collection page reads, as JSON texts (dates ISO 8601 UTC, rates
// in μSv/h with their 95% bounds, null when unknown):
//   points   {"points": [{"id", "device", "tag", "lat", "lon", "start",
//             "stop", "rate", "lower", "upper", "events"}...], "truncated"}
//            newest first; "truncated" when the limit left some out
//   devices  {"devices": [{"device", "measurements", "lastSeen",
//             "latest": {the same as a point, "lat"/"lon" null without a
//             position}}...]}, the device heard from last first
//   series   {"device", "measurements": [a point each...]}, by start date
//
// Threads: any (the store's).
class CollectApi {
  public:
    // Most points one map request returns; most measurements in one series.
    static constexpr std::size_t kMaxPoints = 20000;
    static constexpr std::size_t kMaxSeries = 50000;

    static Result<std::string> points(MeasurementStore& store, MeasurementFilter filter);
    static Result<std::string> devices(MeasurementStore& store);
    static Result<std::string> series(MeasurementStore& store, MeasurementFilter filter);
};

}  // namespace kesto
