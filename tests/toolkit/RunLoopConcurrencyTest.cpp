#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/BackgroundThread.h"
#include "platform/NotificationCenter.h"
#include "platform/RunLoop.h"
#include "platform/ThreadDispatcher.h"
#include "toolkit/AlertView.h"
#include "toolkit/Application.h"

namespace kesto {
namespace {

TEST(RunLoopConcurrencyTest, HopsFromManyThreadsRunOnTheMainThreadOncePerCallInOrder) {
    RunLoop& loop = RunLoop::main();
    loop.runPending();
    ASSERT_TRUE(RunLoop::isMainThread());
    EXPECT_EQ(ThreadDispatcher::current(), &loop);

    constexpr int kThreads = 4;
    constexpr int kHops = 500;
    std::vector<std::vector<int>> seen(kThreads);  // written on the main thread only
    std::atomic<int> offMain{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            EXPECT_FALSE(RunLoop::isMainThread());
            for (int i = 0; i < kHops; ++i) {
                loop.dispatch([&, t, i] {
                    if (!RunLoop::isMainThread()) {
                        offMain.fetch_add(1);
                    }
                    seen[static_cast<std::size_t>(t)].push_back(i);
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::size_t total = 0;
    EXPECT_TRUE(loop.runUntilCondition(
        [&] {
            total = 0;
            for (const auto& s : seen) {
                total += s.size();
            }
            return total == kThreads * kHops;
        },
        10.0));
    EXPECT_EQ(offMain.load(), 0);
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), static_cast<std::size_t>(kHops));
        for (int i = 0; i < kHops; ++i) {
            EXPECT_EQ(s[static_cast<std::size_t>(i)], i);
        }
    }
}

// A frame-thread notification reaches its observer on that thread, which
// hops to the main thread without waiting.
TEST(RunLoopConcurrencyTest, ObserverRunsOnThePostingThreadAndHopsToMain) {
    RunLoop& loop = RunLoop::main();
    NotificationCenter center;
    int observer = 0;
    std::atomic<bool> observedOnPoster{false};
    std::thread::id posterId;
    std::thread::id handlerThread;
    bool handled = false;
    center.addObserver(&observer, "MatriceImageChanged", [&](const Notification&) {
        observedOnPoster.store(std::this_thread::get_id() == posterId);
        loop.dispatch([&] {
            handlerThread = std::this_thread::get_id();
            handled = true;
        });
    });
    std::atomic<bool> go{false};
    std::thread poster([&] {
        while (!go.load()) {
            std::this_thread::yield();
        }
        center.post("MatriceImageChanged");
    });
    posterId = poster.get_id();
    go.store(true);
    poster.join();
    EXPECT_TRUE(observedOnPoster.load());
    ASSERT_TRUE(loop.runUntilCondition([&] { return handled; }, 10.0));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
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

TEST(RunLoopConcurrencyTest, BackgroundWorkRunsOnANewThreadPerCall) {
    std::atomic<int> ranOffMain{0};
    for (int i = 0; i < 3; ++i) {
        BackgroundThread::detachNew([&] {
            if (!RunLoop::isMainThread()) {
                ranOffMain.fetch_add(1);
            }
        });
    }
    ASSERT_TRUE(BackgroundThread::waitForAll(10.0));
    EXPECT_EQ(ranOffMain.load(), 3);
    EXPECT_EQ(BackgroundThread::running(), 0u);
}

}  // namespace
}  // namespace kesto
