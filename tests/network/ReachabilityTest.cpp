#include <thread>

#include <gtest/gtest.h>

#include "network/InternetConnection.h"
#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

using test::direct;
using test::viaGateway;

constexpr std::uint32_t kLinkLocal = 0xA9FE0000;  // 169.254.0.0
constexpr std::uint32_t kServer = 0xC0000207;     // 192.0.2.7

class ReachabilityTest : public ::testing::Test {
  protected:
    ~ReachabilityTest() override { NotificationCenter::defaultCenter().removeObserver(this); }

    test::FakeNetwork network;
    ReachabilityService& service = *network.service;
};

TEST_F(ReachabilityTest, EachMonitorFollowsItsOwnRouteAndRule) {
    for (const auto name : {std::string_view(""), std::string_view("a\0b", 3)}) {
        EXPECT_EQ(Reachability::reachabilityWithHostName(name, service), nullptr);
    }
    sockaddr_in v6 = Reachability::socketAddress(kServer);
    v6.sin_family = AF_INET6;
    EXPECT_EQ(Reachability::reachabilityWithAddress(v6, service), nullptr);
    test::QueueDispatcher dispatcher;
    Reachability empty(nullptr);
    EXPECT_EQ(std::pair(empty.currentReachabilityStatus(), empty.startNotifer()),
              std::pair(ReachNone, false));

    network.routes->setDefaultRoute(viaGateway("wlan0"));
    auto wifi = Reachability::reachabilityForLocalWiFi(service);
    auto byAddress =
        Reachability::reachabilityWithAddress(Reachability::socketAddress(kServer), service);
    auto byName = Reachability::reachabilityWithHostName("collect.example", service);
    ASSERT_TRUE(wifi && byAddress && byName);

    // Link-local through a gateway: reachable, but not the local network.
    network.routes->setRoute(kLinkLocal, viaGateway("eth0"));
    EXPECT_EQ(wifi->currentReachabilityStatus(), ReachNone);
    network.routes->setRoute(kLinkLocal, direct("wlan0"));
    EXPECT_EQ(wifi->currentReachabilityStatus(), ReachViaWiFi);
    // The default route says nothing about a given address.
    EXPECT_EQ(byAddress->currentReachabilityStatus(), ReachNone);
    network.routes->setRoute(kServer, direct("eth0"));
    EXPECT_EQ(byAddress->reachabilityFlags(),
              kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect);
    // An unresolved name is a failed read, not "reachable via the default".
    EXPECT_EQ(byName->reachabilityFlags(), std::nullopt);
    network.names->addresses["collect.example"].s_addr = htonl(kServer);
    EXPECT_EQ(byName->currentReachabilityStatus(), ReachViaWiFi);
}

TEST_F(ReachabilityTest, InternetConnectionAnswersYesForWiFiAndWWANOnly) {
    test::ScopedDefaultService scoped(service);
    test::QueueDispatcher dispatcher;  // so that each check's notifier does start
    const std::pair<RouteLookup, bool> cases[] = {{viaGateway("wlan0"), true},
                                                  {viaGateway("wwan0", true), true},
                                                  {RouteLookup::none(), false},
                                                  {RouteLookup::failure(), false}};
    for (const auto& [lookup, expected] : cases) {
        network.routes->setDefaultRoute(lookup);
        EXPECT_EQ(InternetConnection::isReacheable(), expected);
        InternetConnection connection;
        EXPECT_EQ(connection.reachedInternetConnection(), expected);
    }
    EXPECT_EQ(network.routes->openWatches.load(), 0) << "a check leaves nothing running";
}

// Started only with a run loop; one post per flag change, none after the end;
// an observer may destroy the monitor it is told about.
TEST_F(ReachabilityTest, NotifierPostsEachChangeOnceAndNothingAfterItsEnd) {
    test::QueueDispatcher dispatcher;
    network.routes->setDefaultRoute(viaGateway("wlan0"));
    auto monitor = Reachability::reachabilityForInternetConnection(service);
    int posts = 0;
    std::function<void()> onPost = [] {};
    NotificationCenter::defaultCenter().addObserver(
        this, std::string(kNetworkReachabilityChangedNotification), [&](const Notification& n) {
            EXPECT_EQ(n.sender, monitor.get());
            ++posts;
            onPost();
        });
    const auto change = [&](RouteLookup lookup) {
        network.routes->setDefaultRoute(std::move(lookup));
        ASSERT_TRUE(dispatcher.waitForWork());
        EXPECT_EQ(dispatcher.drain(), 1u);
    };
    std::thread([&] { EXPECT_FALSE(monitor->startNotifer()); }).join();  // no run loop there
    ASSERT_TRUE(monitor->startNotifer());
    EXPECT_TRUE(monitor->startNotifer());  // a restart, not a second watch
    EXPECT_EQ(network.routes->openWatches.load(), 1);
    network.routes->setRoute(kServer, direct("eth0"));    // not this monitor's target
    network.routes->setDefaultRoute(viaGateway("eth1"));  // another interface, same word
    for (auto lookup : {RouteLookup::none(), viaGateway("wwan0", true), RouteLookup::failure()}) {
        change(lookup);  // a read that starts failing is a change too
    }
    for (const bool destroy : {false, true}) {  // a post queued when it ends
        ASSERT_TRUE(monitor->startNotifer());
        network.routes->setDefaultRoute(destroy ? RouteLookup::none() : viaGateway("wlan0"));
        ASSERT_TRUE(dispatcher.waitForWork());
        destroy ? monitor.reset() : monitor->stopNotifer();
        dispatcher.drain();
    }
    EXPECT_EQ(posts, 3);
    monitor = Reachability::reachabilityForInternetConnection(service);
    ASSERT_TRUE(monitor->startNotifer());
    onPost = [&] { monitor.reset(); };
    change(viaGateway("wlan0"));
    EXPECT_EQ(posts, 4);
    EXPECT_EQ(network.routes->openWatches.load(), 0);
}

}  // namespace
}  // namespace kesto
