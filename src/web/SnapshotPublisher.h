#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/HopTarget.h"
#include "platform/RunLoop.h"
#include "web/SnapshotSubscription.h"

namespace kesto {

// Turns the application's state into server-sent events. At the end of
// every run-loop pass that ran anything (RunLoop::addPassObserver) it asks
// `source` for the state, on the main thread, and when that differs from
// the last one published it numbers it and offers it to every subscriber
// as one event:
//
//   event: snapshot
//   data: {...the state..., "version": N}
//   (blank line)
//
// N grows by one with each published state, from 1 when the publisher
// starts (a restarted server starts again at 1). A pass that changed nothing
// publishes nothing. A new subscriber gets the latest event at once.
//
// Threads: construction, start(), publishIfChanged() and destruction on the
// loop's thread; subscribe(), unsubscribe(), setNeedsPublish(), close() and
// the counters from any thread.
class SnapshotPublisher {
  public:
    using Source = std::function<nlohmann::json()>;
    using Event = SnapshotSubscription::Event;

    explicit SnapshotPublisher(Source source, RunLoop& loop = RunLoop::main());
    ~SnapshotPublisher();
    SnapshotPublisher(const SnapshotPublisher&) = delete;
    SnapshotPublisher& operator=(const SnapshotPublisher&) = delete;

    // Publishes the first state and follows every pass from then on.
    void start();
    void publishIfChanged();
    // Something changed outside the loop (a frame's event, the simulator):
    // makes the loop run a pass soon. Repeated calls before it runs make one.
    void setNeedsPublish();

    // Null when closed or when `limit` subscribers are already there; the
    // latest event is waiting in a new subscription.
    std::shared_ptr<SnapshotSubscription> subscribe(std::size_t limit);
    void unsubscribe(const std::shared_ptr<SnapshotSubscription>& subscription);
    // Closes every subscription and refuses new ones (server shutting down).
    void close();

    std::uint64_t version() const { return version_.load(); }
    std::size_t subscriberCount() const;

  private:
    RunLoop& loop_;
    Source source_;
    std::uint64_t passObserver_ = 0;
    std::string lastState_;  // loop thread only
    std::atomic<std::uint64_t> version_{0};
    std::atomic<bool> publishQueued_{false};

    mutable std::mutex mutex_;  // guards the three below
    Event latest_;
    std::vector<std::shared_ptr<SnapshotSubscription>> subscribers_;
    bool closed_ = false;

    HopTarget hops_;  // last: revoked first when this goes
};

}  // namespace kesto
