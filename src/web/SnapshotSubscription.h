#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kesto {

// One browser's place in the snapshot stream: a queue of one. The main
// thread offers each new snapshot; the connection's thread takes it when
// its socket is ready. A newer snapshot replaces one not yet taken, so a
// slow or vanished browser costs the main thread one pointer swap, never a
// wait, and gets only the newest state when it catches up.
//
// Threads: any.
class SnapshotSubscription {
  public:
    using Event = std::shared_ptr<const std::string>;
    enum class Status { Event, Timeout, Closed };
    struct Next {
        Status status;
        Event event;
    };

    void offer(Event event);
    // Waits up to `timeout` for a snapshot not yet taken.
    Next next(std::chrono::milliseconds timeout);
    // Wakes the reader; next() answers Closed from then on.
    void close();
    bool isClosed() const;
    // Snapshots replaced before they were taken.
    std::uint64_t dropped() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Event pending_;
    bool closed_ = false;
    std::uint64_t dropped_ = 0;
};

}  // namespace kesto
