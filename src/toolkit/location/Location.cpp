#include "toolkit/location/Location.h"

#include "platform/Clock.h"

namespace kesto {

Location::Location(double latitude, double longitude)
    : Location(latitude, longitude, 0.0, Clock::now()) {}

}  // namespace kesto
