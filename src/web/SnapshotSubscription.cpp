#include "web/SnapshotSubscription.h"

namespace kesto {

void SnapshotSubscription::offer(Event event) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        if (pending_) {
            ++dropped_;
        }
        pending_ = std::move(event);
    }
    changed_.notify_one();
}

SnapshotSubscription::Next SnapshotSubscription::next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return closed_ || pending_ != nullptr; });
    if (closed_) {
        return {Status::Closed, nullptr};
    }
    if (!pending_) {
        return {Status::Timeout, nullptr};
    }
    return {Status::Event, std::move(pending_)};
}

void SnapshotSubscription::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        pending_.reset();
    }
    changed_.notify_all();
}

bool SnapshotSubscription::isClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

std::uint64_t SnapshotSubscription::dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

}  // namespace kesto
