#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "network/InternetConnection.h"
#include "network/KernelRouteWatch.h"
#include "network/KernelRoutingTable.h"
#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "network/SystemHostResolver.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

constexpr SCNetworkReachabilityFlags kReachableDirect =
    kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;

// These ask this machine's kernel. Loopback is the same everywhere; the
// default route is whatever the machine has, so only consistency is checked.
TEST(KernelReachabilityTest, LoopbackIsReachableAndDirect) {
    KernelRoutingTable table;
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    const auto lookup = table.routeTo(loopback);
    ASSERT_FALSE(lookup.failed);
    ASSERT_TRUE(lookup.route.has_value());
    const Route& route = *lookup.route;
    EXPECT_EQ(std::tuple(route.interfaceName, route.interfaceUp, route.hasGateway, route.cellular),
              std::tuple("lo", true, false, false));

    auto monitor = Reachability::reachabilityWithAddress(
        Reachability::socketAddress(INADDR_LOOPBACK), ReachabilityService::defaultService());
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->reachabilityFlags(), kReachableDirect);
    monitor->setLocalWiFiRef(true);
    EXPECT_EQ(monitor->currentReachabilityStatus(), ReachViaWiFi);

    // A numeric host name takes the same road without any lookup (the
    // resolver here would give up on a real one at once).
    ReachabilityService noLookups(
        std::make_unique<KernelRoutingTable>(),
        std::make_unique<SystemHostResolver>(std::chrono::milliseconds(0)));
    auto byName = Reachability::reachabilityWithHostName("127.0.0.1", noLookups);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->reachabilityFlags(), kReachableDirect);
}

TEST(KernelReachabilityTest, InternetAnswerAgreesWithTheDefaultRoute) {
    KernelRoutingTable table;
    const auto lookup = table.defaultRoute();
    ASSERT_FALSE(lookup.failed);
    auto monitor = Reachability::reachabilityForInternetConnection();
    ASSERT_NE(monitor, nullptr);
    const auto flags = monitor->reachabilityFlags();
    ASSERT_TRUE(flags.has_value());
    EXPECT_EQ(*flags, ReachabilityService::flagsForLookup(lookup));
    const bool upRoute = lookup.route && lookup.route->interfaceUp;
    EXPECT_EQ((*flags & kSCNetworkReachabilityFlagsReachable) != 0, upRoute);
    const ReachStatus status = monitor->currentReachabilityStatus();
    EXPECT_EQ(status, Reachability::networkStatusForFlags(*flags));
    EXPECT_EQ(InternetConnection::isReacheable(), status != ReachNone);
    EXPECT_FALSE(monitor->connectionRequired());  // Linux never asks for one
}

TEST(KernelReachabilityTest, NotifierStartsAndStopsOnTheKernelWatch) {
    test::QueueDispatcher dispatcher;
    auto monitor = Reachability::reachabilityForInternetConnection();
    ASSERT_NE(monitor, nullptr);
    EXPECT_TRUE(monitor->startNotifer());
    monitor->stopNotifer();

    // An interrupt wakes a waiter at once, and every wait after it.
    auto watch = KernelRouteWatch::open();
    ASSERT_NE(watch, nullptr);
    std::thread waker([&] { watch->interrupt(); });
    EXPECT_FALSE(watch->wait());
    waker.join();
    EXPECT_FALSE(watch->wait());
}

TEST(KernelReachabilityTest, DeviceTypeComesFromSysfsAndStaysInside) {
    test::TemporaryDirectory sysfs;
    std::filesystem::create_directory(sysfs.path() / "wwan0");
    std::ofstream(sysfs.path() / "wwan0" / "uevent") << "DEVTYPE=wwan\nINTERFACE=wwan0\n";
    std::filesystem::create_directory(sysfs.path() / "eth0");
    std::ofstream(sysfs.path() / "eth0" / "uevent") << "INTERFACE=eth0\nIFINDEX=2\n";
    std::ofstream(sysfs.path() / "uevent") << "DEVTYPE=wwan\n";
    const KernelRoutingTable table(sysfs.path().string());
    EXPECT_EQ(table.deviceType("wwan0"), "wwan");
    EXPECT_EQ(table.deviceType("eth0"), "");
    EXPECT_EQ(table.deviceType("missing0"), "");
    EXPECT_EQ(table.deviceType("."), "");
    EXPECT_EQ(table.deviceType("../x"), "");
}

}  // namespace
}  // namespace kesto
