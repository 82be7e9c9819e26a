#include "platform/RunLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/NoDestructor.h"
#include "platform/ThreadCheck.h"
#include "platform/internal/Isolated.h"

namespace kesto {
namespace {

// Static initialisation runs on the thread that enters main().
const std::thread::id processMainThread = std::this_thread::get_id();

// A loop that keeps requeueing work at the same instant never settles; stop
// after this many passes instead of hanging the caller.
constexpr std::size_t kMaxPassesPerSettle = 100000;

// Below this a repeating timer would spin the loop.
constexpr double kMinimumInterval = 0.0001;

int millisecondsUntil(Date due) {
    const double seconds = due.timeIntervalSince(Clock::now());
    if (seconds <= 0.0) {
        return 0;
    }
    const double ms = std::ceil(seconds * 1000.0);
    return ms > 86400000.0 ? 86400000 : static_cast<int>(ms);
}

}  // namespace

Date RunLoop::Scheduled::due() const {
    return base.addingTimeInterval(static_cast<double>(fires + 1) * interval);
}

RunLoop& RunLoop::main() {
    static NoDestructor<RunLoop> loop(processMainThread);
    // Reached first from another thread, it becomes the main thread's
    // dispatcher the first time the main thread reaches it.
    loop->claimThread();
    return loop.get();
}

bool RunLoop::isMainThread() {
    return std::this_thread::get_id() == processMainThread;
}

RunLoop::RunLoop() : RunLoop(std::this_thread::get_id()) {}

RunLoop::RunLoop(std::thread::id owner)
    : thread_(owner), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!wakeFd_) {
        Console::log("RunLoop: no wake-up descriptor; waiting falls back to short sleeps");
    }
    claimThread();
}

RunLoop::~RunLoop() {
    if (ThreadDispatcher::current() == this) {
        ThreadDispatcher::setCurrent(nullptr);
    }
}

void RunLoop::claimThread() {
    if (std::this_thread::get_id() == thread_ && ThreadDispatcher::current() != this) {
        ThreadDispatcher::setCurrent(this);
    }
}

void RunLoop::checkThread([[maybe_unused]] const char* entryPoint) const {
#ifdef KESTO_THREAD_CHECKS
    if (std::this_thread::get_id() != thread_) {
        threadCheckFailed(entryPoint);
    }
#endif
}

void RunLoop::dispatch(Work work) {
    enqueue(std::move(work), nullptr);
}

void RunLoop::enqueue(Work work, Revoked revoked) {
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(Queued{std::move(work), std::move(revoked)});
    }
    wake();
}

void RunLoop::wake() {
    if (wakeFd_) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(wakeFd_.get(), &one, sizeof one);
    }
}

void RunLoop::performAfterDelay(const void* target, double delay, Work work) {
    checkThread("RunLoop::performAfterDelay");
    const double d = std::isfinite(delay) && delay > 0.0 ? delay : 0.0;
    scheduled_.emplace(nextId_++, Scheduled{Clock::now(), 0, d, false, target, true,
                                            std::make_shared<Work>(std::move(work))});
}

void RunLoop::cancelPreviousPerformRequests(const void* target) {
    checkThread("RunLoop::cancelPreviousPerformRequests");
    std::erase_if(scheduled_, [target](const auto& entry) {
        return entry.second.deferred && entry.second.target == target && target != nullptr;
    });
}

RunLoop::TimerId RunLoop::addTimer(double interval, bool repeats, Work action) {
    checkThread("RunLoop::addTimer");
    const double i =
        std::isfinite(interval) && interval > kMinimumInterval ? interval : kMinimumInterval;
    const TimerId id = nextId_++;
    scheduled_.emplace(id, Scheduled{Clock::now(), 0, i, repeats, nullptr, false,
                                     std::make_shared<Work>(std::move(action))});
    return id;
}

void RunLoop::removeTimer(TimerId id) {
    checkThread("RunLoop::removeTimer");
    scheduled_.erase(id);
}

bool RunLoop::hasTimer(TimerId id) const {
    checkThread("RunLoop::hasTimer");
    return scheduled_.contains(id);
}

Date RunLoop::timerFireDate(TimerId id) const {
    checkThread("RunLoop::timerFireDate");
    const auto it = scheduled_.find(id);
    return it == scheduled_.end() ? Date() : it->second.due();
}

std::uint64_t RunLoop::watchFileDescriptor(UniqueFd fd, short events, DescriptorHandler handler) {
    checkThread("RunLoop::watchFileDescriptor");
    const auto id = nextId_++;
    watches_.emplace(
        id, Watch{std::move(fd), events, std::make_shared<DescriptorHandler>(std::move(handler))});
    return id;
}

void RunLoop::unwatchFileDescriptor(std::uint64_t id) {
    checkThread("RunLoop::unwatchFileDescriptor");
    watches_.erase(id);
}

std::uint64_t RunLoop::addPassObserver(Work observer) {
    checkThread("RunLoop::addPassObserver");
    const auto id = nextId_++;
    passObservers_.emplace(id, std::make_shared<Work>(std::move(observer)));
    return id;
}

void RunLoop::removePassObserver(std::uint64_t id) {
    checkThread("RunLoop::removePassObserver");
    passObservers_.erase(id);
}

std::optional<Date> RunLoop::nextDueDate() const {
    checkThread("RunLoop::nextDueDate");
    std::optional<Date> next;
    for (const auto& [id, item] : scheduled_) {
        const Date due = item.due();
        if (!next || due < *next) {
            next = due;
        }
    }
    return next;
}

std::size_t RunLoop::runDueTimers(Date now, TimerId limit) {
    std::vector<std::pair<Date, TimerId>> due;
    for (const auto& [id, item] : scheduled_) {
        if (id < limit && item.due() <= now) {
            due.emplace_back(item.due(), id);
        }
    }
    std::sort(due.begin(), due.end());
    std::size_t ran = 0;
    for (const auto& [when, id] : due) {
        auto it = scheduled_.find(id);
        if (it == scheduled_.end()) {
            continue;  // invalidated or cancelled by an earlier item of this pass
        }
        const auto action = it->second.action;
        const char* what = it->second.deferred ? "RunLoop: a deferred call" : "RunLoop: a timer";
        if (it->second.repeats) {
            auto& item = it->second;
            item.fires += 1;
            if (item.due() <= now) {
                // Late by more than one interval: skip the missed fires.
                const double behind = now.timeIntervalSince(item.base) / item.interval;
                item.fires = std::max(item.fires, static_cast<std::uint64_t>(std::floor(behind)));
                while (item.due() <= now) {
                    item.fires += 1;
                }
            }
        } else {
            scheduled_.erase(it);
        }
        runIsolated(what, *action);
        ++ran;
    }
    return ran;
}

std::size_t RunLoop::pollDescriptors(int timeoutMs) {
    if (watches_.empty()) {
        return 0;
    }
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    for (const auto& [id, watch] : watches_) {
        fds.push_back(pollfd{watch.fd.get(), watch.events, 0});
        ids.push_back(id);
    }
    if (poll(fds.data(), fds.size(), timeoutMs) <= 0) {
        return 0;
    }
    std::size_t ran = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const auto it = watches_.find(ids[i]);
        if (it == watches_.end()) {
            continue;  // unwatched by an earlier handler of this pass
        }
        const auto handler = it->second.handler;
        const int fd = fds[i].fd;
        const short revents = fds[i].revents;
        runIsolated("RunLoop: a descriptor handler", [&] { (*handler)(fd, revents); });
        ++ran;
    }
    return ran;
}

std::size_t RunLoop::runOnePass() {
    claimThread();
    // Only what was scheduled before the pass began runs in it: a call
    // scheduled by this pass (even with delay 0) belongs to the next one.
    const TimerId limit = nextId_;
    std::deque<Queued> work;
    {
        std::lock_guard lock(queueMutex_);
        work.swap(queue_);
    }
    std::size_t ran = 0;
    for (auto& item : work) {
        // Revoked on this thread (possibly by an earlier item of this pass).
        if (item.revoked && item.revoked->load(std::memory_order_relaxed)) {
            continue;
        }
        runIsolated("RunLoop: dispatched work", item.work);
        ++ran;
    }
    ran += runDueTimers(Clock::now(), limit);
    ran += pollDescriptors(0);
    // Objects released during the pass go now; their destructors may release more.
    while (!released_.empty()) {
        auto batch = std::move(released_);
        released_.clear();
        batch.clear();
    }
    if (ran > 0 && !passObservers_.empty()) {
        // A copy: an observer may remove itself or another.
        const auto observers = passObservers_;
        for (const auto& [id, observer] : observers) {
            if (passObservers_.contains(id)) {
                runIsolated("RunLoop: a pass observer", *observer);
            }
        }
    }
    return ran;
}

std::size_t RunLoop::runPending() {
    checkThread("RunLoop::runPending");
    std::size_t total = 0;
    for (std::size_t pass = 0; pass < kMaxPassesPerSettle; ++pass) {
        const std::size_t ran = runOnePass();
        total += ran;
        if (ran == 0) {
            return total;
        }
    }
    Console::log("RunLoop: work keeps requeueing itself at the same instant; pass limit reached");
    return total;
}

void RunLoop::waitForWork(int timeoutMs) {
    std::vector<pollfd> fds;
    if (wakeFd_) {
        fds.push_back(pollfd{wakeFd_.get(), POLLIN, 0});
    }
    for (const auto& [id, watch] : watches_) {
        fds.push_back(pollfd{watch.fd.get(), watch.events, 0});
    }
    {
        std::lock_guard lock(queueMutex_);
        if (!queue_.empty()) {
            return;
        }
    }
    if (fds.empty()) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(timeoutMs < 0 ? 10 : std::min(timeoutMs, 10)));
        return;
    }
    poll(fds.data(), fds.size(), timeoutMs);
    if (wakeFd_ && (fds[0].revents & POLLIN)) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = read(wakeFd_.get(), &count, sizeof count);
    }
}

void RunLoop::runUntil(Date date) {
    checkThread("RunLoop::runUntil");
    if (Clock::isManual()) {
        runPending();
        for (auto next = nextDueDate(); next && *next <= date; next = nextDueDate()) {
            if (*next > Clock::now()) {
                Clock::setManual(*next);
            }
            runPending();
        }
        if (Clock::now() < date) {
            Clock::setManual(date);
        }
        runPending();
        return;
    }
    stopped_.store(false);
    while (!stopped_.load() && Clock::now() < date) {
        runPending();
        Date until = date;
        if (const auto next = nextDueDate(); next && *next < until) {
            until = *next;
        }
        waitForWork(millisecondsUntil(until));
    }
    runPending();
}

void RunLoop::runFor(double seconds) {
    runUntil(Clock::now().addingTimeInterval(seconds));
}

bool RunLoop::runUntilCondition(const std::function<bool()>& done, double timeoutSeconds) {
    checkThread("RunLoop::runUntilCondition");
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                   std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        runPending();
        if (done()) {
            return true;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline) {
            return false;
        }
        int timeoutMs = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1);
        if (!Clock::isManual()) {
            if (const auto next = nextDueDate()) {
                timeoutMs = std::min(timeoutMs, millisecondsUntil(*next));
            }
        }
        waitForWork(timeoutMs);
    }
}

void RunLoop::run() {
    checkThread("RunLoop::run");
    stopped_.store(false);
    while (!stopped_.load()) {
        runPending();
        int timeoutMs = -1;
        if (const auto next = nextDueDate()) {
            timeoutMs = Clock::isManual() ? -1 : millisecondsUntil(*next);
        }
        if (!stopped_.load()) {
            waitForWork(timeoutMs);
        }
    }
}

void RunLoop::stop() {
    stopped_.store(true);
    wake();
}

}  // namespace kesto
