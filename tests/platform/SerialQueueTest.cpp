#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/SerialQueue.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

TEST(SerialQueueTest, RunsWorkOneAtATimeInOrderOnItsOwnThread) {
    std::vector<int> order;  // only touched on the queue
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    std::atomic<int> overlaps{0};
    {
        SerialQueue queue("myQueue");
        EXPECT_FALSE(queue.isCurrent());
        {
            std::vector<std::jthread> posters;
            for (int t = 0; t < 4; ++t) {
                posters.emplace_back([&, t] {
                    for (int i = 0; i < 250; ++i) {
                        queue.async([&, value = t * 1000 + i] {
                            overlaps += running.fetch_add(1) != 0 ? 1 : 0;
                            order.push_back(value);
                            threads.insert(std::this_thread::get_id());
                            running.fetch_sub(1);
                        });
                    }
                });
            }
        }
        bool inside = false;
        // sync from the queue's own thread runs at once instead of waiting forever.
        queue.sync([&] { queue.sync([&] { inside = queue.isCurrent(); }); });
        EXPECT_TRUE(inside);
        queue.async([&] { order.push_back(-1); });
    }  // the destructor runs what is still queued
    ASSERT_EQ(order.size(), 1001u);
    EXPECT_EQ(order.back(), -1);
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    // Each poster's items kept their order.
    std::vector<int> last(4, -1);
    for (int value : order) {
        if (value >= 0) {
            EXPECT_GT(value % 1000, last[value / 1000]);
            last[value / 1000] = value % 1000;
        }
    }
}

TEST(SerialQueueTest, AThrowingJobIsLoggedAndTheQueueGoesOn) {
    test::ConsoleCapture console;
    SerialQueue queue("throwing");
    queue.async([] { throw std::runtime_error("bad frame"); });
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("waited for"); }), std::runtime_error);
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(console.contains("throwing job failed: bad frame"));
}

}  // namespace
}  // namespace kesto
