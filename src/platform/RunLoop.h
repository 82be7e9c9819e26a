#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Date.h"
#include "platform/ThreadDispatcher.h"
#include "platform/UniqueFd.h"

namespace kesto {

// A thread's run loop: queued work, timers, deferred calls and watched file
// descriptors, all timed by kesto::Clock.
//
// One pass runs, in order: the work queued before the pass began (FIFO), the
// timers and deferred calls due at the clock's current time (by due date,
// then by scheduling order), the ready file descriptors, and finally drops the
// objects handed to releaseLater(). Work queued during a pass runs in the
// next one, so a deferred call of delay 0 never runs inside the pass that
// asked for it.
//
// Real time: run() sleeps (poll) until the next due timer, a ready file
// descriptor or a wake-up from dispatch(). Manual clock: runFor()/runUntil()
// move the clock to each due time in order and fire what is due, so 30 s of
// 1/14 s ticks take milliseconds and give exactly the ticks of real time.
//
// Work, timers, deferred calls and descriptor handlers that throw are logged
// and isolated: the rest of the pass runs, and the loop goes on.
//
// Threads: dispatch() and stop() from any thread. Everything else only on the
// loop's thread (for main(), the process's main thread); builds with thread
// checks abort on a call from another thread. Work for an object that may be
// destroyed before it runs goes through a HopTarget (platform/HopTarget.h),
// not dispatch().
class RunLoop final : public ThreadDispatcher {
  public:
    using Work = std::function<void()>;
    using TimerId = std::uint64_t;

    // The main thread's loop, built on first use and never destroyed; it is
    // the main thread's ThreadDispatcher from then on.
    static RunLoop& main();
    // True on the process's main thread (the thread that ran static
    // initialisation, i.e. the one that entered main()).
    static bool isMainThread();

    // A loop for the calling thread; it becomes that thread's dispatcher.
    RunLoop();
    // A loop for the thread `owner` (main() uses it: the loop may first be
    // reached from another thread).
    explicit RunLoop(std::thread::id owner);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Queues `work` for the next pass and returns at once; one run per call,
    // in call order. Any thread.
    void dispatch(Work work) override;

    // Deferred call: runs `work` once, `delay` seconds from now (0: at the
    // next pass). `target` identifies the caller for cancelling.
    void performAfterDelay(const void* target, double delay, Work work);
    // Drops every pending deferred call of `target`.
    void cancelPreviousPerformRequests(const void* target);

    // Timers (see Timer for the owning handle). A repeating timer fires at
    // start + k × interval; when a pass comes late by more than one interval
    // the missed fires are skipped, not bunched.
    TimerId addTimer(double interval, bool repeats, Work action);
    void removeTimer(TimerId id);
    bool hasTimer(TimerId id) const;
    Date timerFireDate(TimerId id) const;

    // Calls `handler(fd, revents)` whenever poll() reports `events` on `fd`.
    // The loop holds `fd` from then on and closes it when it is unwatched (or
    // the loop goes), so a watched descriptor is never closed under the poll.
    // Returns an id for unwatchFileDescriptor.
    using DescriptorHandler = std::function<void(int fd, short revents)>;
    std::uint64_t watchFileDescriptor(UniqueFd fd, short events, DescriptorHandler handler);
    void unwatchFileDescriptor(std::uint64_t id);

    // Calls `observer` at the end of every pass that ran anything (after the
    // objects released during the pass went), so a front end can publish
    // what the pass changed once, not after every item. An observer's own
    // work does not count as the pass's: a loop with nothing else to do
    // settles. Work it queues runs at the next pass.
    std::uint64_t addPassObserver(Work observer);
    void removePassObserver(std::uint64_t id);

    // Keeps `object` alive until the end of the current pass (like an
    // autorelease pool): a screen dismissed from inside its own action goes
    // away only after that action has returned.
    template <typename T>
    void releaseLater(std::unique_ptr<T> object) {
        checkThread("RunLoop::releaseLater");
        if (object) {
            released_.push_back(std::make_unique<Held<T>>(std::move(object)));
        }
    }

    // Runs passes until nothing more is due at the clock's current time;
    // returns the number of items run. Never moves the clock.
    std::size_t runPending();
    // Runs the loop until `date`: with a manual clock it moves the clock to
    // each due time in turn, ending at `date`; in real time it sleeps.
    void runUntil(Date date);
    void runFor(double seconds);
    // Runs passes, waiting (real time) for work from other threads, until
    // `done` answers true or `timeoutSeconds` of real time have passed.
    // Returns `done()`. Time never moves by itself with a manual clock.
    bool runUntilCondition(const std::function<bool()>& done, double timeoutSeconds);
    // Runs until stop() (real time); the application's main loop.
    void run();
    void stop();

    // The next due date of a timer or deferred call, if any.
    std::optional<Date> nextDueDate() const;

  private:
    friend class HopTarget;
    friend class Hop;
    using Revoked = std::shared_ptr<const std::atomic<bool>>;
    struct Queued {
        Work work;
        Revoked revoked;  // null for plain dispatch(); set: the work is dropped unrun
    };
    void enqueue(Work work, Revoked revoked);

    struct Releasable {
        virtual ~Releasable() = default;
    };
    template <typename T>
    struct Held final : Releasable {
        explicit Held(std::unique_ptr<T> o) : object(std::move(o)) {}
        std::unique_ptr<T> object;
    };
    struct Scheduled {
        Date base;            // first fire date minus one interval
        std::uint64_t fires;  // fires so far (the next is base + (fires+1) × interval)
        double interval;
        bool repeats;
        const void* target;  // deferred calls only
        bool deferred;
        std::shared_ptr<Work> action;
        Date due() const;
    };
    struct Watch {
        UniqueFd fd;
        short events;
        std::shared_ptr<DescriptorHandler> handler;
    };

    std::size_t runOnePass();
    std::size_t runDueTimers(Date now, TimerId limit);
    std::size_t pollDescriptors(int timeoutMs);
    void waitForWork(int timeoutMs);
    void wake();
    void claimThread();
    void checkThread(const char* entryPoint) const;

    std::thread::id thread_;
    UniqueFd wakeFd_;

    mutable std::mutex queueMutex_;  // guards queue_ only: dispatch() may come from any thread
    std::deque<Queued> queue_;

    std::map<TimerId, Scheduled> scheduled_;
    TimerId nextId_ = 1;
    std::map<std::uint64_t, Watch> watches_;
    std::map<std::uint64_t, std::shared_ptr<Work>> passObservers_;
    std::vector<std::unique_ptr<Releasable>> released_;
    std::atomic<bool> stopped_{false};
};

}  // namespace kesto
