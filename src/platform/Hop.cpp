#include "platform/Hop.h"

namespace kesto {

void Hop::hop(RunLoop::Work work) const {
    // A cheap early out for a target long gone; the check that counts is
    // made on the loop's thread when the work comes up.
    if (loop_ != nullptr && !revoked_->load(std::memory_order_relaxed)) {
        loop_->enqueue(std::move(work), revoked_);
    }
}

}  // namespace kesto
