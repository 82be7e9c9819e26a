#pragma once

#include <atomic>
#include <memory>

#include "platform/Hop.h"
#include "platform/RunLoop.h"

namespace kesto {

// Ties work queued from other threads for an object living on a loop's
// thread (a screen) to that object's life. Make it a member of the object
// and queue through it: work that has not run when the object is destroyed
// (or revoke() is called) is dropped, never run on the freed object. Neither
// revoke() nor the destructor waits: both run on the loop's thread, so no
// work queued through the target is running at that moment.
//
// Each hop costs one queue entry and one reference count; the check is made
// on the loop's thread just before the work would run, so work queued before
// a dismissal, in the same pass, is dropped too once revoke() has been called.
//
// Threads: hop() and handle() from any thread while the owner is alive (e.g.
// from a notification observer that the owner removes before its members go:
// removal waits for calls in progress). Construction, revoke(), isRevoked()
// and destruction on the loop's thread only.
class HopTarget {
  public:
    explicit HopTarget(RunLoop& loop = RunLoop::main());
    // Revokes: nothing queued through this target runs afterwards.
    ~HopTarget();
    HopTarget(const HopTarget&) = delete;
    HopTarget& operator=(const HopTarget&) = delete;

    // Queues `work` for the loop's next pass, run only if the target is still
    // alive and not revoked by then. Returns at once.
    void hop(RunLoop::Work work) const;
    // A handle for threads that may outlive the owner.
    Hop handle() const { return Hop(&loop_, revoked_); }
    // Drops everything queued and still to come; for good.
    void revoke();
    bool isRevoked() const;

  private:
    RunLoop& loop_;
    const std::shared_ptr<std::atomic<bool>> revoked_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace kesto
