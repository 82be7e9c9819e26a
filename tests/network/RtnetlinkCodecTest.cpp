#include <arpa/inet.h>
#include <linux/if_arp.h>
#include <linux/rtnetlink.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>
#include <libmnl/libmnl.h>

#include "network/RtnetlinkCodec.h"

namespace kesto {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Outcome = RtnetlinkCodec::Outcome;
constexpr std::uint32_t kSeq = 9;
constexpr std::uint32_t kPort = 4242;

// One message as the kernel would send it: header, fixed body, then the
// attributes `fill` adds.
template <typename Body>
Bytes message(std::uint16_t type, const Body& body, const std::function<void(nlmsghdr*)>& fill = {},
              std::uint32_t seq = kSeq) {
    Bytes bytes(512);
    nlmsghdr* header = mnl_nlmsg_put_header(bytes.data());
    header->nlmsg_type = type;
    header->nlmsg_seq = seq;
    header->nlmsg_pid = kPort;
    std::memcpy(mnl_nlmsg_put_extra_header(header, sizeof body), &body, sizeof body);
    if (fill) {
        fill(header);
    }
    bytes.resize(header->nlmsg_len);
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

rtmsg route(std::uint8_t type = RTN_UNICAST) {
    rtmsg body{};
    body.rtm_family = AF_INET;
    body.rtm_table = RT_TABLE_MAIN;
    body.rtm_type = type;
    return body;
}

const nlmsghdr& header(const Bytes& bytes) {
    return *reinterpret_cast<const nlmsghdr*>(bytes.data());
}

// Two paths: one through a gateway on 2, one direct on 5.
void putMultipath(nlmsghdr* header) {
    Bytes hops(sizeof(rtnexthop) + 8 + sizeof(rtnexthop));
    const rtnexthop viaGateway{static_cast<unsigned short>(sizeof(rtnexthop) + 8), 0, 0, 2};
    const rtnexthop direct{sizeof(rtnexthop), 0, 0, 5};
    const std::uint8_t gateway[8] = {8, 0, RTA_GATEWAY, 0, 10, 0, 0, 1};
    std::memcpy(hops.data(), &viaGateway, sizeof viaGateway);
    std::memcpy(hops.data() + sizeof(rtnexthop), gateway, sizeof gateway);
    std::memcpy(hops.data() + sizeof(rtnexthop) + 8, &direct, sizeof direct);
    mnl_attr_put(header, RTA_MULTIPATH, hops.size(), hops.data());
}

TEST(RtnetlinkCodecTest, RouteRequestOnTheWire) {
    in_addr destination{};
    destination.s_addr = htonl(0xC0000207);
    // clang-format off
    const Bytes expected = {
        36, 0, 0, 0, RTM_GETROUTE, 0, NLM_F_REQUEST, 0, 42, 0, 0, 0, 0, 0, 0, 0,  // header
        AF_INET, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                                 // to a /32
        8, 0, RTA_DST, 0, 192, 0, 2, 7};
    // clang-format on
    EXPECT_EQ(RtnetlinkCodec::routeRequest(42, destination), expected);
}

TEST(RtnetlinkCodecTest, ReadsADumpOfPlainAndMultipathRoutes) {
    const Bytes datagram = message(RTM_NEWROUTE, route(),
                                   [](nlmsghdr* h) {
                                       mnl_attr_put_u32(h, RTA_TABLE, RT_TABLE_MAIN);
                                       mnl_attr_put_u32(h, RTA_PRIORITY, 600);
                                       mnl_attr_put_u32(h, RTA_GATEWAY, htonl(0xC0000201));
                                       mnl_attr_put_u32(h, RTA_OIF, 4);
                                   }) +
                           message(RTM_NEWROUTE, route(), putMultipath) +
                           message(NLMSG_DONE, std::int32_t{0});

    std::vector<RtnetlinkCodec::RouteEntry> routes;
    int error = 0;
    const auto outcome = RtnetlinkCodec::readReplies(
        datagram, kSeq, kPort,
        [&](const nlmsghdr& m) {
            routes.push_back(RtnetlinkCodec::parseRoute(m).value_or(RtnetlinkCodec::RouteEntry{}));
            return true;
        },
        error);
    EXPECT_EQ(outcome, Outcome::Done);
    ASSERT_EQ(routes.size(), 2u);
    EXPECT_EQ(std::tuple(routes[0].table, routes[0].priority),
              std::tuple(std::uint32_t{RT_TABLE_MAIN}, 600u));
    const auto hops = [](const RtnetlinkCodec::RouteEntry& entry) {
        std::vector<std::pair<int, bool>> found;
        for (const auto& hop : entry.nextHops) {
            found.emplace_back(hop.interfaceIndex, hop.hasGateway);
        }
        return found;
    };
    EXPECT_EQ(hops(routes[0]), (std::vector<std::pair<int, bool>>{{4, true}}));
    EXPECT_EQ(hops(routes[1]), (std::vector<std::pair<int, bool>>{{2, true}, {5, false}}));
}

TEST(RtnetlinkCodecTest, HowADatagramOfRepliesEnds) {
    const auto errorReply = [](int code, std::uint32_t seq = kSeq) {
        nlmsgerr body{};
        body.error = -code;
        return message(NLMSG_ERROR, body, {}, seq);
    };
    Bytes interrupted = message(RTM_NEWROUTE, route());
    reinterpret_cast<nlmsghdr*>(interrupted.data())->nlmsg_flags |= NLM_F_DUMP_INTR;
    Bytes overrun = message(RTM_NEWROUTE, route()) + message(RTM_NEWROUTE, route());
    overrun[overrun.size() / 2] = 200;  // the second message claims more than is there
    const struct {
        const char* what;
        Bytes datagram;
        Outcome outcome;
        int error;
    } cases[] = {
        {"a part of a dump", message(RTM_NEWROUTE, route()), Outcome::More, 0},
        {"acknowledged", errorReply(0), Outcome::Done, 0},
        {"refused", errorReply(ENETUNREACH), Outcome::Refused, ENETUNREACH},
        {"a dump that failed", message(NLMSG_DONE, std::int32_t{-EBUSY}), Outcome::Refused, EBUSY},
        {"an earlier request's answer", errorReply(ENETUNREACH, kSeq - 1), Outcome::Stale, 0},
        {"an interrupted dump", interrupted, Outcome::Failed, 0},
        {"an error without its header", message(NLMSG_ERROR, std::int32_t{0}), Outcome::Failed, 0},
        {"a message overrunning the datagram", overrun, Outcome::Failed, 0},
        {"bytes after the last message", message(NLMSG_DONE, std::int32_t{0}) + Bytes(6),
         Outcome::Failed, 0},
    };
    for (const auto& c : cases) {
        int error = 0;
        EXPECT_EQ(RtnetlinkCodec::readReplies(
                      c.datagram, kSeq, kPort, [](const nlmsghdr&) { return true; }, error),
                  c.outcome)
            << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

TEST(RtnetlinkCodecTest, RefusesAttributesThatAreCutShortOrMalformed) {
    const Bytes good =
        message(RTM_NEWROUTE, route(), [](nlmsghdr* h) { mnl_attr_put_u32(h, RTA_OIF, 1); });
    constexpr std::size_t kFirstAttribute = NLMSG_HDRLEN + sizeof(rtmsg);
    const auto withLength = [&](std::uint16_t length) {
        Bytes bytes = good;
        std::memcpy(bytes.data() + kFirstAttribute, &length, sizeof length);
        return bytes;
    };
    Bytes badHop = message(RTM_NEWROUTE, route(), putMultipath);
    badHop[kFirstAttribute + 4] = 200;  // the first path overruns its attribute
    Bytes badHopGateway = message(RTM_NEWROUTE, route(), putMultipath);
    badHopGateway[kFirstAttribute + 4 + sizeof(rtnexthop)] = 40;  // its gateway overruns the path
    Bytes shortHeader = good;
    reinterpret_cast<nlmsghdr*>(shortHeader.data())->nlmsg_len = NLMSG_HDRLEN + 8;
    const struct {
        const char* what;
        Bytes route;
    } cases[] = {
        {"short header", shortHeader},
        {"attribute overrunning the message", withLength(64)},
        {"zero-length attribute", withLength(0)},
        {"interface index of two bytes", withLength(6)},
        {"path overrunning its attribute", badHop},
        {"path attribute overrunning its path", badHopGateway},
    };
    EXPECT_TRUE(RtnetlinkCodec::parseRoute(header(good)).has_value());
    for (const auto& c : cases) {
        EXPECT_FALSE(RtnetlinkCodec::parseRoute(header(c.route)).has_value()) << c.what;
    }

    // Links: a name without its NUL stays within its attribute; an empty one
    // is malformed, as is a short header.
    const auto link = [](const Bytes& name) {
        ifinfomsg info{};
        info.ifi_index = 3;
        info.ifi_type = ARPHRD_PPP;
        info.ifi_flags = IFF_UP;
        return message(RTM_NEWLINK, info, [&](nlmsghdr* h) {
            mnl_attr_put(h, IFLA_IFNAME, name.size(), name.data());
        });
    };
    const auto wwan = RtnetlinkCodec::parseLink(header(link({'w', 'w', 'a', 'n'})));
    ASSERT_TRUE(wwan.has_value());
    EXPECT_EQ(wwan->name, "wwan");
    EXPECT_EQ(std::tuple(wwan->index, wwan->type, wwan->flags),
              std::tuple(3, std::uint16_t{ARPHRD_PPP}, std::uint32_t{IFF_UP}));
    EXPECT_FALSE(RtnetlinkCodec::parseLink(header(link({}))).has_value());
    EXPECT_FALSE(RtnetlinkCodec::parseLink(header(message(RTM_NEWLINK, std::int32_t{3}))));
}

}  // namespace
}  // namespace kesto
