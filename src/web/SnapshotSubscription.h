#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kesto {

// One browser's place in the snapshot stream: a queue of one. The main
// thread offers each new snapshot; the server's thread takes it when the
// browser can take more. A newer snapshot replaces one not yet taken, so a
// slow or vanished browser costs the main thread one pointer swap, never a
// wait, and gets only the newest state when it catches up.
//
// Threads: any. `wake` is called on the offering (or closing) thread,
// outside the lock.
class SnapshotSubscription {
  public:
    using Event = std::shared_ptr<const std::string>;
    using Wake = std::function<void()>;
    struct Taken {
        Event event;  // null: nothing new
        bool closed = false;
    };

    // Called whenever there is something new to take (or the subscription closed).
    void setWake(Wake wake);
    void offer(Event event);
    Taken take();
    // take() answers closed from then on.
    void close();

  private:
    std::mutex mutex_;
    Event pending_;
    bool closed_ = false;
    Wake wake_;
};

}  // namespace kesto
