#include "toolkit/location/Location.h"

#include <cmath>

#include "platform/Clock.h"

namespace kesto {

Location::Location(double latitude, double longitude)
    : Location(latitude, longitude, 0.0, Clock::now()) {}

bool Location::isOnGlobe() const {
    return std::isfinite(latitude_) && std::isfinite(longitude_) && std::fabs(latitude_) <= 90.0 &&
           std::fabs(longitude_) <= 180.0;
}

bool Location::isAcceptableAt(Date now, double maximumAge) const {
    if (!isOnGlobe() || (horizontalAccuracy_ && !(*horizontalAccuracy_ >= 0.0))) {
        return false;
    }
    // A fix from the future is no fresher than a stale one.
    const double age = now.timeIntervalSince(timestamp_);
    return age >= 0.0 && age <= maximumAge;
}

}  // namespace kesto
