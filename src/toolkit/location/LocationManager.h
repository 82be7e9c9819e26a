#pragma once

#include <memory>
#include <optional>

#include "toolkit/location/Location.h"
#include "toolkit/location/LocationManagerDelegate.h"
#include "toolkit/location/PositionSource.h"

namespace kesto {

// Accuracy requests, in metres (the sources here take what they get).
inline constexpr double kLocationAccuracyBest = -1.0;
inline constexpr double kLocationAccuracyNearestTenMeters = 10.0;

// The device's position service: between startUpdatingLocation and
// stopUpdatingLocation, every fix and failure of its source reaches the
// delegate on the main thread, through the main run loop. Nothing reaches
// it after stopUpdatingLocation or the manager's end, even what a source
// thread sent just before: each start opens a session, and deliveries of a
// closed session are dropped on the main thread.
//
// Starting while updating starts afresh (the source is restarted), so each
// start gets its own fixes, e.g. the fixed place's one fix.
//
// Threads: main thread only (checked where thread checks are built in).
class LocationManager {
  public:
    // A manager without a source never gets a fix.
    explicit LocationManager(std::unique_ptr<PositionSource> source = nullptr);
    ~LocationManager();
    LocationManager(const LocationManager&) = delete;
    LocationManager& operator=(const LocationManager&) = delete;

    void setDesiredAccuracy(double metres);
    void setDelegate(LocationManagerDelegate* delegate);
    LocationManagerDelegate* delegate() const { return delegate_; }

    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdating() const { return session_ != nullptr; }

    // The last fix delivered to the delegate, or null before the first.
    const Location* location() const { return location_ ? &*location_ : nullptr; }

  private:
    struct Session;

    void receiveFix(const Location& fix);
    void receiveFailure(const std::string& error);

    std::unique_ptr<PositionSource> source_;
    LocationManagerDelegate* delegate_ = nullptr;
    double desiredAccuracy_ = kLocationAccuracyBest;
    std::shared_ptr<Session> session_;
    std::optional<Location> location_;
};

}  // namespace kesto
