#pragma once

#include <netinet/in.h>

#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "network/ReachabilityFlags.h"
#include "network/RouteWatch.h"

namespace kesto {

class ReachabilityService;

// The service's handle for one target: a host name or an IPv4 address.
// Made by ReachabilityService::createWithName / createWithAddress.
//
// Threads: immutable; any thread, concurrently.
class ReachabilityHandle {
  public:
    ReachabilityHandle(ReachabilityService& service, std::string hostName);
    ReachabilityHandle(ReachabilityService& service, in_addr address);

    // The target's current flag word; empty when it cannot be read.
    std::optional<SCNetworkReachabilityFlags> getFlags() const;
    // Changes of the routing state that may change the flag word.
    std::unique_ptr<RouteWatch> openWatch() const;

    const std::variant<std::string, in_addr>& target() const { return target_; }

  private:
    ReachabilityService* service_;
    std::variant<std::string, in_addr> target_;
};

}  // namespace kesto
