#pragma once

#include <memory>
#include <optional>

#include "screens/AlertViewController.h"
#include "screens/AppContext.h"
#include "screens/MeasureViewController.h"
#include "toolkit/ApplicationDelegate.h"
#include "toolkit/LocationManager.h"
#include "toolkit/TabBarController.h"

namespace kesto::test {

// A stand-in for the application delegate: four tabs with the alert screen
// at index 0 and the measure screen at index 1 (plain screens elsewhere), the context the screens
// reach, a position the test sets, and a location manager over the source it is given (none: never
// a fix). No tab guard.
class TestAppDelegate : public ApplicationDelegate, public AppContext {
  public:
    explicit TestAppDelegate(std::unique_ptr<PositionSource> source = nullptr);
    ~TestAppDelegate() override;

    // Installs a fresh delegate and window in the shared application and
    // launches it; Application::reset() ends it.
    static TestAppDelegate& launch(std::unique_ptr<PositionSource> source = nullptr);

    bool didFinishLaunchingWithOptions(Application& application) override;

    LocationManager& locationManager() override { return locationManager_; }
    std::optional<Location> myLocation() const override { return position; }
    TabBarController* tabBarController() const override { return tabs_.get(); }
    DetecterDelegate* alertViewController() const override { return alert_; }
    DetecterDelegate* measureViewController() const override { return measure_; }

    MeasureViewController& measure() const { return *measure_; }
    AlertViewController& alert() const { return *alert_; }
    std::optional<Location> position;

  private:
    LocationManager locationManager_;
    std::unique_ptr<TabBarController> tabs_;
    MeasureViewController* measure_ = nullptr;
    AlertViewController* alert_ = nullptr;
};

}  // namespace kesto::test
