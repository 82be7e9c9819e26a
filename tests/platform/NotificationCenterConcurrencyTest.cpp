#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

// Once removeObserver returns, the observer is never called again, even
// while another thread keeps posting.
TEST(NotificationCenterConcurrencyTest, RemovedObserverIsNeverCalledAfterRemovalReturns) {
    NotificationCenter center;
    std::atomic<bool> stop{false};
    std::thread poster([&] {
        while (!stop.load()) {
            center.post("N");
        }
    });
    for (int round = 0; round < 2000; ++round) {
        std::atomic<bool> removed{false};
        std::atomic<int> lateCalls{0};
        int observer = 0;
        center.addObserver(&observer, "N", [&](const Notification&) {
            if (removed.load()) {
                lateCalls.fetch_add(1);
            }
        });
        std::this_thread::yield();
        center.removeObserver(&observer);
        removed.store(true);
        std::this_thread::yield();
        EXPECT_EQ(lateCalls.load(), 0);
    }
    stop.store(true);
    poster.join();
}

TEST(NotificationCenterConcurrencyTest, ObserversAddedFromManyThreadsAllRegister) {
    NotificationCenter center;
    std::vector<int> observers(8);
    std::vector<std::thread> threads;
    std::atomic<int> calls{0};
    for (auto& o : observers) {
        threads.emplace_back(
            [&] { center.addObserver(&o, "N", [&](const Notification&) { calls.fetch_add(1); }); });
    }
    for (auto& t : threads) {
        t.join();
    }
    center.post("N");
    EXPECT_EQ(calls.load(), 8);
}

}  // namespace
}  // namespace kesto
