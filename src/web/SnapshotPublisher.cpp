#include "web/SnapshotPublisher.h"

#include <algorithm>

namespace kesto {

SnapshotPublisher::SnapshotPublisher(Source source, RunLoop& loop)
    : loop_(loop), source_(std::move(source)), hops_(loop) {}

SnapshotPublisher::~SnapshotPublisher() {
    if (passObserver_ != 0) {
        loop_.removePassObserver(passObserver_);
    }
    close();
}

void SnapshotPublisher::start() {
    if (passObserver_ == 0) {
        passObserver_ = loop_.addPassObserver([this] { publishIfChanged(); });
    }
    publishIfChanged();
}

void SnapshotPublisher::publishIfChanged() {
    publishQueued_.store(false);
    std::string state = source_().dump();
    if (state == lastState_ || state.size() < 2 || state.back() != '}') {
        return;
    }
    lastState_ = state;
    const auto version = version_.load() + 1;
    // The state is an object: the version goes in as its last member.
    state.pop_back();
    auto event = std::make_shared<const std::string>(
        "event: snapshot\ndata: " + state + (state.size() > 1 ? "," : "") +
        "\"version\":" + std::to_string(version) + "}\n\n");
    version_.store(version);
    std::vector<std::shared_ptr<SnapshotSubscription>> subscribers;
    {
        std::lock_guard lock(mutex_);
        latest_ = event;
        subscribers = subscribers_;
    }
    for (const auto& subscriber : subscribers) {
        subscriber->offer(event);
    }
}

void SnapshotPublisher::setNeedsPublish() {
    if (!publishQueued_.exchange(true)) {
        // An empty hop is enough: the pass it makes ends with publishIfChanged().
        hops_.hop([] {});
    }
}

std::shared_ptr<SnapshotSubscription> SnapshotPublisher::subscribe(std::size_t limit) {
    std::lock_guard lock(mutex_);
    if (closed_ || subscribers_.size() >= limit) {
        return nullptr;
    }
    auto subscription = std::make_shared<SnapshotSubscription>();
    if (latest_) {
        subscription->offer(latest_);
    }
    subscribers_.push_back(subscription);
    return subscription;
}

void SnapshotPublisher::unsubscribe(const std::shared_ptr<SnapshotSubscription>& subscription) {
    if (!subscription) {
        return;
    }
    subscription->close();
    std::lock_guard lock(mutex_);
    std::erase(subscribers_, subscription);
}

void SnapshotPublisher::close() {
    std::vector<std::shared_ptr<SnapshotSubscription>> subscribers;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        subscribers.swap(subscribers_);
    }
    for (const auto& subscriber : subscribers) {
        subscriber->close();
    }
}

std::size_t SnapshotPublisher::subscriberCount() const {
    std::lock_guard lock(mutex_);
    return subscribers_.size();
}

}  // namespace kesto
