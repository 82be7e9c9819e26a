#include "network/ReachabilityNotifier.h"

#include "network/ReachabilityHandle.h"

namespace kesto {

std::unique_ptr<ReachabilityNotifier> ReachabilityNotifier::start(const ReachabilityHandle& handle,
                                                                  ThreadDispatcher& dispatcher,
                                                                  std::function<void()> changed) {
    // Opened before the base read, so that no change can slip in between.
    auto watch = handle.openWatch();
    if (!watch) {
        return nullptr;
    }
    try {
        return std::make_unique<ReachabilityNotifier>(handle, dispatcher, std::move(changed),
                                                      std::move(watch));
    } catch (const std::system_error&) {
        return nullptr;  // no watcher thread could be started
    }
}

ReachabilityNotifier::ReachabilityNotifier(const ReachabilityHandle& handle,
                                           ThreadDispatcher& dispatcher,
                                           std::function<void()> changed,
                                           std::unique_ptr<RouteWatch> watch)
    : handle_(handle),
      dispatcher_(dispatcher),
      changed_(std::move(changed)),
      watch_(std::move(watch)),
      delivery_(std::make_shared<Delivery>()) {
    watcher_ = std::thread(&ReachabilityNotifier::watch, this, handle_.getFlags());
}

ReachabilityNotifier::~ReachabilityNotifier() {
    stop();
}

void ReachabilityNotifier::stop() {
    {
        std::unique_lock lock(delivery_->mutex);
        delivery_->active = false;
        const auto self = std::this_thread::get_id();
        delivery_->idle.wait(
            lock, [&] { return !delivery_->runningOn || *delivery_->runningOn == self; });
    }
    if (watcher_.joinable()) {
        watch_->interrupt();
        if (watcher_.get_id() == std::this_thread::get_id()) {
            watcher_.detach();  // a dispatcher that runs work inline stopped us
        } else {
            watcher_.join();
        }
    }
}

void ReachabilityNotifier::watch(std::optional<SCNetworkReachabilityFlags> last) {
    // A local reference: a dispatcher that runs work inline may stop and
    // destroy this notifier from within dispatch().
    const auto delivery = delivery_;
    auto stillActive = [&] {
        std::lock_guard lock(delivery->mutex);
        return delivery->active;
    };
    while (watch_->wait()) {
        const auto flags = handle_.getFlags();
        if (flags == last) {
            continue;
        }
        last = flags;
        if (!stillActive()) {
            return;
        }
        dispatcher_.dispatch([delivery, changed = changed_] { deliver(*delivery, changed); });
        if (!stillActive()) {
            return;
        }
    }
}

void ReachabilityNotifier::deliver(Delivery& delivery, const std::function<void()>& changed) {
    {
        std::lock_guard lock(delivery.mutex);
        if (!delivery.active) {
            return;
        }
        delivery.runningOn = std::this_thread::get_id();
    }
    changed();
    {
        std::lock_guard lock(delivery.mutex);
        delivery.runningOn.reset();
    }
    delivery.idle.notify_all();
}

}  // namespace kesto
