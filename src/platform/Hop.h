#pragma once

#include <atomic>
#include <memory>

#include "platform/RunLoop.h"

namespace kesto {

// A copyable handle for queueing work on a loop for one HopTarget's owner; it
// may outlive the owner (hand it to a worker thread by value). Once the
// target is revoked or gone, hop() queues nothing and what it queued before
// is dropped unrun. An empty (default) handle queues nothing.
//
// Threads: any.
class Hop {
  public:
    Hop() = default;
    // Queues `work` for the next pass of the target's loop; returns at once.
    void hop(RunLoop::Work work) const;

  private:
    friend class HopTarget;
    Hop(RunLoop* loop, std::shared_ptr<std::atomic<bool>> revoked)
        : loop_(loop), revoked_(std::move(revoked)) {}
    RunLoop* loop_ = nullptr;
    std::shared_ptr<std::atomic<bool>> revoked_;
};

}  // namespace kesto
