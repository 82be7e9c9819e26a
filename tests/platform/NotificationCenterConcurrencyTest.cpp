#include <atomic>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/BackgroundThread.h"
#include "platform/NotificationCenter.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Once removeObserver returns, the observer is never called again, even
// while another thread keeps posting.
TEST(NotificationCenterConcurrencyTest, RemovedObserverIsNeverCalledAfterRemovalReturns) {
    NotificationCenter center;
    std::jthread poster([&](const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            center.post("N");
        }
    });
    for (int round = 0; round < 2000; ++round) {
        std::atomic<bool> removed{false};
        std::atomic<int> lateCalls{0};
        int observer = 0;
        center.addObserver(&observer, "N",
                           [&](const Notification&) { lateCalls += removed.load() ? 1 : 0; });
        std::this_thread::yield();
        center.removeObserver(&observer);
        removed.store(true);
        std::this_thread::yield();
        EXPECT_EQ(lateCalls.load(), 0);
    }
}

// An observer or a background job that throws is logged on one line and
// goes no further: the other observers still hear the post, the observer can
// still be removed from another thread, and the process goes on.
TEST(IsolationTest, ThrowingObserversAndBackgroundJobsAreLoggedAndIsolated) {
    test::ConsoleCapture console;
    NotificationCenter center;
    int thrower = 0;
    int listener = 0;
    std::atomic<int> heard{0};
    center.addObserver(&thrower, "N", [](const Notification&) { throw std::runtime_error("bad"); });
    center.addObserver(&listener, "N", [&](const Notification&) { heard.fetch_add(1); });
    std::thread([&] { center.post("N"); }).join();
    center.removeObserver(&thrower);  // returns: the failed call has left the observer
    center.post("N");
    EXPECT_EQ(heard.load(), 2);

    BackgroundThread::detachNew([] { throw std::runtime_error("upload broke"); });
    BackgroundThread::detachNew([] { throw 42; });
    ASSERT_TRUE(BackgroundThread::waitForAll(10.0));
    EXPECT_EQ(BackgroundThread::running(), 0u);
    EXPECT_EQ(console.count("Notification N: an observer failed: bad"), 1u);
    EXPECT_TRUE(console.contains("Background job failed: upload broke"));
    EXPECT_TRUE(console.contains("Background job failed: unknown exception"));
}

}  // namespace
}  // namespace kesto
