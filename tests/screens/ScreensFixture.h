#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "network/NetworkFakes.h"
#include "platform/RunLoop.h"
#include "screens/AlertViewController.h"
#include "screens/AppContext.h"
#include "screens/MeasureViewController.h"
#include "screens/ScreenClasses.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"
#include "toolkit/location/LocationManager.h"
#include "toolkit/location/ManualPositionSource.h"

namespace kesto::test {

// Stands in for the application delegate: the alert screen at tab 0, the
// measure screen at tab 1 (plain screens elsewhere, no tab guard), no position
// kept, and a location manager over the given source.
class TestAppDelegate : public ApplicationDelegate, public AppContext {
  public:
    explicit TestAppDelegate(std::unique_ptr<PositionSource> source)
        : locationManager_(std::move(source)) {}
    ~TestAppDelegate() override { BitmapProcessor::sharedInstance().setDelegate(nullptr); }

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
    std::optional<Location> myLocation() const override { return std::nullopt; }
    TabBarController* tabBarController() const override { return tabs_.get(); }
    DetecterDelegate* alertViewController() const override { return alert_; }
    DetecterDelegate* measureViewController() const override { return measure_; }

    MeasureViewController& measure() const { return *measure_; }
    AlertViewController& alert() const { return *alert_; }

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

// The application launched with the measure screen, the simulated sensor as
// frame source (covered, no radiation), the settable clock, a history in a
// temporary directory and a network without route until a test adds one.
class ScreensFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // ctest sets it for the executable; a direct run gets the same sensor.
        setenv("KESTO_SENSOR", "sim:rate=0,seed=7,size=64x48", 0);
        ScreenClasses::registerAll();
    }
    void SetUp() override {
        RadiationHistoryMng::resetForTesting(dir.path());
        sensor().setRate(0.0);
        sensor().setLensOpen(false);
        launch();
    }
    void TearDown() override {
        quit();
        MeasureViewController::waitForUploads(10.0);
    }
    void launch() {
        Application& application = Application::sharedApplication();
        application.setWindow(std::make_unique<Window>());
        auto source = std::make_unique<ManualPositionSource>();
        positions = source.get();
        auto owned = std::make_unique<TestAppDelegate>(std::move(source));
        app = owned.get();
        application.setDelegate(std::move(owned));
        app->didFinishLaunchingWithOptions(application);
        app->tabBarController()->setSelectedIndex(1);
    }
    void quit() {
        app->measure().stopDetection();
        Application::sharedApplication().reset();
        RunLoop::main().runPending();
        BitmapProcessor::sharedInstance().resetModel();
    }
    static SimulatedSensor& sensor() { return *CaptureBackend::current().simulatedSensor(); }
    MeasureViewController& measure() const { return app->measure(); }
    static void run(double seconds) { RunLoop::main().runFor(seconds); }
    void setReachable(bool reachable) {
        network.routes->setDefaultRoute(reachable ? viaGateway("wlan0") : RouteLookup::none());
    }

    ManualClock clock;
    ConsoleCapture console;
    TemporaryDirectory dir;
    FakeNetwork network;
    ScopedDefaultService defaultService{*network.service};
    Driver driver;
    TestAppDelegate* app = nullptr;
    ManualPositionSource* positions = nullptr;
};

}  // namespace kesto::test
