#include "platform/HopTarget.h"

namespace kesto {

HopTarget::HopTarget(RunLoop& loop) : loop_(loop) {
    loop_.checkThread("HopTarget::HopTarget");
}

void HopTarget::hop(RunLoop::Work work) const {
    if (!revoked_->load(std::memory_order_relaxed)) {
        loop_.enqueue(std::move(work), revoked_);
    }
}

HopTarget::~HopTarget() {
    revoke();
}

void HopTarget::revoke() {
    loop_.checkThread("HopTarget::revoke");
    revoked_->store(true, std::memory_order_relaxed);
}

bool HopTarget::isRevoked() const {
    loop_.checkThread("HopTarget::isRevoked");
    return revoked_->load(std::memory_order_relaxed);
}

}  // namespace kesto
