#pragma once

#include <cstdint>

namespace kesto {

// The reachability flag word and the three-valued status made from it.
//
// The bits keep the values and names that reachability services use, so a
// flag word printed by `kesto network` reads the same as on other systems.
// On Linux only Reachable, IsDirect and IsWWAN are ever set (see
// ReachabilityService); the rules still honour the others.

using SCNetworkReachabilityFlags = std::uint32_t;

// The target can be reached with the current configuration.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsReachable = 0x2;
// A connection must first be established.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionRequired = 0x4;
// The connection comes up on traffic.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnTraffic = 0x8;
// The user must act to establish the connection.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsInterventionRequired = 0x10;
// The connection comes up on demand.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsConnectionOnDemand = 0x20;
// The target is on a directly attached network (the route has no gateway).
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsDirect = 0x20000;
// The route goes over the cellular link.
inline constexpr SCNetworkReachabilityFlags kSCNetworkReachabilityFlagsIsWWAN = 0x40000;

// A plain integer on purpose: callers compare and print it as a number.
enum ReachStatus : int {
    ReachNone = 0,     // not reachable
    ReachViaWiFi = 1,  // reachable without the cellular link
    ReachViaWWAN = 2,  // reachable over the cellular link
};

}  // namespace kesto
