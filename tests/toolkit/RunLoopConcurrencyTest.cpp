#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/ThreadDispatcher.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"

namespace kesto {
namespace {

TEST(RunLoopConcurrencyTest, HopsFromManyThreadsRunOnTheMainThreadOncePerCallInOrder) {
    RunLoop& loop = RunLoop::main();
    EXPECT_EQ(ThreadDispatcher::current(), &loop);
    constexpr int kThreads = 4;
    constexpr int kHops = 500;
    std::vector<std::vector<int>> seen(kThreads);  // written on the main thread only
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kHops; ++i) {
                loop.dispatch([&, t, i] { seen[static_cast<std::size_t>(t)].push_back(i); });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    loop.runPending();
    std::vector<int> inOrder(kHops);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (const auto& s : seen) {
        EXPECT_EQ(s, inOrder);
    }
}

// A frame-thread notification reaches its observer on that thread, which
// hops to the main thread without waiting.
TEST(RunLoopConcurrencyTest, ObserverRunsOnThePostingThreadAndHopsToMain) {
    RunLoop& loop = RunLoop::main();
    NotificationCenter center;
    int observer = 0;
    std::atomic<bool> onPoster{false};
    std::atomic<bool> handledOnMain{false};
    center.addObserver(&observer, "MatriceImageChanged", [&](const Notification&) {
        onPoster.store(!RunLoop::isMainThread());
        loop.dispatch([&] { handledOnMain.store(RunLoop::isMainThread()); });
    });
    std::thread([&] { center.post("MatriceImageChanged"); }).join();
    EXPECT_TRUE(onPoster.load());
    EXPECT_TRUE(loop.runUntilCondition([&] { return handledOnMain.load(); }, 10.0));
    center.removeObserver(&observer);
}

// A service started on a thread with its own loop calls back on that thread.
TEST(RunLoopConcurrencyTest, AThreadsOwnLoopIsItsDispatcherAndRunsWhatOthersSendIt) {
    std::atomic<RunLoop*> workerLoop{nullptr};
    std::atomic<bool> done{false};
    std::atomic<bool> sent{false};
    std::thread::id ranOn;
    RunLoop& mainLoop = RunLoop::main();
    std::thread worker([&] {
        RunLoop loop;
        EXPECT_EQ(ThreadDispatcher::current(), &loop);
        workerLoop.store(&loop);
        loop.runUntilCondition([&] { return done.load(); }, 10.0);
        while (!sent.load()) {  // the sender may still be inside dispatch()
            std::this_thread::yield();
        }
    });
    while (!workerLoop.load()) {
        std::this_thread::yield();
    }
    workerLoop.load()->dispatch([&] {
        ranOn = std::this_thread::get_id();
        done.store(true);
    });
    sent.store(true);
    const auto workerId = worker.get_id();
    worker.join();
    EXPECT_TRUE(done.load());
    EXPECT_EQ(ranOn, workerId);
    EXPECT_EQ(ThreadDispatcher::current(), &mainLoop);
}

// An alert raised off the main thread still opens, and answers, on the main thread.
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
    // However the loop was first reached, it is the main thread's dispatcher.
    RunLoop& loop = RunLoop::main();
    EXPECT_EQ(ThreadDispatcher::current(), &loop);
    ASSERT_TRUE(loop.runUntilCondition([&] { return app.visibleAlert() != nullptr; }, 10.0));
    EXPECT_EQ(app.visibleAlert()->message(), "Upload failed");
    EXPECT_TRUE(app.answerAlert(0));
    EXPECT_TRUE(delegate.onMain);
    app.reset();
    RunLoop::main().runPending();
}

}  // namespace
}  // namespace kesto
