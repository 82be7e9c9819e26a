// Many uploads at once from many threads: each answered once, after its
// commit, stored once, while readers read.
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "collect/CommitQueue.h"
#include "collect/MeasurementStore.h"
#include "collect/TestDatabase.h"

namespace kesto {
namespace {

TEST(CommitQueueConcurrencyTest, EveryUploadIsAnsweredOnceAfterItIsStoredOnce) {
    test::TestDatabase database(DatabaseUrl::Engine::Sqlite);
    auto store = std::move(*MeasurementStore::open(database.url()));
    constexpr int kThreads = 6;
    constexpr int kEach = 60;
    std::atomic<int> stored{0};
    std::atomic<int> duplicates{0};
    std::atomic<int> missing{0};
    {
        CommitQueue queue(*store, kThreads * kEach * 2);
        std::atomic<bool> writing{true};
        std::thread reader([&] {
            while (writing) {
                ASSERT_TRUE(store->count());
            }
        });
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) {
                    // Every measurement twice: once from this thread, once
                    // from its neighbour.
                    for (const int device : {t, (t + 1) % kThreads}) {
                        auto m = test::sampleMeasurement("device-" + std::to_string(device),
                                                         1300000000.0 + i);
                        const std::string udid = m.udid;
                        const auto startMicros = m.startMicros;
                        const bool queued = queue.submit(std::move(m), [&, udid,
                                                                        startMicros](auto outcome) {
                            ASSERT_TRUE(outcome);
                            // Answered after the commit: a reader sees it.
                            MeasurementFilter filter;
                            filter.udid = udid;
                            filter.fromMicros = startMicros;
                            filter.toMicros = startMicros + 1;
                            int found = 0;
                            ASSERT_TRUE(store->forEach(filter, [&](const MeasurementRow&) {
                                ++found;
                                return true;
                            }));
                            missing += found == 1 ? 0 : 1;
                            (*outcome == MeasurementStore::Outcome::Stored ? stored : duplicates)++;
                        });
                        ASSERT_TRUE(queued);
                    }
                }
            });
        }
        for (auto& writer : writers) {
            writer.join();
        }
        // Destruction answers everything still queued.
        writing = false;
        reader.join();
    }
    EXPECT_EQ(stored, kThreads * kEach);
    EXPECT_EQ(duplicates, kThreads * kEach);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(store->count().value(), kThreads * kEach);
}

TEST(CommitQueueConcurrencyTest, AFullQueueRefusesRatherThanGrow) {
    test::TestDatabase database(DatabaseUrl::Engine::Sqlite);
    auto store = std::move(*MeasurementStore::open(database.url()));
    std::atomic<int> answered{0};
    int accepted = 0;
    {
        CommitQueue queue(*store, 2);
        for (int i = 0; i < 500; ++i) {
            accepted += queue.submit(test::sampleMeasurement("d", 1300000000.0 + i),
                                     [&](auto) { ++answered; })
                            ? 1
                            : 0;
        }
        EXPECT_LT(accepted, 500);
    }
    EXPECT_EQ(answered, accepted);
    EXPECT_EQ(store->count().value(), accepted);
}

}  // namespace
}  // namespace kesto
