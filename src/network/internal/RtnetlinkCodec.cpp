#include "network/internal/RtnetlinkCodec.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <libmnl/libmnl.h>

namespace kesto {
namespace {

// mnl_attr_parse stops quietly at the first attribute that does not fit, so
// the space is walked first: its attributes must fill it to the end (the
// last one's padding may be missing).
bool attributesFit(const void* data, std::size_t size) {
    if (size > INT_MAX) {
        return false;
    }
    auto left = static_cast<int>(size);
    const auto* attribute = static_cast<const nlattr*>(data);
    while (mnl_attr_ok(attribute, left)) {
        left -= MNL_ALIGN(attribute->nla_len);
        attribute = mnl_attr_next(attribute);
    }
    return left <= 0;
}

// A message whose header claims less than itself has no payload.
std::size_t payloadLength(const nlmsghdr& message) {
    return message.nlmsg_len < MNL_NLMSG_HDRLEN ? 0 : mnl_nlmsg_get_payload_len(&message);
}

// Parses the attributes that follow a message's fixed header of `headerSize`.
bool parseAttributes(const nlmsghdr& message, std::size_t headerSize, mnl_attr_cb_t onAttribute,
                     void* data) {
    const std::size_t payload = payloadLength(message);
    if (payload < MNL_ALIGN(headerSize)) {
        return false;
    }
    const void* attributes = mnl_nlmsg_get_payload_offset(&message, headerSize);
    const std::size_t size = payload - MNL_ALIGN(headerSize);
    return attributesFit(attributes, size) &&
           mnl_attr_parse_payload(attributes, size, onAttribute, data) >= MNL_CB_STOP;
}

bool isGateway(const nlattr* attribute) {
    const auto type = mnl_attr_get_type(attribute);
    return type == RTA_GATEWAY || type == RTA_VIA;
}

struct RouteParse {
    RtnetlinkCodec::RouteEntry route;
    RtnetlinkCodec::NextHop single;
    bool haveSingle = false;
};

// RTA_MULTIPATH: rtnexthop blocks (length u16, flags, hops, ifindex i32),
// each followed by its own attributes.
bool readMultipath(const nlattr* attribute, std::vector<RtnetlinkCodec::NextHop>& hops) {
    const auto* bytes = static_cast<const std::uint8_t*>(mnl_attr_get_payload(attribute));
    const std::size_t size = mnl_attr_get_payload_len(attribute);
    std::size_t at = 0;
    while (size - at >= sizeof(rtnexthop)) {
        rtnexthop hop{};
        std::memcpy(&hop, bytes + at, sizeof hop);
        if (hop.rtnh_len < sizeof(rtnexthop) || hop.rtnh_len > size - at) {
            return false;
        }
        RtnetlinkCodec::NextHop next{hop.rtnh_ifindex, false};
        const void* attributes = bytes + at + sizeof(rtnexthop);
        const std::size_t length = hop.rtnh_len - sizeof(rtnexthop);
        const auto onHopAttribute = [](const nlattr* a, void* data) {
            if (isGateway(a)) {
                *static_cast<bool*>(data) = true;
            }
            return MNL_CB_OK;
        };
        if (!attributesFit(attributes, length) ||
            mnl_attr_parse_payload(attributes, length, onHopAttribute, &next.hasGateway) < 0) {
            return false;
        }
        hops.push_back(next);
        at += RTNH_ALIGN(hop.rtnh_len);
        if (at > size) {
            break;  // the last block's padding may be missing
        }
    }
    return true;
}

int onRouteAttribute(const nlattr* attribute, void* data) {
    auto& parse = *static_cast<RouteParse*>(data);
    switch (mnl_attr_get_type(attribute)) {
        case RTA_TABLE:
        case RTA_PRIORITY:
        case RTA_OIF: {
            if (mnl_attr_validate(attribute, MNL_TYPE_U32) < 0) {
                return MNL_CB_ERROR;
            }
            const std::uint32_t value = mnl_attr_get_u32(attribute);
            if (mnl_attr_get_type(attribute) == RTA_TABLE) {
                parse.route.table = value;
            } else if (mnl_attr_get_type(attribute) == RTA_PRIORITY) {
                parse.route.priority = value;
            } else {
                parse.single.interfaceIndex = static_cast<int>(value);
                parse.haveSingle = true;
            }
            break;
        }
        case RTA_GATEWAY:
        case RTA_VIA:
            parse.single.hasGateway = true;
            break;
        case RTA_MULTIPATH:
            if (!readMultipath(attribute, parse.route.nextHops)) {
                return MNL_CB_ERROR;
            }
            break;
        default:
            break;
    }
    return MNL_CB_OK;
}

int onLinkAttribute(const nlattr* attribute, void* data) {
    if (mnl_attr_get_type(attribute) == IFLA_IFNAME) {
        if (mnl_attr_validate(attribute, MNL_TYPE_STRING) < 0) {
            return MNL_CB_ERROR;
        }
        // Within the attribute, whether or not the kernel put a NUL there.
        const char* text = mnl_attr_get_str(attribute);
        static_cast<std::string*>(data)->assign(text,
                                                strnlen(text, mnl_attr_get_payload_len(attribute)));
    }
    return MNL_CB_OK;
}

struct ReplyRun {
    const RtnetlinkCodec::MessageHandler* onMessage;
    bool malformed = false;
    int error = 0;
};

int onData(const nlmsghdr* message, void* data) {
    return (*static_cast<ReplyRun*>(data)->onMessage)(*message) ? MNL_CB_OK : MNL_CB_STOP;
}

// An error message: the negative errno, then the offending request's header.
int onError(const nlmsghdr* message, void* data) {
    auto& run = *static_cast<ReplyRun*>(data);
    if (mnl_nlmsg_get_payload_len(message) < sizeof(nlmsgerr)) {
        run.malformed = true;
        return MNL_CB_ERROR;
    }
    nlmsgerr error{};
    std::memcpy(&error, mnl_nlmsg_get_payload(message), sizeof error);
    run.error = error.error < 0 ? -error.error : error.error;  // 0: an acknowledgement
    return MNL_CB_STOP;
}

// The end of a dump, with the dump's own error when it failed on the way.
int onDone(const nlmsghdr* message, void* data) {
    std::int32_t status = 0;
    if (mnl_nlmsg_get_payload_len(message) >= sizeof status) {
        std::memcpy(&status, mnl_nlmsg_get_payload(message), sizeof status);
    }
    static_cast<ReplyRun*>(data)->error = status < 0 ? -status : 0;
    return MNL_CB_STOP;
}

// A request: header, fixed body, then attributes, built in place.
class Request {
  public:
    template <typename Body>
    Request(std::uint16_t type, std::uint16_t flags, std::uint32_t seq, const Body& body)
        : bytes_(kSpace), header_(mnl_nlmsg_put_header(bytes_.data())) {
        header_->nlmsg_type = type;
        header_->nlmsg_flags = flags;
        header_->nlmsg_seq = seq;
        std::memcpy(mnl_nlmsg_put_extra_header(header_, sizeof body), &body, sizeof body);
    }
    nlmsghdr* header() { return header_; }
    std::vector<std::uint8_t> take() && {
        bytes_.resize(header_->nlmsg_len);
        return std::move(bytes_);
    }

  private:
    // Room for the largest request: header, rtmsg, one address.
    static constexpr std::size_t kSpace = 64;
    std::vector<std::uint8_t> bytes_;
    nlmsghdr* header_;
};

}  // namespace

RtnetlinkCodec::Outcome RtnetlinkCodec::readReplies(std::span<const std::uint8_t> datagram,
                                                    std::uint32_t seq, std::uint32_t portId,
                                                    const MessageHandler& onMessage, int& error) {
    // mnl_cb_run stops quietly at a message that does not fit: every message
    // must fit before any is used.
    if (datagram.size() > INT_MAX) {
        return Outcome::Failed;
    }
    auto left = static_cast<int>(datagram.size());
    const auto* message = reinterpret_cast<const nlmsghdr*>(datagram.data());
    while (mnl_nlmsg_ok(message, left)) {
        message = mnl_nlmsg_next(message, &left);
    }
    if (left > 0) {
        return Outcome::Failed;
    }
    ReplyRun run{&onMessage};
    mnl_cb_t controls[NLMSG_MIN_TYPE] = {};
    controls[NLMSG_ERROR] = onError;
    controls[NLMSG_DONE] = onDone;
    errno = 0;
    const int result = mnl_cb_run2(datagram.data(), datagram.size(), seq, portId, onData, &run,
                                   controls, NLMSG_MIN_TYPE);
    if (run.malformed) {
        return Outcome::Failed;
    }
    if (run.error != 0) {
        error = run.error;
        return Outcome::Refused;
    }
    if (result == MNL_CB_ERROR) {
        // EPROTO: another sequence number. ESRCH: another port; EINTR: the
        // dump was interrupted by a change, so its parts do not agree.
        return errno == EPROTO ? Outcome::Stale : Outcome::Failed;
    }
    return result == MNL_CB_STOP ? Outcome::Done : Outcome::More;
}

std::optional<RtnetlinkCodec::RouteEntry> RtnetlinkCodec::parseRoute(const nlmsghdr& message) {
    if (payloadLength(message) < sizeof(rtmsg)) {
        return std::nullopt;
    }
    rtmsg header{};
    std::memcpy(&header, mnl_nlmsg_get_payload(&message), sizeof header);
    RouteParse parse;
    parse.route.family = header.rtm_family;
    parse.route.dstLength = header.rtm_dst_len;
    parse.route.table = header.rtm_table;
    parse.route.type = header.rtm_type;
    if (!parseAttributes(message, sizeof(rtmsg), onRouteAttribute, &parse)) {
        return std::nullopt;
    }
    if (parse.haveSingle) {
        parse.route.nextHops.insert(parse.route.nextHops.begin(), parse.single);
    }
    return std::move(parse.route);
}

std::optional<RtnetlinkCodec::LinkEntry> RtnetlinkCodec::parseLink(const nlmsghdr& message) {
    if (payloadLength(message) < sizeof(ifinfomsg)) {
        return std::nullopt;
    }
    ifinfomsg header{};
    std::memcpy(&header, mnl_nlmsg_get_payload(&message), sizeof header);
    LinkEntry link;
    link.index = header.ifi_index;
    link.type = header.ifi_type;
    link.flags = header.ifi_flags;
    if (!parseAttributes(message, sizeof(ifinfomsg), onLinkAttribute, &link.name)) {
        return std::nullopt;
    }
    return link;
}

std::vector<std::uint8_t> RtnetlinkCodec::routeRequest(std::uint32_t seq, in_addr destination) {
    rtmsg body{};
    body.rtm_family = AF_INET;
    body.rtm_dst_len = 32;
    Request request(RTM_GETROUTE, NLM_F_REQUEST, seq, body);
    mnl_attr_put(request.header(), RTA_DST, sizeof destination, &destination);
    return std::move(request).take();
}

std::vector<std::uint8_t> RtnetlinkCodec::routeDumpRequest(std::uint32_t seq) {
    rtmsg body{};
    body.rtm_family = AF_INET;
    return Request(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, seq, body).take();
}

std::vector<std::uint8_t> RtnetlinkCodec::linkRequest(std::uint32_t seq, int interfaceIndex) {
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    body.ifi_index = interfaceIndex;
    return Request(RTM_GETLINK, NLM_F_REQUEST, seq, body).take();
}

}  // namespace kesto
