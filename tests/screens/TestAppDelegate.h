#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/BitmapProcessor.h"
#include "screens/AlertViewController.h"
#include "screens/AppContext.h"
#include "screens/MeasureViewController.h"
#include "toolkit/Application.h"
#include "toolkit/LocationManager.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"

namespace kesto::test {

// Stands in for the application delegate: the alert screen at tab 0, the
// measure screen at tab 1 (plain screens elsewhere, no tab guard), a position
// the test sets, and a location manager over the given source (none: never a
// fix).
class TestAppDelegate : public ApplicationDelegate, public AppContext {
  public:
    explicit TestAppDelegate(std::unique_ptr<PositionSource> source)
        : locationManager_(std::move(source)) {}
    ~TestAppDelegate() override { BitmapProcessor::sharedInstance().setDelegate(nullptr); }

    // Installs a fresh delegate and window and launches; Application::reset() ends it.
    static TestAppDelegate& launch(std::unique_ptr<PositionSource> source) {
        Application& application = Application::sharedApplication();
        application.setWindow(std::make_unique<Window>());
        auto owned = std::make_unique<TestAppDelegate>(std::move(source));
        TestAppDelegate& delegate = *owned;
        application.setDelegate(std::move(owned));
        delegate.didFinishLaunchingWithOptions(application);
        return delegate;
    }

    bool didFinishLaunchingWithOptions(Application&) override {
        auto alert = std::make_unique<AlertViewController>();
        alert_ = alert.get();
        auto measure = std::make_unique<MeasureViewController>();
        measure_ = measure.get();
        BitmapProcessor::sharedInstance().setDelegate(measure_);
        std::vector<std::unique_ptr<ViewController>> navs;
        navs.push_back(std::make_unique<NavigationController>(std::move(alert)));
        navs.push_back(std::make_unique<NavigationController>(std::move(measure)));
        for (const char* name : {"History", "Help"}) {
            navs.push_back(std::make_unique<NavigationController>(std::make_unique<Plain>(name)));
        }
        tabs_->setViewControllers(std::move(navs));
        window()->setRootViewController(tabs_.get());
        window()->makeKeyAndVisible();
        return true;
    }

    LocationManager& locationManager() override { return locationManager_; }
    std::optional<Location> myLocation() const override { return position; }
    TabBarController* tabBarController() const override { return tabs_.get(); }
    DetecterDelegate* alertViewController() const override { return alert_; }
    DetecterDelegate* measureViewController() const override { return measure_; }

    MeasureViewController& measure() const { return *measure_; }
    AlertViewController& alert() const { return *alert_; }
    std::optional<Location> position;

  private:
    class Plain : public ViewController {
      public:
        explicit Plain(std::string name) : ViewController(std::move(name)) {}

      protected:
        std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
    };

    LocationManager locationManager_;
    std::unique_ptr<TabBarController> tabs_ = std::make_unique<TabBarController>();
    MeasureViewController* measure_ = nullptr;
    AlertViewController* alert_ = nullptr;
};

}  // namespace kesto::test
