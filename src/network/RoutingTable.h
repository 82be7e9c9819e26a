#pragma once

#include <netinet/in.h>

#include <memory>
#include <optional>
#include <string>

#include "network/RouteWatch.h"

namespace kesto {

// The route the system would use for one destination, with what matters
// about its outgoing interface.
struct Route {
    std::string interfaceName;
    // The next hop is a gateway; without one the destination is on a
    // directly attached network (or is this machine).
    bool hasGateway = false;
    // The interface is up and has a carrier: packets can leave by it now.
    bool interfaceUp = false;
    // The interface is a cellular (WWAN) link.
    bool cellular = false;
};

// The answer to a route question: the route, no route at all, or no answer.
struct RouteLookup {
    // The routing state could not be read (the kernel could not be asked).
    bool failed = false;
    // Empty when the destination has no route.
    std::optional<Route> route;

    static RouteLookup failure() { return RouteLookup{true, std::nullopt}; }
    static RouteLookup none() { return RouteLookup{false, std::nullopt}; }
    static RouteLookup found(Route r) { return RouteLookup{false, std::move(r)}; }
};

// The machine's IPv4 routing state, behind an interface so that the
// reachability rules and the change notifier can be driven by a fake.
//
// Threads: implementations must allow every operation from any thread,
// concurrently.
class RoutingTable {
  public:
    virtual ~RoutingTable() = default;

    // The route to `destination` (network byte order), as the kernel would
    // choose it for a packet sent now.
    virtual RouteLookup routeTo(in_addr destination) = 0;
    // The general internet route: the default route the system would use.
    virtual RouteLookup defaultRoute() = 0;
    // Starts watching for changes of the routing state (routes, links,
    // addresses); nullptr when that cannot be done.
    virtual std::unique_ptr<RouteWatch> openWatch() = 0;
};

}  // namespace kesto
