#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "network/NetworkFakes.h"
#include "network/Reachability.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

using test::viaGateway;

// Monitors started and stopped on several threads, each with its own run
// loop, while the routing state keeps changing: every post arrives on the
// thread that started the monitor, none after stop, and nothing deadlocks.
TEST(ReachabilityConcurrencyTest, StartAndStopWhileChangesArrive) {
    test::FakeNetwork network;
    std::atomic<bool> done{false};
    std::thread changer([&] {
        bool up = false;
        while (!done.load()) {
            network.routes->setDefaultRoute(up ? viaGateway("wlan0") : RouteLookup::none());
            up = !up;
            std::this_thread::yield();
        }
    });

    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    std::atomic<int> wrongThread{0};
    std::atomic<int> afterStop{0};
    std::atomic<int> delivered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            test::QueueDispatcher dispatcher;
            const auto self = std::this_thread::get_id();
            auto monitor = Reachability::reachabilityForInternetConnection(*network.service);
            std::atomic<bool> stopped{true};
            NotificationCenter::defaultCenter().addObserver(
                &dispatcher, std::string(kNetworkReachabilityChangedNotification),
                [&](const Notification&) {
                    if (std::this_thread::get_id() != self) {
                        wrongThread.fetch_add(1);
                    }
                    if (stopped.load()) {
                        afterStop.fetch_add(1);
                    }
                    delivered.fetch_add(1);
                },
                monitor.get());
            for (int round = 0; round < kRounds; ++round) {
                ASSERT_TRUE(monitor->startNotifer());
                stopped.store(false);
                dispatcher.waitForWork(std::chrono::milliseconds(5));
                dispatcher.drain();
                if ((round + t) % 3 == 0) {
                    // Stopped by another thread while this one may be draining.
                    std::thread stopper([&] {
                        monitor->stopNotifer();
                        stopped.store(true);
                    });
                    dispatcher.drain();
                    stopper.join();
                } else {
                    monitor->stopNotifer();
                    stopped.store(true);
                }
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

    EXPECT_EQ(wrongThread.load(), 0);
    EXPECT_EQ(afterStop.load(), 0);
    EXPECT_EQ(network.routes->openWatches(), 0);
    EXPECT_GT(delivered.load(), 0);
}

}  // namespace
}  // namespace kesto
