#include <tuple>

#include <gtest/gtest.h>

#include "platform/RunLoop.h"
#include "support/TestSupport.h"
#include "toolkit/internal/FixedPositionSource.h"
#include "toolkit/location/LocationManager.h"
#include "toolkit/location/ManualPositionSource.h"
#include "toolkit/location/PositionSpec.h"

namespace kesto {
namespace {

TEST(PositionSpecTest, SelectionsAreReadOrRefusedWithTheReason) {
    using K = PositionSpec::Kind;
    const std::tuple<const char*, K, double, double, std::string, int> accepted[] = {
        {"", K::None, 0, 0, "localhost", 2947},
        {" -90 , 180 ", K::Fixed, -90, 180, "localhost", 2947},
        {"gpsd", K::Gpsd, 0, 0, "localhost", 2947},
        {"gpsd:gps.local:3000", K::Gpsd, 0, 0, "gps.local", 3000},
        {"gpsd:10.0.0.2", K::Gpsd, 0, 0, "10.0.0.2", 2947},
        {"gpsd:[::1]:2948", K::Gpsd, 0, 0, "::1", 2948},
        {"gpsd:[fe80::1]", K::Gpsd, 0, 0, "fe80::1", 2947},
    };
    for (const auto& [text, kind, latitude, longitude, host, port] : accepted) {
        const auto spec = PositionSpec::parse(text);
        ASSERT_TRUE(spec) << text << ": " << spec.error();
        EXPECT_EQ(std::tie(spec->kind, spec->latitude, spec->longitude, spec->host),
                  std::tie(kind, latitude, longitude, host))
            << text;
        EXPECT_EQ(spec->port, port) << text;
    }
    const std::pair<const char*, const char*> refused[] = {
        {"90.0001,0", "latitude '90.0001' is not a number of degrees"},
        {"0,-180.5", "longitude '-180.5' is not a number of degrees"},
        {"nan,0", "latitude 'nan'"},
        {"48.85", "expected none, LAT,LON or gpsd"},
        {"gpsd:::1:2947", "IPv6 address in brackets"},
        {"gpsd:[::1", "'[' without ']'"},
        {"gpsd:[::1]2947", "expected ':PORT' after ']'"},
        {"gpsd:/dev/ttyUSB0", "'/dev/ttyUSB0' is not a host name"},
        {"gpsd:host:0", "port '0' is not a number from 1 to 65535"},
        {"gpsd:host:65536", "port '65536'"},
    };
    for (const auto& [text, reason] : refused) {
        const auto spec = PositionSpec::parse(text);
        ASSERT_FALSE(spec) << text;
        EXPECT_NE(spec.error().find(reason), std::string::npos) << text << ": " << spec.error();
    }
}

struct RecordingDelegate : LocationManagerDelegate {
    std::vector<std::pair<Location, std::optional<Location>>> fixes;
    std::vector<std::string> errors;
    void didUpdateToLocation(LocationManager&, const Location& location,
                             const Location* old) override {
        fixes.emplace_back(location, old ? std::optional(*old) : std::nullopt);
    }
    void didFailWithError(LocationManager&, const std::string& error) override {
        errors.push_back(error);
    }
};

// One fresh fix per start, stamped at the start, on a later pass; a stop before that pass drops it.
TEST(LocationManagerTest, AFixedPlaceGivesOneFreshFixPerStartOfUpdates) {
    test::ManualClock clock;
    RecordingDelegate delegate;
    LocationManager manager(std::make_unique<FixedPositionSource>(48.8566, 2.3522));
    manager.setDelegate(&delegate);
    manager.startUpdatingLocation();
    EXPECT_TRUE(delegate.fixes.empty());
    RunLoop::main().runPending();
    RunLoop::main().runPending();
    const Location first(48.8566, 2.3522, 0.0, clock.now());
    ASSERT_EQ(delegate.fixes, (decltype(delegate.fixes){{first, std::nullopt}}));

    clock.advance(60.0);
    manager.stopUpdatingLocation();
    manager.startUpdatingLocation();
    manager.startUpdatingLocation();  // starting afresh: the first start's fix is dropped
    manager.startUpdatingLocation();
    manager.stopUpdatingLocation();
    manager.startUpdatingLocation();
    RunLoop::main().runPending();
    const Location second(48.8566, 2.3522, 0.0, clock.now());
    EXPECT_EQ(delegate.fixes, (decltype(delegate.fixes){{first, std::nullopt}, {second, first}}));
    EXPECT_EQ(*manager.location(), second);
}

TEST(LocationManagerTest, InjectedFixesAndFailuresReachTheDelegateOnlyWhileUpdating) {
    test::ManualClock clock;
    RecordingDelegate delegate;
    auto owned = std::make_unique<ManualPositionSource>();
    ManualPositionSource& source = *owned;
    const auto manager = std::make_unique<LocationManager>(std::move(owned));
    manager->setDelegate(&delegate);
    const Location invalid(1.0, 2.0, -1.0, clock.now());
    const Location stale(3.0, 4.0, 5.0, clock.now().addingTimeInterval(-6.0));
    manager->startUpdatingLocation();
    EXPECT_TRUE(source.deliver(invalid));
    EXPECT_TRUE(source.fail("no fix yet"));
    EXPECT_TRUE(source.deliver(stale));
    RunLoop::main().runPending();
    EXPECT_EQ(delegate.fixes,
              (decltype(delegate.fixes){{invalid, std::nullopt}, {stale, invalid}}));
    EXPECT_EQ(delegate.errors, std::vector<std::string>{"no fix yet"});
    manager->stopUpdatingLocation();
    EXPECT_FALSE(source.deliver(stale));
}

}  // namespace
}  // namespace kesto
