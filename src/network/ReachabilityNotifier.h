#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "network/ReachabilityFlags.h"
#include "network/RouteWatch.h"
#include "platform/ThreadDispatcher.h"

namespace kesto {

class ReachabilityHandle;

// Watches one target for changes of its flag word and reports each on the
// thread of a dispatcher (the run loop of the thread that started it).
//
// A watcher thread waits on the routing-state watch; after each burst of
// changes it reads the target's flag word again and, when the word differs
// from the last one seen (or a read now fails or succeeds again), dispatches
// `changed`. Routing changes that do not touch the target are not reported.
//
// Threads: start and stop from any thread, one at a time for a notifier;
// `changed` runs on the dispatcher's thread. Once stop() (or the destructor)
// returns, `changed` never runs again: calls already queued are dropped and
// a call in progress on another thread is waited for. `changed` may stop its
// own notifier.
class ReachabilityNotifier {
  public:
    // Starts watching `handle` (which must outlive the notifier); the flag
    // word read now is the base for the first change. nullptr when the
    // routing state cannot be watched.
    static std::unique_ptr<ReachabilityNotifier> start(const ReachabilityHandle& handle,
                                                       ThreadDispatcher& dispatcher,
                                                       std::function<void()> changed);

    ReachabilityNotifier(const ReachabilityHandle& handle, ThreadDispatcher& dispatcher,
                         std::function<void()> changed, std::unique_ptr<RouteWatch> watch);
    ~ReachabilityNotifier();
    ReachabilityNotifier(const ReachabilityNotifier&) = delete;
    ReachabilityNotifier& operator=(const ReachabilityNotifier&) = delete;

    void stop();

  private:
    // Shared with the calls queued on the dispatcher, which may outlive the
    // notifier.
    struct Delivery {
        std::mutex mutex;
        std::condition_variable idle;
        bool active = true;
        std::optional<std::thread::id> runningOn;
    };

    void watch(std::optional<SCNetworkReachabilityFlags> last);
    static void deliver(Delivery& delivery, const std::function<void()>& changed);

    const ReachabilityHandle& handle_;
    ThreadDispatcher& dispatcher_;
    std::function<void()> changed_;
    std::unique_ptr<RouteWatch> watch_;
    std::shared_ptr<Delivery> delivery_;
    std::thread watcher_;
};

}  // namespace kesto
