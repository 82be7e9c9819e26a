#include "web/SnapshotSubscription.h"

namespace kesto {

void SnapshotSubscription::setWake(Wake wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

void SnapshotSubscription::offer(Event event) {
    Wake wake;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        pending_ = std::move(event);
        wake = wake_;
    }
    if (wake) {
        wake();
    }
}

SnapshotSubscription::Taken SnapshotSubscription::take() {
    std::lock_guard lock(mutex_);
    return {std::move(pending_), closed_};
}

void SnapshotSubscription::close() {
    Wake wake;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        pending_.reset();
        wake = std::move(wake_);
    }
    if (wake) {
        wake();
    }
}

}  // namespace kesto
