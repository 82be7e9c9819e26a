#include "platform/NotificationCenter.h"

#include <algorithm>

#include "platform/NoDestructor.h"
#include "platform/internal/Isolated.h"

namespace kesto {

struct NotificationCenter::Registration {
    const void* observer;
    std::string name;
    const void* sender;
    Handler handler;

    std::mutex mutex;
    std::condition_variable idle;
    bool removed = false;
    std::vector<std::thread::id> callers;  // threads inside the handler now

    bool busyOnOtherThreads() const {
        const auto self = std::this_thread::get_id();
        return std::any_of(callers.begin(), callers.end(),
                           [self](std::thread::id id) { return id != self; });
    }
};

NotificationCenter& NotificationCenter::defaultCenter() {
    static NoDestructor<NotificationCenter> center;
    return center.get();
}

NotificationCenter::NotificationCenter() : registrations_(std::make_shared<const List>()) {}

NotificationCenter::~NotificationCenter() = default;

void NotificationCenter::addObserver(const void* observer, std::string name, Handler handler,
                                     const void* sender) {
    auto registration = std::make_shared<Registration>();
    registration->observer = observer;
    registration->name = std::move(name);
    registration->sender = sender;
    registration->handler = std::move(handler);
    registration->callers.reserve(4);

    std::lock_guard lock(mutex_);
    auto next = std::make_shared<List>(*registrations_);
    next->push_back(std::move(registration));
    registrations_ = std::move(next);
}

template <typename Match>
void NotificationCenter::removeMatching(Match match) {
    List removed;
    {
        std::lock_guard lock(mutex_);
        auto next = std::make_shared<List>();
        for (const auto& registration : *registrations_) {
            (match(*registration) ? removed : *next).push_back(registration);
        }
        registrations_ = std::move(next);
    }
    // A post that took its snapshot before the swap may still reach these:
    // mark them dead and wait for calls already inside the handler.
    for (const auto& registration : removed) {
        std::unique_lock lock(registration->mutex);
        registration->removed = true;
        registration->idle.wait(lock, [&] { return !registration->busyOnOtherThreads(); });
    }
}

void NotificationCenter::removeObserver(const void* observer) {
    removeMatching([observer](const Registration& r) { return r.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, std::string_view name,
                                        const void* sender) {
    removeMatching([&](const Registration& r) {
        return r.observer == observer && r.name == name && (!sender || r.sender == sender);
    });
}

void NotificationCenter::post(std::string_view name, const void* sender,
                              const PropertyListValue* payload) {
    std::shared_ptr<const List> snapshot;
    {
        std::lock_guard lock(mutex_);
        snapshot = registrations_;
    }
    const Notification notification{name, sender, payload};
    const auto self = std::this_thread::get_id();
    for (const auto& registration : *snapshot) {
        if (registration->name != name ||
            (registration->sender && registration->sender != sender)) {
            continue;
        }
        {
            std::lock_guard lock(registration->mutex);
            if (registration->removed) {
                continue;
            }
            registration->callers.push_back(self);
        }
        // A throwing observer must still leave the handler (or removeObserver
        // would wait for it forever) and must not keep the others from hearing.
        try {
            registration->handler(notification);
        } catch (...) {
            logCaughtException("Notification " + std::string(name) + ": an observer");
        }
        {
            std::lock_guard lock(registration->mutex);
            auto& callers = registration->callers;
            callers.erase(std::find(callers.begin(), callers.end(), self));
        }
        registration->idle.notify_all();
    }
}

}  // namespace kesto
