#include <atomic>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/HopTarget.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/SerialQueue.h"
#include "platform/ThreadDispatcher.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"

namespace kesto {
namespace {

TEST(RunLoopConcurrencyTest, HopsFromManyThreadsRunOnTheMainThreadOncePerCallInOrder) {
    RunLoop& loop = RunLoop::main();
    constexpr int kThreads = 4;
    constexpr int kHops = 500;
    std::vector<std::vector<std::int64_t>> seen(kThreads);  // written on the main thread only
    std::atomic<int> observedOnMain{0};  // the poster must not wait for the main thread
    NotificationCenter center;
    int observer = 0;
    center.addObserver(&observer, "MatriceImageChanged", [&](const Notification& n) {
        observedOnMain += RunLoop::isMainThread() ? 1 : 0;
        const auto t = *n.payload->arrayValue()->at(0).integerValue();
        const auto i = *n.payload->arrayValue()->at(1).integerValue();
        loop.dispatch([&, t, i] { seen[static_cast<std::size_t>(t)].push_back(i); });
    });
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kHops; ++i) {
                    const auto payload = PropertyListValue::array(
                        {PropertyListValue::integer(t), PropertyListValue::integer(i)});
                    center.post("MatriceImageChanged", nullptr, &payload);
                }
            });
        }
    }
    loop.runPending();
    center.removeObserver(&observer);
    EXPECT_EQ(observedOnMain.load(), 0);
    std::vector<std::int64_t> inOrder(kHops);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (const auto& s : seen) {
        EXPECT_EQ(s, inOrder);
    }
}

// No hop queued for a screen runs once it is gone, nor through a handle kept past it.
TEST(RunLoopConcurrencyTest, HopsNeverReachAScreenDestroyedWhileFramesKeepComing) {
    RunLoop& loop = RunLoop::main();
    NotificationCenter center;
    std::set<const void*> alive;  // main thread only
    int lateRuns = 0;             // main thread only
    struct Screen {
        HopTarget hops;
        int reports = 0;
    };
    std::atomic<bool> stop{false};
    Hop kept;
    std::atomic<Hop*> workerHop{nullptr};
    SerialQueue frames("myQueue");
    frames.async([&] {
        while (!stop.load()) {
            center.post("MatriceImageChanged");
            if (Hop* h = workerHop.load()) {
                h->hop([&] { ++lateRuns; });
            }
        }
    });
    constexpr int kRounds = 50;
    for (int round = 0; round < kRounds; ++round) {
        auto screen = std::make_unique<Screen>();
        alive.insert(screen.get());
        center.addObserver(screen.get(), "MatriceImageChanged", [&, s = screen.get()](auto&) {
            s->hops.hop([&, s] { alive.contains(s) ? ++s->reports : ++lateRuns; });
        });
        ASSERT_TRUE(loop.runUntilCondition([&] { return screen->reports >= 3; }, 10.0));
        if (round == 0) {
            kept = screen->hops.handle();
        }
        loop.dispatch([&] {  // dismissed in a pass, destroyed at its end
            screen->hops.revoke();
            alive.erase(screen.get());
            center.removeObserver(screen.get());
            loop.releaseLater(std::move(screen));
        });
        loop.runPending();
        EXPECT_EQ(screen, nullptr);
        workerHop.store(&kept);
    }
    stop.store(true);
    frames.drain();
    loop.runPending();
    EXPECT_EQ(lateRuns, 0);
}

TEST(RunLoopConcurrencyTest, AnAlertShownFromAnotherThreadOpensOnTheMainThread) {
    struct Delegate : AlertViewDelegate {
        bool onMain = false;
        void clickedButtonAtIndex(AlertView&, int) override { onMain = RunLoop::isMainThread(); }
    } delegate;
    auto& app = Application::sharedApplication();
    std::thread([&] {
        AlertView::show(std::make_unique<AlertView>("", "Upload failed", &delegate, "Ok",
                                                    std::vector<std::string>{}));
    }).join();
    RunLoop& loop = RunLoop::main();
    ASSERT_TRUE(loop.runUntilCondition([&] { return app.visibleAlert() != nullptr; }, 10.0));
    EXPECT_TRUE(app.answerAlert(0));
    EXPECT_TRUE(delegate.onMain);
    app.reset();
    RunLoop::main().runPending();
}

}  // namespace
}  // namespace kesto
