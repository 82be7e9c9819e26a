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

TEST(ReachabilityRulesTest, GeneralAndWiFiRules) {
    const struct {
        SCNetworkReachabilityFlags flags;
        ReachStatus general;
        ReachStatus wifi;  // reachable and directly attached, nothing else counts
    } cases[] = {
        {0, ReachNone, ReachNone},
        {R, ReachViaWiFi, ReachNone},
        {R | CR, ReachNone, ReachNone},
        {R | CR | Demand, ReachViaWiFi, ReachNone},
        {R | CR | Demand | Intervention, ReachNone, ReachNone},
        {R | CR | Traffic, ReachViaWiFi, ReachNone},
        {R | CR | Traffic | Intervention, ReachNone, ReachNone},
        // No connection needed: nothing to intervene on.
        {R | Intervention, ReachViaWiFi, ReachNone},
        {R | Direct, ReachViaWiFi, ReachViaWiFi},
        {R | Direct | CR | WWAN, ReachViaWWAN, ReachViaWiFi},
        {R | WWAN, ReachViaWWAN, ReachNone},
        {R | CR | WWAN, ReachViaWWAN, ReachNone},  // the cellular link comes up by itself
        {R | CR | Demand | Intervention | WWAN, ReachViaWWAN, ReachNone},
        {0xFFFFFFFF & ~R, ReachNone, ReachNone},  // nothing counts without Reachable
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.general)
            << std::hex << "flags 0x" << c.flags;
        EXPECT_EQ(Reachability::localWiFiStatusForFlags(c.flags), c.wifi)
            << std::hex << "flags 0x" << c.flags;
    }
}

TEST(ReachabilityRulesTest, FlagWordFromTheRoute) {
    using test::direct;
    using test::viaGateway;
    const struct {
        const char* what;
        RouteLookup lookup;
        std::optional<SCNetworkReachabilityFlags> expected;
    } cases[] = {
        {"query failed", RouteLookup::failure(), std::nullopt},
        {"no route", RouteLookup::none(), 0},
        {"interface down", RouteLookup::found(Route{"eth0", true, false, false}), 0},
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
