#include <arpa/inet.h>
#include <linux/if_arp.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <cstring>

#include <gtest/gtest.h>

#include "network/RtnetlinkCodec.h"

namespace kesto {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename T>
void append(Bytes& bytes, const T& value) {
    const std::size_t at = bytes.size();
    bytes.resize(at + sizeof value);
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

void appendBytes(Bytes& bytes, const Bytes& more) {
    for (const auto b : more) {
        bytes.push_back(b);
    }
}

void pad(Bytes& bytes) {
    bytes.resize((bytes.size() + 3) & ~std::size_t{3});
}

template <typename T>
void attribute(Bytes& bytes, std::uint16_t type, const T& value) {
    append(bytes, rtattr{static_cast<unsigned short>(sizeof(rtattr) + sizeof value), type});
    append(bytes, value);
    pad(bytes);
}

Bytes message(std::uint16_t type, std::uint32_t seq, const Bytes& payload) {
    Bytes bytes;
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(NLMSG_HDRLEN + payload.size());
    header.nlmsg_type = type;
    header.nlmsg_seq = seq;
    append(bytes, header);
    appendBytes(bytes, payload);
    pad(bytes);
    return bytes;
}

Bytes routeHeader(std::uint8_t dstLength, std::uint8_t table, std::uint8_t type) {
    rtmsg header{};
    header.rtm_family = AF_INET;
    header.rtm_dst_len = dstLength;
    header.rtm_table = table;
    header.rtm_type = type;
    Bytes bytes;
    append(bytes, header);
    return bytes;
}

std::vector<RtnetlinkCodec::Message> split(const Bytes& datagram, bool expectOk = true) {
    std::vector<RtnetlinkCodec::Message> messages;
    EXPECT_EQ(RtnetlinkCodec::splitMessages(datagram, messages), expectOk);
    return messages;
}

TEST(RtnetlinkCodecTest, RouteRequestAsksForOneIPv4Destination) {
    in_addr destination{};
    destination.s_addr = htonl(0xC0000207);
    const Bytes request = RtnetlinkCodec::routeRequest(42, destination);
    const auto messages = split(request);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].type, RTM_GETROUTE);
    EXPECT_EQ(messages[0].flags, NLM_F_REQUEST);
    EXPECT_EQ(messages[0].seq, 42u);
    rtmsg header{};
    std::memcpy(&header, messages[0].payload.data(), sizeof header);
    EXPECT_EQ(header.rtm_family, AF_INET);
    EXPECT_EQ(header.rtm_dst_len, 32);
    // RTA_DST with the four address bytes, as sent on the wire.
    const Bytes expectedTail = {8, 0, RTA_DST, 0, 192, 0, 2, 7};
    EXPECT_EQ(Bytes(request.end() - 8, request.end()), expectedTail);
}

TEST(RtnetlinkCodecTest, ReadsRoutesPlainAndMultipath) {
    Bytes plain = routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST);
    attribute(plain, RTA_TABLE, std::uint32_t{RT_TABLE_MAIN});
    attribute(plain, RTA_PRIORITY, std::uint32_t{600});
    attribute(plain, RTA_GATEWAY, htonl(0xC0000201));
    attribute(plain, RTA_OIF, std::uint32_t{4});
    const auto route = RtnetlinkCodec::parseRoute(plain);
    ASSERT_TRUE(route.has_value());
    EXPECT_EQ(route->dstLength, 0);
    EXPECT_EQ(route->table, static_cast<std::uint32_t>(RT_TABLE_MAIN));
    EXPECT_EQ(route->type, RTN_UNICAST);
    EXPECT_EQ(route->priority, 600u);
    ASSERT_EQ(route->nextHops.size(), 1u);
    EXPECT_EQ(route->nextHops[0].interfaceIndex, 4);
    EXPECT_TRUE(route->nextHops[0].hasGateway);

    // Two paths: one through a gateway on 2, one direct on 5.
    Bytes hops;
    Bytes viaGateway;
    attribute(viaGateway, RTA_GATEWAY, htonl(0x0A000001));
    append(hops,
           rtnexthop{static_cast<unsigned short>(sizeof(rtnexthop) + viaGateway.size()), 0, 0, 2});
    appendBytes(hops, viaGateway);
    append(hops, rtnexthop{sizeof(rtnexthop), 0, 0, 5});
    Bytes multipath = routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST);
    append(multipath,
           rtattr{static_cast<unsigned short>(sizeof(rtattr) + hops.size()), RTA_MULTIPATH});
    appendBytes(multipath, hops);
    const auto paths = RtnetlinkCodec::parseRoute(multipath);
    ASSERT_TRUE(paths.has_value());
    ASSERT_EQ(paths->nextHops.size(), 2u);
    EXPECT_EQ(paths->nextHops[0].interfaceIndex, 2);
    EXPECT_TRUE(paths->nextHops[0].hasGateway);
    EXPECT_EQ(paths->nextHops[1].interfaceIndex, 5);
    EXPECT_FALSE(paths->nextHops[1].hasGateway);
}

TEST(RtnetlinkCodecTest, ReadsLinksAndErrors) {
    ifinfomsg info{};
    info.ifi_index = 3;
    info.ifi_type = ARPHRD_PPP;
    info.ifi_flags = IFF_UP | IFF_RUNNING;
    Bytes link;
    append(link, info);
    const char name[8] = {'p', 'p', 'p', '0', 0, 0, 0, 0};
    attribute(link, IFLA_IFNAME, name);
    const auto entry = RtnetlinkCodec::parseLink(link);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->index, 3);
    EXPECT_EQ(entry->type, ARPHRD_PPP);
    EXPECT_EQ(entry->name, "ppp0");

    // A name without its NUL stays within its attribute.
    Bytes unterminated;
    append(unterminated, info);
    attribute(unterminated, IFLA_IFNAME, std::array<char, 4>{'w', 'w', 'a', 'n'});
    EXPECT_EQ(RtnetlinkCodec::parseLink(unterminated)->name, "wwan");

    Bytes refusal;
    append(refusal, std::int32_t{-ENETUNREACH});
    const Bytes refused = message(NLMSG_ERROR, 9, refusal);
    const auto messages = split(refused);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(RtnetlinkCodec::errorCode(messages[0]), ENETUNREACH);
    Bytes ack;
    append(ack, std::int32_t{0});
    EXPECT_EQ(RtnetlinkCodec::errorCode(split(message(NLMSG_ERROR, 9, ack))[0]), 0);
    EXPECT_EQ(RtnetlinkCodec::errorCode(split(message(RTM_NEWROUTE, 9, ack))[0]), std::nullopt);
}

TEST(RtnetlinkCodecTest, RefusesMalformedBytesWithoutReadingPastThem) {
    // Two messages in one datagram, the second one claiming more than is there.
    Bytes datagram = message(RTM_NEWROUTE, 1, routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST));
    Bytes second = message(RTM_NEWROUTE, 1, routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST));
    const std::uint32_t tooLong = 4096;
    std::memcpy(second.data(), &tooLong, sizeof tooLong);
    appendBytes(datagram, second);
    EXPECT_EQ(split(datagram, false).size(), 1u);

    // Trailing bytes shorter than a header.
    Bytes trailing = message(NLMSG_DONE, 1, {});
    trailing.resize(trailing.size() + 6);
    EXPECT_EQ(split(trailing, false).size(), 1u);

    // Routes: short header, an attribute overrunning, a zero-length attribute,
    // a nexthop overrunning its attribute, an error message without a code.
    EXPECT_FALSE(RtnetlinkCodec::parseRoute(Bytes(8)).has_value());
    Bytes overrun = routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST);
    append(overrun, rtattr{64, RTA_OIF});
    append(overrun, std::uint32_t{1});
    EXPECT_FALSE(RtnetlinkCodec::parseRoute(overrun).has_value());
    Bytes zero = routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST);
    append(zero, rtattr{0, RTA_OIF});
    append(zero, std::uint32_t{1});
    EXPECT_FALSE(RtnetlinkCodec::parseRoute(zero).has_value());
    Bytes badHop = routeHeader(0, RT_TABLE_MAIN, RTN_UNICAST);
    append(badHop, rtattr{sizeof(rtattr) + sizeof(rtnexthop), RTA_MULTIPATH});
    append(badHop, rtnexthop{200, 0, 0, 2});
    EXPECT_FALSE(RtnetlinkCodec::parseRoute(badHop).has_value());
    EXPECT_FALSE(RtnetlinkCodec::parseLink(Bytes(12)).has_value());
    EXPECT_EQ(RtnetlinkCodec::errorCode(split(message(NLMSG_ERROR, 1, Bytes(2)))[0]), std::nullopt);
}

}  // namespace
}  // namespace kesto
