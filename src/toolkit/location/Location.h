#pragma once

#include "platform/Date.h"

namespace kesto {

// One position fix: where, how sure (the radius in metres of the likely
// area; negative means the fix is not valid) and when it was taken.
//
// A plain value, freely copied between threads.
class Location {
  public:
    // A fix at this place taken now (by the settable clock), accuracy 0.
    Location(double latitude, double longitude);
    Location(double latitude, double longitude, double horizontalAccuracy, Date timestamp)
        : latitude_(latitude),
          longitude_(longitude),
          horizontalAccuracy_(horizontalAccuracy),
          timestamp_(timestamp) {}

    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    double horizontalAccuracy() const { return horizontalAccuracy_; }
    Date timestamp() const { return timestamp_; }

    bool operator==(const Location&) const = default;

  private:
    double latitude_;
    double longitude_;
    double horizontalAccuracy_;
    Date timestamp_;
};

}  // namespace kesto
