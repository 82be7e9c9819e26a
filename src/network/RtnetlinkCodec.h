#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kesto {

// The bytes of the rtnetlink messages this program exchanges with the
// kernel: the requests it builds and the replies it reads. Replies are read
// field by field with bounds checks (never cast in place), so a short or
// malformed message is refused instead of read past its end.
//
// Wire layout (host byte order, every block padded to 4 bytes):
//   nlmsghdr (16: length, type, flags, sequence, port id), then the payload:
//   route: rtmsg (12: family, dst_len, src_len, tos, table, protocol, scope,
//          type, flags u32) followed by rtattr (4: length, type) + value;
//   link:  ifinfomsg (16: family, pad, type u16, index i32, flags u32,
//          change u32) followed by rtattr blocks;
//   error: the negative errno (i32) followed by the offending request's header.
//
// Threads: stateless; any thread.
class RtnetlinkCodec {
  public:
    struct Message {
        std::uint16_t type = 0;
        std::uint16_t flags = 0;
        std::uint32_t seq = 0;
        std::span<const std::uint8_t> payload;
    };

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

    // Splits one received datagram into its messages. False when a message
    // is malformed; the messages before it are kept.
    static bool splitMessages(std::span<const std::uint8_t> datagram, std::vector<Message>& out);

    // For an NLMSG_ERROR message: the positive errno, 0 for an acknowledgement.
    static std::optional<int> errorCode(const Message& message);
    static std::optional<RouteEntry> parseRoute(std::span<const std::uint8_t> payload);
    static std::optional<LinkEntry> parseLink(std::span<const std::uint8_t> payload);

    // RTM_GETROUTE for the route the kernel would pick for `destination`.
    static std::vector<std::uint8_t> routeRequest(std::uint32_t seq, in_addr destination);
    // RTM_GETROUTE dump of every IPv4 route.
    static std::vector<std::uint8_t> routeDumpRequest(std::uint32_t seq);
    // RTM_GETLINK for one interface.
    static std::vector<std::uint8_t> linkRequest(std::uint32_t seq, int interfaceIndex);
};

}  // namespace kesto
