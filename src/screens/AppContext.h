#pragma once

#include <optional>

#include "toolkit/location/Location.h"

namespace kesto {

class DetecterDelegate;
class LocationManager;
class TabBarController;

// What the screens use of the application delegate: the device position,
// the tab bar and the two detecting screens. The application delegate
// implements it; the screens reach it through the application, as they
// would reach the delegate object itself.
//
// Threads: main thread.
class AppContext {
  public:
    // The application delegate's context; nullptr when the application has
    // no delegate or its delegate offers none (a screen shown on its own).
    static AppContext* shared();

    // The shared location manager, created (and started) on first use.
    virtual LocationManager& locationManager() = 0;
    // The last accepted position; nothing before the first accepted fix.
    virtual std::optional<Location> myLocation() const = 0;
    virtual TabBarController* tabBarController() const = 0;
    virtual DetecterDelegate* alertViewController() const = 0;
    virtual DetecterDelegate* measureViewController() const = 0;

  protected:
    ~AppContext() = default;
};

}  // namespace kesto
