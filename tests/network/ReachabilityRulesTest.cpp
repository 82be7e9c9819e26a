#include <linux/if_arp.h>

#include <gtest/gtest.h>

#include "network/KernelRoutingTable.h"
#include "network/NetworkFakes.h"
#include "network/Reachability.h"

namespace kesto {
namespace {

constexpr SCNetworkReachabilityFlags R = kSCNetworkReachabilityFlagsReachable;
constexpr SCNetworkReachabilityFlags CR = kSCNetworkReachabilityFlagsConnectionRequired;
constexpr SCNetworkReachabilityFlags Traffic = kSCNetworkReachabilityFlagsConnectionOnTraffic;
constexpr SCNetworkReachabilityFlags Intervention = kSCNetworkReachabilityFlagsInterventionRequired;
constexpr SCNetworkReachabilityFlags Demand = kSCNetworkReachabilityFlagsConnectionOnDemand;
constexpr SCNetworkReachabilityFlags Direct = kSCNetworkReachabilityFlagsIsDirect;
constexpr SCNetworkReachabilityFlags WWAN = kSCNetworkReachabilityFlagsIsWWAN;

TEST(ReachabilityRulesTest, GeneralRule) {
    const struct {
        SCNetworkReachabilityFlags flags;
        ReachStatus expected;
    } cases[] = {
        {0, ReachNone},
        {R, ReachViaWiFi},
        {R | CR, ReachNone},
        {R | CR | Demand, ReachViaWiFi},
        {R | CR | Demand | Intervention, ReachNone},
        {R | CR | Traffic, ReachViaWiFi},
        {R | CR | Traffic | Intervention, ReachNone},
        {R | Intervention, ReachViaWiFi},  // no connection needed: nothing to intervene on
        {R | Direct, ReachViaWiFi},
        {R | WWAN, ReachViaWWAN},
        {R | CR | WWAN, ReachViaWWAN},  // the cellular link comes up by itself
        {R | CR | Demand | Intervention | WWAN, ReachViaWWAN},
        {WWAN, ReachNone},
        {CR | Demand | Direct, ReachNone},
        {0xFFFFFFFF & ~R, ReachNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.expected)
            << std::hex << "flags 0x" << c.flags;
    }
}

TEST(ReachabilityRulesTest, WiFiRuleWantsReachableAndDirect) {
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(R | Direct), ReachViaWiFi);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(R | Direct | CR | WWAN), ReachViaWiFi);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(R), ReachNone);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(Direct), ReachNone);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(0), ReachNone);
}

TEST(ReachabilityRulesTest, FlagWordFromTheRoute) {
    using test::direct;
    using test::interfaceDown;
    using test::viaGateway;
    const struct {
        const char* what;
        RouteLookup lookup;
        std::optional<SCNetworkReachabilityFlags> expected;
    } cases[] = {
        {"query failed", RouteLookup::failure(), std::nullopt},
        {"no route", RouteLookup::none(), 0},
        {"interface down", interfaceDown("eth0"), 0},
        {"cellular interface down", RouteLookup::found(Route{"wwan0", true, false, true}), 0},
        {"via a gateway", viaGateway("wlan0"), R},
        {"directly attached", direct("eth0"), R | Direct},
        {"via a cellular gateway", viaGateway("wwan0", true), R | WWAN},
        {"cellular point-to-point", RouteLookup::found(Route{"ppp0", false, true, true}),
         R | Direct | WWAN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReachabilityService::flagsForLookup(c.lookup), c.expected) << c.what;
    }
}

TEST(ReachabilityRulesTest, CellularInterfaces) {
    const struct {
        const char* name;
        std::uint16_t type;
        const char* deviceType;
        bool cellular;
    } cases[] = {
        {"wwan0", ARPHRD_ETHER, "", true},
        {"ppp0", ARPHRD_PPP, "", true},
        {"dsl", ARPHRD_PPP, "", true},
        {"rmnet_data0", ARPHRD_RAWIP, "wwan", true},
        {"mhi_hwip0", ARPHRD_NONE, "wwan", true},
        {"usb0", ARPHRD_ETHER, "wwan", true},
        {"eth0", ARPHRD_ETHER, "", false},
        {"wlan0", ARPHRD_ETHER, "wlan", false},
        {"lo", ARPHRD_LOOPBACK, "", false},
        {"tun0", ARPHRD_NONE, "", false},
        {"rmnet_data0", ARPHRD_RAWIP, "", false},  // only the driver can say it is a modem
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KernelRoutingTable::isCellularInterface(c.name, c.type, c.deviceType), c.cellular)
            << c.name;
    }
}

}  // namespace
}  // namespace kesto
