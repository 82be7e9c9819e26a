#include "network/internal/KernelRoutingTable.h"

#include <linux/if_arp.h>
#include <linux/rtnetlink.h>

#include <algorithm>
#include <fstream>

#include "network/internal/KernelRouteWatch.h"
#include "network/internal/NetlinkSocket.h"

namespace kesto {
namespace {

// Route types that carry packets somewhere (as opposed to unreachable,
// blackhole, prohibit, throw).
bool carriesPackets(std::uint8_t type) {
    return type == RTN_UNICAST || type == RTN_LOCAL || type == RTN_BROADCAST ||
           type == RTN_ANYCAST || type == RTN_MULTICAST;
}

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

KernelRoutingTable::KernelRoutingTable(std::string sysfsNetDirectory)
    : sysfsNetDirectory_(std::move(sysfsNetDirectory)) {}

bool KernelRoutingTable::isCellularInterface(const std::string& name, std::uint16_t linkType,
                                             const std::string& deviceType) {
    return startsWith(name, "wwan") || startsWith(name, "ppp") || linkType == ARPHRD_PPP ||
           deviceType == "wwan";
}

std::string KernelRoutingTable::deviceType(const std::string& interfaceName) const {
    // The name comes from the kernel, but it still must not walk out of sysfs.
    if (interfaceName.empty() || interfaceName == "." || interfaceName == ".." ||
        interfaceName.find('/') != std::string::npos) {
        return {};
    }
    std::ifstream uevent(sysfsNetDirectory_ + "/" + interfaceName + "/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (startsWith(line, "DEVTYPE=")) {
            return line.substr(8);
        }
    }
    return {};
}

namespace {

// The interface behind `interfaceIndex`, described as a Route's interface
// part; nullopt when the exchange failed.
std::optional<Route> describeInterface(NetlinkSocket& socket, const KernelRoutingTable& table,
                                       int interfaceIndex, bool hasGateway) {
    const auto seq = NetlinkSocket::nextSequence();
    std::optional<RtnetlinkCodec::LinkEntry> link;
    int error = 0;
    const auto outcome = socket.transact(
        RtnetlinkCodec::linkRequest(seq, interfaceIndex), seq,
        [&](const nlmsghdr& message) {
            if (message.nlmsg_type == RTM_NEWLINK) {
                link = RtnetlinkCodec::parseLink(message);
            }
            return false;
        },
        error);
    Route route;
    route.hasGateway = hasGateway;
    if (outcome == RtnetlinkCodec::Outcome::Refused) {
        return route;  // gone meanwhile, so not up: nothing leaves by it
    }
    if (outcome != RtnetlinkCodec::Outcome::Done || !link) {
        return std::nullopt;
    }
    route.interfaceName = link->name;
    route.interfaceUp = (link->flags & IFF_UP) && (link->flags & IFF_RUNNING);
    route.cellular = KernelRoutingTable::isCellularInterface(link->name, link->type,
                                                             table.deviceType(link->name));
    return route;
}

}  // namespace

RouteLookup KernelRoutingTable::routeTo(in_addr destination) {
    NetlinkSocket socket;
    if (!socket.isOpen()) {
        return RouteLookup::failure();
    }
    const auto seq = NetlinkSocket::nextSequence();
    std::optional<RtnetlinkCodec::RouteEntry> entry;
    int error = 0;
    const auto outcome = socket.transact(
        RtnetlinkCodec::routeRequest(seq, destination), seq,
        [&](const nlmsghdr& message) {
            if (message.nlmsg_type == RTM_NEWROUTE) {
                entry = RtnetlinkCodec::parseRoute(message);
            }
            return false;
        },
        error);
    if (outcome == RtnetlinkCodec::Outcome::Refused) {
        // ENETUNREACH, EHOSTUNREACH, EACCES...: the kernel has no usable
        // route for it.
        return RouteLookup::none();
    }
    if (outcome != RtnetlinkCodec::Outcome::Done || !entry) {
        return RouteLookup::failure();
    }
    if (!carriesPackets(entry->type) || entry->nextHops.empty()) {
        return RouteLookup::none();
    }
    const auto& hop = entry->nextHops.front();
    auto route = describeInterface(socket, *this, hop.interfaceIndex, hop.hasGateway);
    return route ? RouteLookup::found(std::move(*route)) : RouteLookup::failure();
}

RouteLookup KernelRoutingTable::defaultRoute() {
    NetlinkSocket socket;
    if (!socket.isOpen()) {
        return RouteLookup::failure();
    }
    struct Candidate {
        bool mainTable;
        std::uint32_t priority;
        RtnetlinkCodec::NextHop hop;
    };
    std::vector<Candidate> candidates;
    const auto seq = NetlinkSocket::nextSequence();
    int error = 0;
    const auto outcome = socket.transact(
        RtnetlinkCodec::routeDumpRequest(seq), seq,
        [&](const nlmsghdr& message) {
            if (message.nlmsg_type != RTM_NEWROUTE) {
                return true;
            }
            const auto entry = RtnetlinkCodec::parseRoute(message);
            if (entry && entry->family == AF_INET && entry->dstLength == 0 &&
                entry->type == RTN_UNICAST && entry->table != RT_TABLE_LOCAL) {
                for (const auto& hop : entry->nextHops) {
                    candidates.push_back({entry->table == RT_TABLE_MAIN, entry->priority, hop});
                }
            }
            return true;
        },
        error);
    if (outcome != RtnetlinkCodec::Outcome::Done) {
        return RouteLookup::failure();
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) {
        return a.mainTable != b.mainTable ? a.mainTable : a.priority < b.priority;
    });
    std::optional<Route> firstDown;
    for (const auto& candidate : candidates) {
        auto route = describeInterface(socket, *this, candidate.hop.interfaceIndex,
                                       candidate.hop.hasGateway);
        if (!route) {
            return RouteLookup::failure();
        }
        if (route->interfaceUp) {
            return RouteLookup::found(std::move(*route));
        }
        if (!firstDown) {
            firstDown = std::move(route);
        }
    }
    return firstDown ? RouteLookup::found(std::move(*firstDown)) : RouteLookup::none();
}

std::unique_ptr<RouteWatch> KernelRoutingTable::openWatch() {
    return KernelRouteWatch::open();
}

}  // namespace kesto
