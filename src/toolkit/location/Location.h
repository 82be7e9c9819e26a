#pragma once

#include <optional>

#include "platform/Date.h"

namespace kesto {

// One position fix: where, how sure (the radius in metres of the likely
// area; negative means the fix is not valid, nothing that the source gives
// no estimate) and when it was taken.
//
// A plain value, freely copied between threads.
class Location {
  public:
    // A fix at this place taken now (by the settable clock), accuracy 0.
    Location(double latitude, double longitude);
    Location(double latitude, double longitude, std::optional<double> horizontalAccuracy,
             Date timestamp)
        : latitude_(latitude),
          longitude_(longitude),
          horizontalAccuracy_(horizontalAccuracy),
          timestamp_(timestamp) {}

    double latitude() const { return latitude_; }
    double longitude() const { return longitude_; }
    std::optional<double> horizontalAccuracy() const { return horizontalAccuracy_; }
    Date timestamp() const { return timestamp_; }

    // A place on the globe: both coordinates finite, latitude within ±90°,
    // longitude within ±180°.
    bool isOnGlobe() const;
    // A fix a measurement may keep at `now`: on the globe, not reported
    // invalid (a negative accuracy; an unknown one is no reason to drop it),
    // taken no later than `now` and at most `maximumAge` seconds before.
    bool isAcceptableAt(Date now, double maximumAge) const;

    bool operator==(const Location&) const = default;

  private:
    double latitude_;
    double longitude_;
    std::optional<double> horizontalAccuracy_;
    Date timestamp_;
};

}  // namespace kesto
