#include <arpa/inet.h>
#include <linux/if_arp.h>
#include <linux/rtnetlink.h>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>
#include <libmnl/libmnl.h>

#include "network/internal/RtnetlinkCodec.h"

namespace kesto {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Outcome = RtnetlinkCodec::Outcome;
constexpr std::uint32_t kSeq = 9, kPort = 4242;

// A message as the kernel sends it: header, body, the attributes `fill` adds.
template <typename Body>
Bytes message(
    std::uint16_t type, const Body& body,
    const std::function<void(nlmsghdr*)>& fill = [](nlmsghdr*) {}) {
    Bytes bytes(512);
    nlmsghdr* header = mnl_nlmsg_put_header(bytes.data());
    header->nlmsg_type = type;
    header->nlmsg_seq = kSeq;
    header->nlmsg_pid = kPort;
    std::memcpy(mnl_nlmsg_put_extra_header(header, sizeof body), &body, sizeof body);
    fill(header);
    bytes.resize(header->nlmsg_len);
    return bytes;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

constexpr rtmsg kRoute{AF_INET,           0,           0, 0, RT_TABLE_MAIN, RTPROT_UNSPEC,
                       RT_SCOPE_UNIVERSE, RTN_UNICAST, 0};

Bytes patched(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

const nlmsghdr& header(const Bytes& bytes) {
    return *reinterpret_cast<const nlmsghdr*>(bytes.data());
}

// Two paths (length, flags, hops, interface): through a gateway on 2, direct on 5.
void putMultipath(nlmsghdr* header) {
    const std::uint8_t hops[] = {16, 0, 0, 0, 2, 0, 0, 0, 8, 0, RTA_GATEWAY, 0,
                                 10, 0, 0, 1, 8, 0, 0, 0, 5, 0, 0,           0};
    mnl_attr_put(header, RTA_MULTIPATH, sizeof hops, hops);
}

// Table from RTA_TABLE or the header; hops plain or multipath.
TEST(RtnetlinkCodecTest, ReadsADumpOfPlainAndMultipathRoutes) {
    const Bytes datagram = message(RTM_NEWROUTE, kRoute,
                                   [](nlmsghdr* h) {
                                       mnl_attr_put_u32(h, RTA_TABLE, 1000);
                                       mnl_attr_put_u32(h, RTA_PRIORITY, 600);
                                       mnl_attr_put_u32(h, RTA_GATEWAY, htonl(0xC0000201));
                                       mnl_attr_put_u32(h, RTA_OIF, 4);
                                   }) +
                           message(RTM_NEWROUTE, kRoute, putMultipath) +
                           message(NLMSG_DONE, std::int32_t{0});
    using Hops = std::vector<std::pair<int, bool>>;
    std::vector<std::tuple<std::uint32_t, std::uint32_t, Hops>> routes;
    int error = 0;
    const auto outcome = RtnetlinkCodec::readReplies(
        datagram, kSeq, kPort,
        [&](const nlmsghdr& m) {
            const auto entry = RtnetlinkCodec::parseRoute(m).value_or(RtnetlinkCodec::RouteEntry{});
            Hops hops;
            for (const auto& hop : entry.nextHops) {
                hops.emplace_back(hop.interfaceIndex, hop.hasGateway);
            }
            routes.emplace_back(entry.table, entry.priority, hops);
            return true;
        },
        error);
    EXPECT_EQ(outcome, Outcome::Done);
    EXPECT_EQ(routes, (decltype(routes){{1000, 600, {{4, true}}},
                                        {RT_TABLE_MAIN, 0, {{2, true}, {5, false}}}}));
}

TEST(RtnetlinkCodecTest, HowADatagramOfRepliesEnds) {
    const auto errorReply = [](int code) { return message(NLMSG_ERROR, nlmsgerr{-code, {}}); };
    const Bytes part = message(RTM_NEWROUTE, kRoute);
    const std::tuple<const char*, Bytes, Outcome, int> cases[] = {
        {"a part of a dump", part, Outcome::More, 0},
        {"acknowledged", errorReply(0), Outcome::Done, 0},
        {"refused", errorReply(ENETUNREACH), Outcome::Refused, ENETUNREACH},
        {"a dump that failed", message(NLMSG_DONE, std::int32_t{-EBUSY}), Outcome::Refused, EBUSY},
        {"an earlier request's answer", patched(errorReply(ENETUNREACH), 8, kSeq - 1),
         Outcome::Stale, 0},
        {"an interrupted dump", patched(part, 6, NLM_F_DUMP_INTR), Outcome::Failed, 0},
        {"an error without its header", message(NLMSG_ERROR, std::int32_t{0}), Outcome::Failed, 0},
        {"a message overrunning the datagram", part + patched(part, 0, 200), Outcome::Failed, 0},
        {"bytes after the last message", message(NLMSG_DONE, std::int32_t{0}) + Bytes(6),
         Outcome::Failed, 0},
    };
    for (const auto& [what, datagram, outcome, code] : cases) {
        int error = 0;
        const auto got = RtnetlinkCodec::readReplies(
            datagram, kSeq, kPort, [](const nlmsghdr&) { return true; }, error);
        EXPECT_EQ(std::pair(got, error), std::pair(outcome, code)) << what;
    }
}

TEST(RtnetlinkCodecTest, RefusesAttributesThatAreCutShortOrMalformed) {
    const Bytes good =
        message(RTM_NEWROUTE, kRoute, [](nlmsghdr* h) { mnl_attr_put_u32(h, RTA_OIF, 1); });
    constexpr std::size_t kFirst = NLMSG_HDRLEN + sizeof(rtmsg);  // the first attribute
    const Bytes multipath = message(RTM_NEWROUTE, kRoute, putMultipath);
    const std::pair<const char*, Bytes> cases[] = {
        {"short header", patched(good, 0, NLMSG_HDRLEN + 8)},
        {"attribute overrunning the message", patched(good, kFirst, 64)},
        {"zero-length attribute", patched(good, kFirst, 0)},
        {"interface index of two bytes", patched(good, kFirst, 6)},
        {"path overrunning its attribute", patched(multipath, kFirst + 4, 200)},
        {"path attribute overrunning its path", patched(multipath, kFirst + 4 + 8, 40)},
    };
    EXPECT_TRUE(RtnetlinkCodec::parseRoute(header(good)).has_value());
    for (const auto& [what, bytes] : cases) {
        EXPECT_FALSE(RtnetlinkCodec::parseRoute(header(bytes)).has_value()) << what;
    }

    // A link name without its NUL stays within its attribute; an empty one is malformed.
    const auto link = [](const Bytes& name) {
        const ifinfomsg info{AF_UNSPEC, 0, ARPHRD_PPP, 3, IFF_UP, 0};
        return message(RTM_NEWLINK, info, [&](nlmsghdr* h) {
            mnl_attr_put(h, IFLA_IFNAME, name.size(), name.data());
        });
    };
    const auto wwan = RtnetlinkCodec::parseLink(header(link({'w', 'w', 'a', 'n'})));
    ASSERT_TRUE(wwan.has_value());
    EXPECT_EQ(std::tuple(wwan->name, wwan->index, wwan->type, wwan->flags),
              std::tuple("wwan", 3, std::uint16_t{ARPHRD_PPP}, std::uint32_t{IFF_UP}));
    EXPECT_FALSE(RtnetlinkCodec::parseLink(header(link({}))).has_value());
    EXPECT_FALSE(RtnetlinkCodec::parseLink(header(message(RTM_NEWLINK, std::int32_t{3}))));
}

}  // namespace
}  // namespace kesto
