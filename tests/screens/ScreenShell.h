#pragma once

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "platform/RunLoop.h"
#include "screens/AlertViewController.h"
#include "screens/AppContext.h"
#include "screens/DetecterDelegate.h"
#include "screens/ScreenClasses.h"
#include "toolkit/Application.h"
#include "toolkit/LocationManager.h"
#include "toolkit/NavigationController.h"
#include "toolkit/TabBarController.h"
#include "toolkit/Window.h"

namespace kesto::test {

// Stands for the measure screen: counts what the verdict screen asks of it.
class MeasureStandIn : public ViewController, public DetecterDelegate {
  public:
    MeasureStandIn() : ViewController("MeasureStandIn") {}
    std::string msgAlertIsRunning() override { return "measuring"; }
    bool isRunning() override { return starts > 0; }
    void stopDetection() override {}
    void startDetection() override { ++starts; }
    int starts = 0;

  protected:
    std::unique_ptr<View> loadView() override { return std::make_unique<View>(); }
};

// A two-tab application (the alert screen, a measure stand-in) whose
// delegate is the screens' context, on the simulated sensor.
class ScreenShell : public ApplicationDelegate, public AppContext {
  public:
    static ScreenShell& launch() {
        // ctest sets it; a direct run gets the same dark, particle-free sensor.
        setenv("KESTO_SENSOR", "sim:rate=0,seed=7,size=64x48", 0);
        CaptureBackend::current().simulatedSensor()->setRate(0.0);
        ScreenClasses::registerAll();
        auto& app = Application::sharedApplication();
        app.reset();
        app.setWindow(std::make_unique<Window>());
        auto owned = std::make_unique<ScreenShell>();
        ScreenShell& shell = *owned;
        app.setDelegate(std::move(owned));
        app.window()->setRootViewController(shell.tabs.get());
        app.window()->makeKeyAndVisible();
        return shell;
    }

    ScreenShell() {
        auto alertScreen = std::make_unique<AlertViewController>();
        alert = alertScreen.get();
        auto measureScreen = std::make_unique<MeasureStandIn>();
        measure = measureScreen.get();
        std::vector<std::unique_ptr<ViewController>> stacks;
        stacks.push_back(std::make_unique<NavigationController>(std::move(alertScreen)));
        stacks.push_back(std::make_unique<NavigationController>(std::move(measureScreen)));
        tabs->setViewControllers(std::move(stacks));
    }

    bool didFinishLaunchingWithOptions(Application&) override { return true; }
    LocationManager& locationManager() override { return manager; }
    std::optional<Location> myLocation() const override { return std::nullopt; }
    TabBarController* tabBarController() const override { return tabs.get(); }
    DetecterDelegate* alertViewController() const override { return alert; }
    DetecterDelegate* measureViewController() const override { return measure; }

    NavigationController& alertStack() const {
        return dynamic_cast<NavigationController&>(*tabs->viewControllers()[0]);
    }
    static SimulatedSensor& sensor() { return *CaptureBackend::current().simulatedSensor(); }

    std::unique_ptr<TabBarController> tabs = std::make_unique<TabBarController>();
    AlertViewController* alert = nullptr;
    MeasureStandIn* measure = nullptr;
    LocationManager manager;
};

}  // namespace kesto::test
