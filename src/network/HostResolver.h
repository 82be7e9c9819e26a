#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>

namespace kesto {

// Turns a host name into the IPv4 address whose route decides its
// reachability.
//
// Threads: any thread, concurrently.
class HostResolver {
  public:
    virtual ~HostResolver() = default;

    // The first IPv4 address of `hostName`, or empty when it does not
    // resolve (or not in time).
    virtual std::optional<in_addr> resolve(const std::string& hostName) = 0;
};

}  // namespace kesto
