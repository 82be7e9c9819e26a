#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "TestAppDelegate.h"
#include "camera/CaptureBackend.h"
#include "camera/SimulatedSensor.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "network/NetworkFakes.h"
#include "platform/RunLoop.h"
#include "screens/ScreenClasses.h"
#include "support/TestSupport.h"
#include "toolkit/Application.h"
#include "toolkit/Driver.h"
#include "toolkit/ManualPositionSource.h"

namespace kesto::test {

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
        auto source = std::make_unique<ManualPositionSource>();
        positions = source.get();
        app = &TestAppDelegate::launch(std::move(source));
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
