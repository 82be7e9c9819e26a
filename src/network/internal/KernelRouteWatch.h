#pragma once

#include <memory>

#include "network/RouteWatch.h"
#include "network/internal/NetlinkSocket.h"
#include "platform/UniqueFd.h"

namespace kesto {

// Changes of the kernel's routing state, from a netlink socket subscribed to
// IPv4 routes, links and IPv4 addresses; an eventfd wakes the waiter to stop.
//
// Threads: as RouteWatch.
class KernelRouteWatch : public RouteWatch {
  public:
    // nullptr when the sockets cannot be opened.
    static std::unique_ptr<KernelRouteWatch> open();
    // Takes ownership of both: the subscribed socket and the eventfd.
    KernelRouteWatch(std::unique_ptr<NetlinkSocket> socket, UniqueFd wakeFd);

    bool wait() override;
    void interrupt() override;

  private:
    std::unique_ptr<NetlinkSocket> socket_;
    UniqueFd wakeFd_;
};

}  // namespace kesto
