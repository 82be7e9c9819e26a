#pragma once

#include <cstdint>
#include <string>

#include "network/RoutingTable.h"

namespace kesto {

// The kernel's IPv4 routing state, asked over rtnetlink.
//
// - routeTo: RTM_GETROUTE for the address, the kernel's own choice (policy
//   rules included), then RTM_GETLINK for the outgoing interface.
// - defaultRoute: a dump of the IPv4 routes, keeping the unicast routes to
//   0.0.0.0/0 outside the local table, main table first, then by metric;
//   the first whose interface is up wins. (Asking the kernel to route
//   0.0.0.0 itself would answer "local".)
// - an interface is up when it is administratively up and has a carrier
//   (IFF_UP and IFF_RUNNING); it is cellular when isCellularInterface says so.
//
// Every query opens its own socket, so queries from several threads never
// share state. Unreachable, blackhole and prohibit routes count as no route.
//
// Threads: any thread, concurrently.
class KernelRoutingTable : public RoutingTable {
  public:
    // Where the interfaces' sysfs directories are (tests point it elsewhere).
    explicit KernelRoutingTable(std::string sysfsNetDirectory = "/sys/class/net");

    RouteLookup routeTo(in_addr destination) override;
    RouteLookup defaultRoute() override;
    std::unique_ptr<RouteWatch> openWatch() override;

    // Cellular links: names wwan* and ppp*, point-to-point links (ARPHRD_PPP),
    // and any interface whose driver declares the "wwan" device type in
    // sysfs (modem drivers do, whatever their link type: ARPHRD_RAWIP,
    // ARPHRD_NONE or Ethernet framing).
    static bool isCellularInterface(const std::string& name, std::uint16_t linkType,
                                    const std::string& deviceType);

    // The DEVTYPE of an interface's sysfs "uevent" file; empty when none.
    std::string deviceType(const std::string& interfaceName) const;

  private:
    std::string sysfsNetDirectory_;
};

}  // namespace kesto
