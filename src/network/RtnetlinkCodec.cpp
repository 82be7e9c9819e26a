#include "network/RtnetlinkCodec.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cstring>

namespace kesto {
namespace {

constexpr std::size_t align4(std::size_t n) {
    return (n + 3) & ~std::size_t{3};
}

template <typename T>
T readAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// Calls `visit(type, value)` for every attribute in `bytes`; false when one
// is malformed.
template <typename Visit>
bool forEachAttribute(std::span<const std::uint8_t> bytes, Visit visit) {
    std::size_t offset = 0;
    while (bytes.size() - offset >= sizeof(rtattr)) {
        const auto header = readAt<rtattr>(bytes, offset);
        if (header.rta_len < sizeof(rtattr) || header.rta_len > bytes.size() - offset) {
            return false;
        }
        visit(static_cast<std::uint16_t>(header.rta_type & NLA_TYPE_MASK),
              bytes.subspan(offset + sizeof(rtattr), header.rta_len - sizeof(rtattr)));
        offset += align4(header.rta_len);
        if (offset > bytes.size()) {
            break;  // the last attribute's padding may be missing
        }
    }
    return true;
}

std::optional<std::uint32_t> readU32(std::span<const std::uint8_t> value) {
    if (value.size() < sizeof(std::uint32_t)) {
        return std::nullopt;
    }
    return readAt<std::uint32_t>(value, 0);
}

void appendAttribute(std::vector<std::uint8_t>& message, std::uint16_t type, const void* value,
                     std::size_t size) {
    rtattr header{};
    header.rta_len = static_cast<unsigned short>(sizeof(rtattr) + size);
    header.rta_type = type;
    const std::size_t at = message.size();
    message.resize(at + align4(header.rta_len));
    std::memcpy(message.data() + at, &header, sizeof header);
    std::memcpy(message.data() + at + sizeof header, value, size);
}

// A request: nlmsghdr, then `body`, the length filled in by finish().
template <typename Body>
std::vector<std::uint8_t> start(std::uint16_t type, std::uint16_t flags, std::uint32_t seq,
                                const Body& body) {
    std::vector<std::uint8_t> message(NLMSG_HDRLEN + align4(sizeof(Body)));
    nlmsghdr header{};
    header.nlmsg_type = type;
    header.nlmsg_flags = flags;
    header.nlmsg_seq = seq;
    std::memcpy(message.data(), &header, sizeof header);
    std::memcpy(message.data() + NLMSG_HDRLEN, &body, sizeof body);
    return message;
}

std::vector<std::uint8_t> finish(std::vector<std::uint8_t> message) {
    const auto length = static_cast<std::uint32_t>(message.size());
    std::memcpy(message.data() + offsetof(nlmsghdr, nlmsg_len), &length, sizeof length);
    return message;
}

}  // namespace

bool RtnetlinkCodec::splitMessages(std::span<const std::uint8_t> datagram,
                                   std::vector<Message>& out) {
    std::size_t offset = 0;
    while (datagram.size() - offset >= sizeof(nlmsghdr)) {
        const auto header = readAt<nlmsghdr>(datagram, offset);
        if (header.nlmsg_len < NLMSG_HDRLEN || header.nlmsg_len > datagram.size() - offset) {
            return false;
        }
        out.push_back(
            Message{header.nlmsg_type, header.nlmsg_flags, header.nlmsg_seq,
                    datagram.subspan(offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN)});
        offset += align4(header.nlmsg_len);
        if (offset > datagram.size()) {
            break;
        }
    }
    return offset >= datagram.size();
}

std::optional<int> RtnetlinkCodec::errorCode(const Message& message) {
    if (message.type != NLMSG_ERROR || message.payload.size() < sizeof(std::int32_t)) {
        return std::nullopt;
    }
    const auto error = readAt<std::int32_t>(message.payload, 0);
    return error == 0 ? 0 : (error < 0 ? -error : error);
}

std::optional<RtnetlinkCodec::RouteEntry> RtnetlinkCodec::parseRoute(
    std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof(rtmsg)) {
        return std::nullopt;
    }
    const auto header = readAt<rtmsg>(payload, 0);
    RouteEntry route;
    route.family = header.rtm_family;
    route.dstLength = header.rtm_dst_len;
    route.table = header.rtm_table;
    route.type = header.rtm_type;
    NextHop single;
    bool haveSingle = false;
    bool ok = true;
    const auto attributes = payload.subspan(std::min(payload.size(), align4(sizeof(rtmsg))));
    const bool wellFormed = forEachAttribute(attributes, [&](std::uint16_t type, auto value) {
        switch (type) {
            case RTA_TABLE:
                if (auto table = readU32(value)) {
                    route.table = *table;
                }
                break;
            case RTA_PRIORITY:
                if (auto priority = readU32(value)) {
                    route.priority = *priority;
                }
                break;
            case RTA_OIF:
                if (auto index = readU32(value)) {
                    single.interfaceIndex = static_cast<int>(*index);
                    haveSingle = true;
                }
                break;
            case RTA_GATEWAY:
            case RTA_VIA:
                single.hasGateway = true;
                break;
            case RTA_MULTIPATH: {
                // rtnexthop blocks (8: length u16, flags, hops, ifindex i32),
                // each followed by its own attributes.
                std::size_t at = 0;
                while (value.size() - at >= sizeof(rtnexthop)) {
                    const auto hop = readAt<rtnexthop>(value, at);
                    if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > value.size() - at) {
                        ok = false;
                        break;
                    }
                    NextHop next{hop.rtnh_ifindex, false};
                    ok = ok && forEachAttribute(value.subspan(at + sizeof(rtnexthop),
                                                              hop.rtnh_len - sizeof(rtnexthop)),
                                                [&](std::uint16_t t, auto) {
                                                    if (t == RTA_GATEWAY || t == RTA_VIA) {
                                                        next.hasGateway = true;
                                                    }
                                                });
                    route.nextHops.push_back(next);
                    at += align4(hop.rtnh_len);
                    if (at > value.size()) {
                        break;
                    }
                }
                break;
            }
            default:
                break;
        }
    });
    if (!wellFormed || !ok) {
        return std::nullopt;
    }
    if (haveSingle) {
        route.nextHops.insert(route.nextHops.begin(), single);
    }
    return route;
}

std::optional<RtnetlinkCodec::LinkEntry> RtnetlinkCodec::parseLink(
    std::span<const std::uint8_t> payload) {
    if (payload.size() < sizeof(ifinfomsg)) {
        return std::nullopt;
    }
    const auto header = readAt<ifinfomsg>(payload, 0);
    LinkEntry link;
    link.index = header.ifi_index;
    link.type = header.ifi_type;
    link.flags = header.ifi_flags;
    const bool wellFormed = forEachAttribute(
        payload.subspan(align4(sizeof(ifinfomsg))), [&](std::uint16_t type, auto value) {
            if (type == IFLA_IFNAME) {
                const auto* text = reinterpret_cast<const char*>(value.data());
                link.name.assign(text, strnlen(text, value.size()));
            }
        });
    if (!wellFormed) {
        return std::nullopt;
    }
    return link;
}

std::vector<std::uint8_t> RtnetlinkCodec::routeRequest(std::uint32_t seq, in_addr destination) {
    rtmsg body{};
    body.rtm_family = AF_INET;
    body.rtm_dst_len = 32;
    auto message = start(RTM_GETROUTE, NLM_F_REQUEST, seq, body);
    appendAttribute(message, RTA_DST, &destination, sizeof destination);
    return finish(std::move(message));
}

std::vector<std::uint8_t> RtnetlinkCodec::routeDumpRequest(std::uint32_t seq) {
    rtmsg body{};
    body.rtm_family = AF_INET;
    return finish(start(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, seq, body));
}

std::vector<std::uint8_t> RtnetlinkCodec::linkRequest(std::uint32_t seq, int interfaceIndex) {
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    body.ifi_index = interfaceIndex;
    return finish(start(RTM_GETLINK, NLM_F_REQUEST, seq, body));
}

}  // namespace kesto
