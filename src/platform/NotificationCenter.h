#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/PropertyListValue.h"

namespace kesto {

// One posted notification, valid for the duration of the observers' calls.
struct Notification {
    std::string_view name;
    // Identity of the poster; observers registered with a sender filter only
    // see notifications from that sender.
    const void* sender = nullptr;
    // The value the notification carries, when it carries one.
    const PropertyListValue* payload = nullptr;
};

// The process-wide notification centre.
//
// Threads: observers run synchronously on the posting thread. Adding and
// removing observers is safe from any thread, also while a post runs on
// another thread; once removeObserver returns, the removed observer is never
// called again (removal waits for calls in progress on other threads; an
// observer may remove itself from within its own call). An observer that
// throws is logged and skipped; the others still hear the notification.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // Calls `handler` for every notification named `name`, from `sender`
    // only when a sender is given, from any sender otherwise. `observer` is
    // the identity used to remove it again.
    void addObserver(const void* observer, std::string name, Handler handler,
                     const void* sender = nullptr);
    // Removes every registration of `observer`.
    void removeObserver(const void* observer);
    // Removes the registrations of `observer` for `name`; with a sender, only
    // those registered with that sender filter.
    void removeObserver(const void* observer, std::string_view name, const void* sender = nullptr);

    void post(std::string_view name, const void* sender = nullptr,
              const PropertyListValue* payload = nullptr);

  private:
    struct Registration;
    using List = std::vector<std::shared_ptr<Registration>>;

    template <typename Match>
    void removeMatching(Match match);

    std::mutex mutex_;
    // Replaced whole on every change, so a post only copies a pointer.
    std::shared_ptr<const List> registrations_;
};

}  // namespace kesto
