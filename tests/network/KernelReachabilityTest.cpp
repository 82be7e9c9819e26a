#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "network/internal/KernelRouteWatch.h"
#include "network/internal/KernelRoutingTable.h"
#include "network/internal/SystemHostResolver.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// These ask this machine's kernel, whose default route is whatever it has.
TEST(KernelReachabilityTest, LoopbackIsReachableAndDirect) {
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    const auto lookup = KernelRoutingTable().routeTo(loopback);
    ASSERT_TRUE(!lookup.failed && lookup.route.has_value());
    const Route& route = *lookup.route;
    EXPECT_EQ(std::tuple(route.interfaceName, route.interfaceUp, route.hasGateway, route.cellular),
              std::tuple("lo", true, false, false));
    // A numeric host name needs no lookup (this resolver would give up at once).
    ReachabilityService noLookups(
        std::make_unique<KernelRoutingTable>(),
        std::make_unique<SystemHostResolver>(std::chrono::milliseconds(0)));
    auto byName = Reachability::reachabilityWithHostName("127.0.0.1", noLookups);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->reachabilityFlags(),
              kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect);
}

TEST(KernelReachabilityTest, DefaultRouteAndNotifierOnTheKernelWatch) {
    const auto lookup = KernelRoutingTable().defaultRoute();
    ASSERT_FALSE(lookup.failed);
    test::QueueDispatcher dispatcher;
    auto monitor = Reachability::reachabilityForInternetConnection();
    ASSERT_NE(monitor, nullptr);
    EXPECT_EQ(monitor->reachabilityFlags(), ReachabilityService::flagsForLookup(lookup));
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
    std::ofstream(sysfs.path() / "wwan0" / "uevent") << "INTERFACE=wwan0\nDEVTYPE=wwan\n";
    std::ofstream(sysfs.path() / "uevent") << "DEVTYPE=wwan\n";
    const KernelRoutingTable table(sysfs.path().string());
    EXPECT_EQ(table.deviceType("wwan0"), "wwan");
    for (const char* outside : {"missing0", ".", "../x"}) {
        EXPECT_EQ(table.deviceType(outside), "") << outside;
    }
}

}  // namespace
}  // namespace kesto
