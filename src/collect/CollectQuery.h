#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collect/MeasurementStore.h"
#include "platform/Result.h"

namespace kesto {

// Which measurements a reader asks for, from a request's query:
//   from, to   start dates, [from, to): ISO 8601 UTC ("2024-05-01",
//              "2024-05-01T12:00:00Z", with milliseconds or not) or Unix seconds
//   device     one device identifier
//   bbox       west,south,east,north in degrees (Leaflet's toBBoxString);
//              west > east crosses the antimeridian
//   limit      at most this many (1 to the reader's own most)
// "token" is the access check's and ignored here; any other name is refused,
// so that a mistyped filter does not silently export everything.
//
// Threads: pure; any thread.
class CollectQuery {
  public:
    using Parameters = std::vector<std::pair<std::string, std::string>>;

    // `maxLimit` bounds "limit" and is the limit when none is given.
    static Result<MeasurementFilter> parse(const Parameters& query, std::size_t maxLimit);
    // Microseconds since 1970 for an ISO 8601 UTC date or Unix seconds.
    static Result<std::int64_t> parseDate(std::string_view text);
};

}  // namespace kesto
