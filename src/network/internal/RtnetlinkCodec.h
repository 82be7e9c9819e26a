#pragma once

#include <linux/netlink.h>
#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kesto {

// The rtnetlink messages this program exchanges with the kernel: the
// requests it builds and the replies it reads, both through libmnl. A
// reply is checked whole before anything of it is used: every message must
// fit the datagram and carry the request's sequence number and port, every
// attribute must fit its message, and the attributes read must have their
// type's size. Anything cut short or malformed is refused, never read past
// its end.
//
// Threads: stateless; any thread.
class RtnetlinkCodec {
  public:
    struct NextHop {
        int interfaceIndex = 0;
        bool hasGateway = false;
    };

    // One route (RTM_NEWROUTE).
    struct RouteEntry {
        std::uint8_t family = 0;
        std::uint8_t dstLength = 0;
        std::uint32_t table = 0;  // RTA_TABLE when present, else the header's byte
        std::uint8_t type = 0;    // RTN_UNICAST, RTN_LOCAL, RTN_UNREACHABLE...
        std::uint32_t priority = 0;
        // One entry for a plain route (RTA_OIF, RTA_GATEWAY), one per path of
        // a multipath route (RTA_MULTIPATH).
        std::vector<NextHop> nextHops;
    };

    // One network interface (RTM_NEWLINK).
    struct LinkEntry {
        int index = 0;
        std::uint16_t type = 0;   // ARPHRD_*
        std::uint32_t flags = 0;  // IFF_*
        std::string name;
    };

    // Gets each data message of a reply; returns true while more are expected.
    using MessageHandler = std::function<bool(const nlmsghdr&)>;

    // How one datagram of replies ended.
    enum class Outcome {
        More,     // every message was read; the reply goes on in the next datagram
        Done,     // the handler, an NLMSG_DONE or an acknowledgement ended the exchange
        Refused,  // the kernel answered with an error (its errno in `error`)
        Stale,    // the answer to an earlier, abandoned request: skip it
        Failed    // cut short, malformed, from another port, or an interrupted dump
    };

    // Runs the messages of one received datagram through `onMessage`,
    // checking them against the request's `seq` and the socket's `portId`.
    static Outcome readReplies(std::span<const std::uint8_t> datagram, std::uint32_t seq,
                               std::uint32_t portId, const MessageHandler& onMessage, int& error);

    // Read a message readReplies handed over (so it lies within its
    // datagram); nullopt when it is not well formed.
    static std::optional<RouteEntry> parseRoute(const nlmsghdr& message);
    static std::optional<LinkEntry> parseLink(const nlmsghdr& message);

    // RTM_GETROUTE for the route the kernel would pick for `destination`.
    static std::vector<std::uint8_t> routeRequest(std::uint32_t seq, in_addr destination);
    // RTM_GETROUTE dump of every IPv4 route.
    static std::vector<std::uint8_t> routeDumpRequest(std::uint32_t seq);
    // RTM_GETLINK for one interface.
    static std::vector<std::uint8_t> linkRequest(std::uint32_t seq, int interfaceIndex);
};

}  // namespace kesto
