#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/FakeGpsd.h"
#include "toolkit/internal/GpsdPositionSource.h"
#include "toolkit/location/LocationManager.h"
#include "toolkit/location/ManualPositionSource.h"

namespace kesto {
namespace {

struct RecordingDelegate : LocationManagerDelegate {
    std::vector<Location> fixes;
    std::vector<std::string> errors;
    int offMainOrStopped = 0;
    void heard(const LocationManager& m) {
        offMainOrStopped += RunLoop::isMainThread() && m.isUpdating() ? 0 : 1;
    }
    void didUpdateToLocation(LocationManager& m, const Location& location,
                             const Location*) override {
        heard(m);
        fixes.push_back(location);
    }
    void didFailWithError(LocationManager& m, const std::string& error) override {
        heard(m);
        errors.push_back(error);
    }
};

TEST(LocationConcurrencyTest, FixesFromAnotherThreadNeverOutliveTheirStartOrTheManager) {
    RunLoop& loop = RunLoop::main();
    RecordingDelegate delegate;
    auto owned = std::make_unique<ManualPositionSource>();
    ManualPositionSource* source = owned.get();
    auto manager = std::make_unique<LocationManager>(std::move(owned));
    manager->setDelegate(&delegate);
    manager->startUpdatingLocation();
    std::atomic<bool> done{false};
    std::atomic<int> delivered{0};
    std::thread feeder([&] {
        for (int i = 0; !done.load(); ++i) {
            delivered += source->deliver(Location(i % 90, 0.0, 1.0, Date())) ? 1 : 0;
        }
    });
    for (int round = 0; round < 200; ++round) {
        // Stop with fixes piled up in the main loop's queue.
        for (const int before = delivered.load(); delivered.load() < before + 3;) {
            std::this_thread::yield();
        }
        if (round % 2 == 0) {
            loop.runPending();
        }
        manager->stopUpdatingLocation();
        loop.runPending();
        manager->startUpdatingLocation();
    }
    // The feeder holds the source, which goes with the manager: stop it first.
    done = true;
    feeder.join();
    manager.reset();
    loop.runPending();
    EXPECT_EQ(delegate.offMainOrStopped, 0);
    EXPECT_LE(delegate.fixes.size(), static_cast<std::size_t>(delivered.load()));
}

const std::string kNoFix = "{\"class\":\"TPV\",\"mode\":1}\r\n";
const std::string kSky = "{\"class\":\"SKY\",\"satellites\":[]}\r\n";
const std::string k2D =
    "{\"class\":\"TPV\",\"mode\":2,\"time\":\"2011-03-13T07:06:40.250Z\","
    "\"lat\":48.8566,\"lon\":2.3522,\"eph\":12.5}\r\n";
const std::string k3DHalf = "{\"class\":\"TPV\",\"mode\":3,";
const std::string k3DRest =
    "\"time\":\"2011-03-13T07:06:41.250Z\",\"lat\":-33.5,\"lon\":151.25,\"epx\":3.0,\"epy\":4.0}"
    "\r\n";
const std::string kNoEstimate = "{\"class\":\"TPV\",\"mode\":3,\"lat\":10.0,\"lon\":20.0}\r\n";

struct GpsdRun {
    RecordingDelegate delegate;
    LocationManager manager;
    explicit GpsdRun(std::uint16_t port)
        : manager(std::make_unique<GpsdPositionSource>("127.0.0.1", port)) {
        manager.setDelegate(&delegate);
        manager.startUpdatingLocation();
    }
    bool finish(std::size_t fixes, std::size_t errors) {
        const bool heard = RunLoop::main().runUntilCondition(
            [&] { return delegate.fixes.size() >= fixes && delegate.errors.size() >= errors; },
            20.0);
        manager.stopUpdatingLocation();
        RunLoop::main().runPending();
        return heard;
    }
};

// Accuracy is eph, else made of epx and epy, else unknown; stopping with gpsd silent returns.
TEST(GpsdPositionSourceTest, FixesOfAStreamReachTheDelegateWithTheirAccuracyAndTime) {
    test::ManualClock clock;
    test::FakeGpsd gpsd({kNoFix, kSky, k2D, k3DHalf, k3DRest, kNoEstimate}, false);
    GpsdRun run(gpsd.port());
    ASSERT_TRUE(run.finish(3, 0));
    EXPECT_EQ(run.delegate.fixes,
              (std::vector<Location>{
                  Location(48.8566, 2.3522, 12.5, Date::fromUnixSeconds(1300000000.25)),
                  Location(-33.5, 151.25, 5.0, Date::fromUnixSeconds(1300000001.25)),
                  Location(10.0, 20.0, std::nullopt, clock.now())}));
    EXPECT_TRUE(run.delegate.errors.empty());
    EXPECT_EQ(run.delegate.offMainOrStopped, 0);
}

TEST(GpsdPositionSourceTest, AGpsdThatGoesAwayOrIsAbsentIsOneFailure) {
    std::uint16_t port = 0;
    for (const char* failure : {" closed the connection", ": Connection refused"}) {
        std::optional<test::FakeGpsd> gpsd;
        if (port == 0) {
            gpsd.emplace(std::vector<std::string>{k2D, k3DHalf}, true);  // gone mid-report
            port = gpsd->port();
        }
        GpsdRun run(port);  // the second time, nobody listens there any more
        ASSERT_TRUE(run.finish(0, 1));
        EXPECT_EQ(run.delegate.fixes.size(), gpsd ? 1u : 0u);
        EXPECT_EQ(run.delegate.errors,
                  std::vector<std::string>{"gpsd at 127.0.0.1:" + std::to_string(port) + failure});
        gpsd.reset();
    }
}

}  // namespace
}  // namespace kesto
