#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/HopTarget.h"
#include "platform/RunLoop.h"
#include "platform/Timer.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class RunLoopTest : public ::testing::Test {
  protected:
    void TearDown() override { loop.runPending(); }

    test::ManualClock clock;
    RunLoop& loop = RunLoop::main();
};

TEST_F(RunLoopTest, FourteenHertzTicksNeitherDriftNorBurstAfterADelay) {
    const Date start = Clock::now();
    std::vector<double> at;
    auto timer = Timer::scheduledTimer(
        1.0 / 14.0, true, [&] { at.push_back(Clock::now().timeIntervalSince(start)); });
    loop.runFor(30.0);
    ASSERT_EQ(at.size(), 420u);
    // No drift: every tick sits on its own multiple of the interval.
    for (std::size_t k = 0; k < at.size(); ++k) {
        EXPECT_NEAR(at[k], static_cast<double>(k + 1) / 14.0, 1e-6) << k;
    }
    EXPECT_DOUBLE_EQ(Clock::now().timeIntervalSince(start), 30.0);
    // A loop held up for 3.5 s gives one late tick, not a burst of the missed ones.
    clock.advance(3.5);
    loop.runPending();
    EXPECT_EQ(at.size(), 421u);
    const double next = timer->fireDate().timeIntervalSince(Clock::now());
    EXPECT_GT(next, 0.0);
    EXPECT_LE(next, 1.0 / 14.0);
}

TEST_F(RunLoopTest, ATimerEndsWhenInvalidatedOrDroppedEvenFromItsOwnAction) {
    using Stop = std::function<void(std::unique_ptr<Timer>&)>;
    const struct {
        bool repeats;
        Stop stop;
        int lastTick;
    } rows[] = {{true, [](auto& timer) { timer->invalidate(); }, 3},
                {true, [](auto& timer) { timer.reset(); }, 1},
                {false, [](auto&) {}, 1}};
    for (const auto& row : rows) {
        int ticks = 0;
        std::unique_ptr<Timer> timer;
        timer = Timer::scheduledTimer(1.0, row.repeats, [&] {
            if (++ticks == row.lastTick) {
                row.stop(timer);
            }
        });
        loop.runFor(10.0);
        EXPECT_EQ(ticks, row.lastTick);
        EXPECT_FALSE(timer && timer->isValid());
    }
}

TEST_F(RunLoopTest, DelayZeroRunsAtTheNextPassInOrder) {
    // A pass runs queued hops first, then what is due: where the hops fall
    // between the deferred calls shows which pass ran each.
    std::vector<std::string> order;
    int target = 0;
    loop.dispatch([&] {
        loop.performAfterDelay(&target, 0.0, [&] { order.push_back("deferred-1"); });
        loop.performAfterDelay(&target, 0.0, [&] {
            order.push_back("deferred-2");
            loop.dispatch([&] { order.push_back("hop-2"); });
            loop.performAfterDelay(&target, 0.0, [&] { order.push_back("deferred-3"); });
        });
        loop.dispatch([&] { order.push_back("hop-1"); });
        order.push_back("pass-1 end");
    });
    loop.runPending();
    EXPECT_EQ(order, (std::vector<std::string>{"pass-1 end", "hop-1", "deferred-1", "deferred-2",
                                               "hop-2", "deferred-3"}));
}

TEST_F(RunLoopTest, CancellingDropsEveryPendingCallOfThatObjectOnly) {
    int screen = 0;
    int other = 0;
    std::vector<std::string> ran;
    loop.performAfterDelay(&screen, 0.0, [&] { ran.push_back("screen now"); });
    loop.performAfterDelay(&screen, 5.0, [&] { ran.push_back("screen later"); });
    loop.performAfterDelay(&other, 0.0, [&] { ran.push_back("other"); });
    int ticks = 0;
    auto timer = Timer::scheduledTimer(1.0, true, [&] { ++ticks; });
    loop.cancelPreviousPerformRequests(&screen);
    loop.runFor(10.0);
    EXPECT_EQ(ran, std::vector<std::string>{"other"});
    EXPECT_EQ(ticks, 10);  // timers are not deferred calls
}

// Work hopped for a target runs only while the target lives and is not
// revoked, judged when the work comes up: a revocation earlier in the same
// pass drops it, and a handle kept past the target queues nothing.
TEST_F(RunLoopTest, HopsForARevokedOrDestroyedTargetAreDroppedUnrun) {
    std::vector<std::string> ran;
    auto dismissed = std::make_unique<HopTarget>(loop);
    auto destroyed = std::make_unique<HopTarget>(loop);
    const Hop kept = destroyed->handle();
    dismissed->hop([&] { ran.push_back("before the dismissal"); });
    loop.runPending();
    loop.dispatch([&] {
        dismissed->revoke();
        loop.releaseLater(std::move(dismissed));
    });
    dismissed->hop([&] { ran.push_back("queued before, run after the dismissal"); });
    destroyed->hop([&] { ran.push_back("queued before the destruction"); });
    destroyed.reset();
    kept.hop([&] { ran.push_back("queued after the destruction"); });
    Hop().hop([&] { ran.push_back("through an empty handle"); });
    loop.dispatch([&] { ran.push_back("plain dispatch"); });
    loop.runPending();
    EXPECT_EQ(ran, (std::vector<std::string>{"before the dismissal", "plain dispatch"}));
}

TEST_F(RunLoopTest, ReleasedObjectsLiveUntilTheEndOfThePass) {
    auto object = std::make_shared<int>();
    const std::weak_ptr<int> watch = object;
    bool aliveAfterRelease = false;
    loop.dispatch([&] {
        loop.releaseLater(std::make_unique<std::shared_ptr<int>>(std::move(object)));
        aliveAfterRelease = !watch.expired();
    });
    loop.runPending();
    EXPECT_TRUE(aliveAfterRelease);
    EXPECT_TRUE(watch.expired());
}

// The observer sees each busy pass once, after its items; idle passes and
// its own queued work do not call it back in a loop.
TEST_F(RunLoopTest, PassObserversRunOnceAfterEachBusyPass) {
    std::vector<std::string> seen;
    const auto id = loop.addPassObserver([&] { seen.push_back("end"); });
    loop.dispatch([&] {
        seen.push_back("a");
        loop.dispatch([&] { seen.push_back("b"); });
    });
    loop.dispatch([&] { seen.push_back("c"); });
    loop.runPending();
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "c", "end", "b", "end"}));
    loop.removePassObserver(id);
    loop.dispatch([&] { seen.push_back("d"); });
    loop.runPending();
    EXPECT_EQ(seen.back(), "d");
}

// Whatever throws inside the loop is logged on one line naming what failed;
// the rest of the pass runs and the loop goes on. A watched descriptor's
// handler runs only when it is readable: otherwise its read would block.
TEST_F(RunLoopTest, ACallbackThatThrowsIsLoggedAndTheLoopGoesOn) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const UniqueFd writer(fds[1]);
    std::unique_ptr<Timer> timer;
    std::uint64_t watch = 0;
    const std::vector<std::pair<std::string, std::function<void(RunLoop::Work)>>> cases = {
        {"RunLoop: dispatched work failed: boom", [&](RunLoop::Work w) { loop.dispatch(w); }},
        {"RunLoop: a deferred call failed: boom",
         [&](RunLoop::Work w) { loop.performAfterDelay(nullptr, 0.5, w); }},
        {"RunLoop: a timer failed: boom",
         [&](RunLoop::Work w) { timer = Timer::scheduledTimer(0.6, true, w); }},
        {"RunLoop: a descriptor handler failed: boom",
         [&](RunLoop::Work w) {
             watch = loop.watchFileDescriptor(UniqueFd(fds[0]), POLLIN, [w](int fd, short) {
                 char byte;
                 [[maybe_unused]] const auto got = read(fd, &byte, 1);
                 w();
             });
             ASSERT_EQ(write(fds[1], "x", 1), 1);
         }},
    };
    for (const auto& [logged, schedule] : cases) {
        test::ConsoleCapture console;
        int after = 0;
        schedule([] { throw std::runtime_error("boom"); });
        loop.dispatch([&] { loop.performAfterDelay(nullptr, 1.0, [&] { ++after; }); });
        loop.runFor(1.0);
        EXPECT_EQ(console.count(logged), 1u) << logged;
        EXPECT_EQ(after, 1) << logged;
        timer.reset();
        loop.unwatchFileDescriptor(watch);
    }
    EXPECT_EQ(fcntl(fds[0], F_GETFD), -1);  // the loop held the watched descriptor, and closed it
}

}  // namespace
}  // namespace kesto
