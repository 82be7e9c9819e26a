#pragma once

#include <netinet/in.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "network/HostResolver.h"
#include "network/ReachabilityFlags.h"
#include "network/RoutingTable.h"

namespace kesto {

class ReachabilityHandle;

// Linux's stand-in for a network reachability service: creates handles for
// targets and reads their flag words from the routing state.
//
// The flag word of a target, from the route the system would use for it:
// - no route, or its interface down or gone: 0 (not reachable);
// - otherwise Reachable, plus IsDirect when the route has no gateway (the
//   target is on an attached network, or is this machine), plus IsWWAN when
//   the interface is cellular.
// ConnectionRequired, ConnectionOnTraffic, ConnectionOnDemand and
// InterventionRequired stay clear: Linux brings no link up on demand.
// The address 0.0.0.0 stands for the general internet route, judged from the
// default route. A host name is judged from the route to its first IPv4
// address; a name that does not resolve makes the read fail.
//
// Threads: any thread, concurrently. The service must outlive its handles.
class ReachabilityService {
  public:
    ReachabilityService(std::unique_ptr<RoutingTable> routingTable,
                        std::unique_ptr<HostResolver> resolver);
    ~ReachabilityService();
    ReachabilityService(const ReachabilityService&) = delete;
    ReachabilityService& operator=(const ReachabilityService&) = delete;

    // The service monitors use unless told otherwise: the kernel's, or the
    // one installed with setDefaultService.
    static ReachabilityService& defaultService();
    // Installs `service` (not owned) as the default; nullptr restores the
    // kernel's. For tests; not while monitors of the old default live.
    static void setDefaultService(ReachabilityService* service);

    // A handle for a host name; none for an empty name or one holding NUL.
    std::unique_ptr<ReachabilityHandle> createWithName(std::string_view hostName);
    // A handle for an IPv4 socket address; none for another family.
    std::unique_ptr<ReachabilityHandle> createWithAddress(const sockaddr_in& address);

    // The flag word for an address (network byte order); empty when the
    // routing state cannot be read.
    std::optional<SCNetworkReachabilityFlags> flagsForAddress(in_addr address);
    // The flag word for a host name; empty when the name does not resolve or
    // the routing state cannot be read. May wait for the resolver.
    std::optional<SCNetworkReachabilityFlags> flagsForHostName(const std::string& hostName);

    std::unique_ptr<RouteWatch> openWatch();

    // The flag word that a route answer gives.
    static std::optional<SCNetworkReachabilityFlags> flagsForLookup(const RouteLookup& lookup);

  private:
    std::unique_ptr<RoutingTable> routingTable_;
    std::unique_ptr<HostResolver> resolver_;
};

}  // namespace kesto
