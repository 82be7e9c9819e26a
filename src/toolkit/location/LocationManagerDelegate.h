#pragma once

#include <string>

#include "toolkit/location/Location.h"

namespace kesto {

class LocationManager;

// Hears a location manager's fixes and failures, on the main thread, while
// its updates run. `oldLocation` is the fix delivered before this one (by
// any start of updates), or null for the first.
class LocationManagerDelegate {
  public:
    virtual ~LocationManagerDelegate() = default;
    virtual void didUpdateToLocation(LocationManager& manager, const Location& newLocation,
                                     const Location* oldLocation) = 0;
    virtual void didFailWithError(LocationManager& manager, const std::string& error) = 0;
};

}  // namespace kesto
