#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

// Monitors on several run-loop threads, stopped from others while routes
// change: posts arrive on the starting thread, none after stop, no deadlock.
TEST(ReachabilityConcurrencyTest, StartAndStopWhileChangesArrive) {
    test::FakeNetwork network;
    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (bool up = false; !done.load(); up = !up) {
            network.routes->setDefaultRoute(up ? test::viaGateway("wlan0") : RouteLookup::none());
        }
    });
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            test::QueueDispatcher dispatcher;
            const auto self = std::this_thread::get_id();
            auto monitor = Reachability::reachabilityForInternetConnection(*network.service);
            std::atomic<bool> stopped{true};
            NotificationCenter::defaultCenter().addObserver(
                &dispatcher, std::string(kNetworkReachabilityChangedNotification),
                [&](const Notification&) {
                    wrong.fetch_add(std::this_thread::get_id() != self || stopped.load());
                },
                monitor.get());
            for (int round = 0; round < 150; ++round) {
                ASSERT_TRUE(monitor->startNotifer());
                stopped.store(false);
                dispatcher.waitForWork(std::chrono::milliseconds(5));
                dispatcher.drain();
                std::thread stopper([&] {  // while this thread may be draining
                    monitor->stopNotifer();
                    stopped.store(true);
                });
                dispatcher.drain();
                stopper.join();
                dispatcher.drain();
            }
            monitor.reset();
            dispatcher.drain();
            NotificationCenter::defaultCenter().removeObserver(&dispatcher);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    done.store(true);
    changer.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(network.routes->openWatches.load(), 0);
}

}  // namespace
}  // namespace kesto
