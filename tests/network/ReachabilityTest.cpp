#include <arpa/inet.h>
#include <sys/socket.h>

#include <thread>
#include <vector>

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
    test::FakeNetwork network;
    ReachabilityService& service = *network.service;
};

TEST_F(ReachabilityTest, MonitorsThatCannotBeMadeAreAbsent) {
    EXPECT_EQ(Reachability::reachabilityWithHostName("", service), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostName(std::string_view("a\0b", 3), service),
              nullptr);
    sockaddr_in v6 = Reachability::socketAddress(kServer);
    v6.sin_family = AF_INET6;
    EXPECT_EQ(Reachability::reachabilityWithAddress(v6, service), nullptr);

    // A monitor without a handle reads as not reachable and cannot notify.
    test::QueueDispatcher dispatcher;
    Reachability empty(nullptr);
    EXPECT_EQ(empty.currentReachabilityStatus(), ReachNone);
    EXPECT_FALSE(empty.connectionRequired());
    EXPECT_FALSE(empty.startNotifer());
}

TEST_F(ReachabilityTest, EachMonitorFollowsItsOwnRouteAndRule) {
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
    EXPECT_EQ(byName->currentReachabilityStatus(), ReachNone);
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
        EXPECT_FALSE(connection.reachable()) << "no evaluation yet";
        EXPECT_EQ(connection.reachedInternetConnection(), expected);
        EXPECT_EQ(connection.reachable(), expected);
    }
    EXPECT_EQ(network.routes->openWatches(), 0) << "a check leaves nothing running";
}

// Change notifications, driven through the fake routing state.
class ReachabilityNotifierTest : public ReachabilityTest {
  protected:
    void SetUp() override {
        network.routes->setDefaultRoute(viaGateway("wlan0"));
        monitor = Reachability::reachabilityForInternetConnection(service);
        NotificationCenter::defaultCenter().addObserver(
            this, std::string(kNetworkReachabilityChangedNotification),
            [this](const Notification& n) {
                EXPECT_EQ(n.sender, monitor.get());
                EXPECT_EQ(std::this_thread::get_id(), starter);
                ++posts;
                if (onPost) {
                    onPost();
                }
            });
    }
    void TearDown() override { NotificationCenter::defaultCenter().removeObserver(this); }
    // Makes a change and runs the post it queues.
    void change(RouteLookup lookup) {
        network.routes->setDefaultRoute(std::move(lookup));
        ASSERT_TRUE(dispatcher.waitForWork());
        EXPECT_EQ(dispatcher.drain(), 1u);
    }

    test::QueueDispatcher dispatcher;
    const std::thread::id starter = std::this_thread::get_id();
    std::unique_ptr<Reachability> monitor;
    int posts = 0;
    std::function<void()> onPost;
};

TEST_F(ReachabilityNotifierTest, StartingNeedsARunLoopAndAWatch) {
    std::thread([&] { EXPECT_FALSE(monitor->startNotifer()); }).join();  // no dispatcher there
    network.routes->setWatchFails(true);
    EXPECT_FALSE(monitor->startNotifer());
    network.routes->setWatchFails(false);
    EXPECT_TRUE(monitor->startNotifer());
    EXPECT_TRUE(monitor->startNotifer());  // a restart, not a second watch
    EXPECT_EQ(network.routes->openWatches(), 1);
    monitor->stopNotifer();
    EXPECT_EQ(network.routes->openWatches(), 0);
    monitor->stopNotifer();  // harmless when stopped
}

TEST_F(ReachabilityNotifierTest, PostsOncePerFlagChangeAndNeverForRoutingThatKeepsTheWord) {
    ASSERT_TRUE(monitor->startNotifer());
    const auto before = network.routes->lookups();
    network.routes->touch();
    network.routes->setRoute(kServer, direct("eth0"));    // not this monitor's target
    network.routes->setDefaultRoute(viaGateway("eth1"));  // another interface, same word
    ASSERT_TRUE(network.routes->waitForLookups(before + 1));
    // A read that starts failing is a change too.
    for (auto lookup : {RouteLookup::none(), viaGateway("wwan0", true), RouteLookup::failure()}) {
        change(lookup);
    }
    EXPECT_EQ(posts, 3);
}

// Stopping from another thread is the concurrency test's.
TEST_F(ReachabilityNotifierTest, NothingIsPostedAfterStopOrDestruction) {
    ASSERT_TRUE(monitor->startNotifer());
    network.routes->setDefaultRoute(RouteLookup::none());
    ASSERT_TRUE(dispatcher.waitForWork());
    monitor->stopNotifer();
    dispatcher.drain();

    // Destroyed with a post queued: the queued call must not touch it.
    ASSERT_TRUE(monitor->startNotifer());
    network.routes->setDefaultRoute(viaGateway("wlan0"));
    ASSERT_TRUE(dispatcher.waitForWork());
    monitor.reset();
    dispatcher.drain();
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(network.routes->openWatches(), 0);
}

TEST_F(ReachabilityNotifierTest, AnObserverMayDestroyTheMonitorItIsToldAbout) {
    ASSERT_TRUE(monitor->startNotifer());
    onPost = [&] { monitor.reset(); };
    change(RouteLookup::none());
    EXPECT_EQ(posts, 1);
    EXPECT_EQ(network.routes->openWatches(), 0);
}

}  // namespace
}  // namespace kesto
