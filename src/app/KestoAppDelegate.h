#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "screens/AppContext.h"
#include "toolkit/AlertViewDelegate.h"
#include "toolkit/ApplicationDelegate.h"
#include "toolkit/TabBarControllerDelegate.h"
#include "toolkit/location/Location.h"
#include "toolkit/location/LocationManagerDelegate.h"
#include "toolkit/location/PositionSource.h"
#include "toolkit/location/PositionSpec.h"

namespace kesto {

class AlertViewController;
class HelpViewController;
class HistoryViewController;
class LocationManager;
class MeasureViewController;
class TabBarController;
class ViewController;

// The application delegate: builds the four tabs (alert, measure, history,
// help, each the root of its own navigation stack), makes the measure screen
// the engine's delegate, loads the history, shows the window and starts
// tracking the position. It keeps a running detection from being left by a
// tap on another tab without a Yes/No question, and is what the screens reach
// as AppContext: the position, the tab bar and the two detecting screens.
//
// A position fix is kept when valid (on the globe, accuracy not reported
// negative; an unknown accuracy is kept), not dated in the future and at
// most 5 seconds old; the first one kept stops the updates, and only its
// latitude and longitude are kept. The measure screen restarts updates at
// each start.
//
// Registered as "KestoAppDelegate" in Application::DelegateClasses (the main
// interface names it) by registerClass().
//
// Threads: main thread only.
class KestoAppDelegate : public ApplicationDelegate,
                         public AppContext,
                         public TabBarControllerDelegate,
                         public AlertViewDelegate,
                         public LocationManagerDelegate {
  public:
    using PositionSourceFactory = std::function<std::unique_ptr<PositionSource>()>;

    // Older fixes are stale.
    static constexpr double kMaximumFixAge = 5.0;

    // Where the delegates made from now on take their positions: the source
    // of `spec` (the --position option). Without a call, KESTO_POSITION is
    // read at the first location manager (none when unset; an unreadable
    // value is logged and gives none).
    static void setPositionSpec(const PositionSpec& spec);
    // The same with any source maker (tests inject fixes by hand); an empty
    // function goes back to KESTO_POSITION.
    static void setPositionSourceFactory(PositionSourceFactory factory);
    // Makes the class known to Application::launch; idempotent.
    static void registerClass();

    KestoAppDelegate();
    ~KestoAppDelegate() override;

    bool didFinishLaunchingWithOptions(Application& application) override;

    // AppContext
    LocationManager& locationManager() override;
    std::optional<Location> myLocation() const override { return myLocation_; }
    TabBarController* tabBarController() const override { return tabBarController_.get(); }
    DetecterDelegate* alertViewController() const override;
    DetecterDelegate* measureViewController() const override;

    AlertViewController* alertScreen() const { return alertViewController_; }
    MeasureViewController* measureScreen() const { return measureViewController_; }
    HistoryViewController* historyViewController() const { return historyViewController_; }
    HelpViewController* helpViewController() const { return helpViewController_; }
    // The tab asked for while a detection ran, until the question's "Yes".
    ViewController* tmpSelectedViewController() const { return tmpSelectedViewController_; }

    // The tab guard: a tap that would leave a running detection is refused
    // and asks first.
    bool shouldSelectViewController(TabBarController& tabBarController,
                                    ViewController& viewController) override;
    // The guard's answer: 0 ("Yes") switches, then stops the old screen's
    // detection; 1 ("No") changes nothing.
    void clickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

    void didUpdateToLocation(LocationManager& manager, const Location& newLocation,
                             const Location* oldLocation) override;
    void didFailWithError(LocationManager& manager, const std::string& error) override;

  private:
    // The top screen of the selected tab.
    ViewController* selectedTopScreen() const;

    std::unique_ptr<TabBarController> tabBarController_;
    AlertViewController* alertViewController_ = nullptr;
    MeasureViewController* measureViewController_ = nullptr;
    HistoryViewController* historyViewController_ = nullptr;
    HelpViewController* helpViewController_ = nullptr;
    ViewController* tmpSelectedViewController_ = nullptr;
    std::unique_ptr<LocationManager> locationManager_;
    std::optional<Location> myLocation_;
};

}  // namespace kesto
