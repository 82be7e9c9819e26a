#include <linux/if_arp.h>

#include <gtest/gtest.h>

#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "network/internal/KernelRoutingTable.h"

namespace kesto {
namespace {

constexpr auto R = kSCNetworkReachabilityFlagsReachable,
               Direct = kSCNetworkReachabilityFlagsIsDirect,
               CR = kSCNetworkReachabilityFlagsConnectionRequired,
               WWAN = kSCNetworkReachabilityFlagsIsWWAN,
               Demand = kSCNetworkReachabilityFlagsConnectionOnDemand,
               Intervention = kSCNetworkReachabilityFlagsInterventionRequired;

// The Wi-Fi rule: reachable and directly attached, nothing else counts.
TEST(ReachabilityRulesTest, GeneralAndWiFiRules) {
    const std::tuple<SCNetworkReachabilityFlags, ReachStatus, ReachStatus> cases[] = {
        {0, ReachNone, ReachNone},
        {R, ReachViaWiFi, ReachNone},
        {R | CR, ReachNone, ReachNone},
        {R | CR | Demand, ReachViaWiFi, ReachNone},  // or on traffic
        {R | CR | Demand | Intervention, ReachNone, ReachNone},
        {R | Intervention, ReachViaWiFi, ReachNone},  // no connection to intervene on
        {R | Direct, ReachViaWiFi, ReachViaWiFi},
        {R | Direct | CR | WWAN, ReachViaWWAN, ReachViaWiFi},
        {R | WWAN, ReachViaWWAN, ReachNone},
        {R | CR | Demand | Intervention | WWAN, ReachViaWWAN, ReachNone},
        {0xFFFFFFFF & ~R, ReachNone, ReachNone},  // nothing counts without Reachable
    };
    for (const auto& [flags, general, wifi] : cases) {
        EXPECT_EQ(std::pair(Reachability::networkStatusForFlags(flags),
                            Reachability::localWiFiStatusForFlags(flags)),
                  std::pair(general, wifi))
            << std::hex << "flags 0x" << flags;
    }
}

TEST(ReachabilityRulesTest, FlagWordFromTheRoute) {
    const std::pair<RouteLookup, std::optional<SCNetworkReachabilityFlags>> cases[] = {
        {RouteLookup::failure(), std::nullopt},
        {RouteLookup::none(), 0},
        {RouteLookup::found(Route{"eth0", true, false, false}), 0},  // interface down
        {test::viaGateway("wlan0"), R},
        {test::direct("eth0"), R | Direct},
        {test::viaGateway("wwan0", true), R | WWAN},
        {RouteLookup::found(Route{"ppp0", false, true, true}), R | Direct | WWAN},
    };
    for (const auto& [lookup, expected] : cases) {
        EXPECT_EQ(ReachabilityService::flagsForLookup(lookup), expected)
            << (lookup.route ? lookup.route->interfaceName : "no route");
    }
}

TEST(ReachabilityRulesTest, CellularInterfaces) {
    const std::tuple<const char*, std::uint16_t, const char*, bool> cases[] = {
        {"wwan0", ARPHRD_ETHER, "", true},           {"ppp0", ARPHRD_PPP, "", true},
        {"rmnet_data0", ARPHRD_RAWIP, "wwan", true}, {"eth0", ARPHRD_ETHER, "", false},
        {"wlan0", ARPHRD_ETHER, "wlan", false},      {"tun0", ARPHRD_NONE, "", false},
        {"rmnet_data0", ARPHRD_RAWIP, "", false},  // only the driver can say it is a modem
    };
    for (const auto& [name, type, deviceType, cellular] : cases) {
        EXPECT_EQ(KernelRoutingTable::isCellularInterface(name, type, deviceType), cellular)
            << name;
    }
}

}  // namespace
}  // namespace kesto
