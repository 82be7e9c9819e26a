#pragma once

#include <arpa/inet.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "network/ReachabilityService.h"
#include "platform/ThreadDispatcher.h"

namespace kesto::test {

constexpr auto kPatience = std::chrono::seconds(10);

// A routing state set by hand; every setter counts as a change for the open
// watches. Threads: any.
class FakeRoutingTable : public RoutingTable {
  public:
    static constexpr std::uint32_t kDefault = 0;  // the key of the default route

    RouteLookup routeTo(in_addr destination) override { return lookup(ntohl(destination.s_addr)); }
    RouteLookup defaultRoute() override { return lookup(kDefault); }
    std::unique_ptr<RouteWatch> openWatch() override {
        std::lock_guard lock(mutex_);
        return watchFails_ ? nullptr : std::make_unique<Watch>(*this);
    }

    void setRoute(std::uint32_t hostOrderAddress, RouteLookup lookup) {
        change([&] { routes_[hostOrderAddress] = std::move(lookup); });
    }
    void setDefaultRoute(RouteLookup lookup) { setRoute(kDefault, std::move(lookup)); }
    // A routing change that leaves every answer as it was.
    void touch() {
        change([] {});
    }
    void setWatchFails(bool fails) {
        std::lock_guard lock(mutex_);
        watchFails_ = fails;
    }
    int openWatches() {
        std::lock_guard lock(mutex_);
        return openWatches_;
    }
    std::uint64_t lookups() {
        std::lock_guard lock(mutex_);
        return lookups_;
    }
    bool waitForLookups(std::uint64_t count) {
        std::unique_lock lock(mutex_);
        return signal_.wait_for(lock, kPatience, [&] { return lookups_ >= count; });
    }

  private:
    class Watch : public RouteWatch {
      public:
        // The caller holds the table's lock.
        explicit Watch(FakeRoutingTable& table) : table_(table), seen_(table.generation_) {
            ++table_.openWatches_;
        }
        ~Watch() override {
            std::lock_guard lock(table_.mutex_);
            --table_.openWatches_;
        }
        bool wait() override {
            std::unique_lock lock(table_.mutex_);
            table_.signal_.wait(lock, [&] { return stopped_ || seen_ != table_.generation_; });
            seen_ = table_.generation_;
            return !stopped_;
        }
        void interrupt() override {
            std::lock_guard lock(table_.mutex_);
            stopped_ = true;
            table_.signal_.notify_all();
        }

      private:
        FakeRoutingTable& table_;
        std::uint64_t seen_;
        bool stopped_ = false;
    };

    template <typename Edit>
    void change(Edit edit) {
        std::lock_guard lock(mutex_);
        edit();
        ++generation_;
        signal_.notify_all();
    }
    RouteLookup lookup(std::uint32_t address) {
        std::lock_guard lock(mutex_);
        ++lookups_;
        signal_.notify_all();
        const auto found = routes_.find(address);
        return found == routes_.end() ? RouteLookup::none() : found->second;
    }

    std::mutex mutex_;
    std::condition_variable signal_;
    std::uint64_t generation_ = 0;
    std::uint64_t lookups_ = 0;
    int openWatches_ = 0;
    bool watchFails_ = false;
    std::map<std::uint32_t, RouteLookup> routes_;
};

// Names that resolve only once told to. Threads: the test's.
class FakeHostResolver : public HostResolver {
  public:
    std::optional<in_addr> resolve(const std::string& hostName) override {
        const auto found = addresses.find(hostName);
        return found == addresses.end() ? std::nullopt : std::optional(found->second);
    }
    std::map<std::string, in_addr> addresses;
};

// A service over the two fakes; the test keeps pointers to set them.
struct FakeNetwork {
    FakeRoutingTable* routes = nullptr;
    FakeHostResolver* names = nullptr;
    std::unique_ptr<ReachabilityService> service = [this] {
        auto table = std::make_unique<FakeRoutingTable>();
        auto resolver = std::make_unique<FakeHostResolver>();
        routes = table.get();
        names = resolver.get();
        return std::make_unique<ReachabilityService>(std::move(table), std::move(resolver));
    }();
};

// Makes `service` the default for the lifetime of the object.
struct ScopedDefaultService {
    explicit ScopedDefaultService(ReachabilityService& service) {
        ReachabilityService::setDefaultService(&service);
    }
    ~ScopedDefaultService() { ReachabilityService::setDefaultService(nullptr); }
};

// A run loop stand-in, installed as its creating thread's dispatcher: work
// queues up until that thread drains it.
class QueueDispatcher final : public ThreadDispatcher {
  public:
    QueueDispatcher() : previous_(ThreadDispatcher::current()) { setCurrent(this); }
    ~QueueDispatcher() { setCurrent(previous_); }

    void dispatch(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
        queued_.notify_all();
    }
    bool waitForWork(std::chrono::milliseconds timeout = kPatience) {
        std::unique_lock lock(mutex_);
        return queued_.wait_for(lock, timeout, [&] { return !work_.empty(); });
    }
    // Runs everything queued, on the calling thread; returns how much ran.
    std::size_t drain() {
        std::deque<std::function<void()>> work;
        {
            std::lock_guard lock(mutex_);
            work.swap(work_);
        }
        for (auto& item : work) {
            item();
        }
        return work.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> work_;
    ThreadDispatcher* previous_;
};

inline RouteLookup viaGateway(const std::string& name, bool cellular = false) {
    return RouteLookup::found(Route{name, true, true, cellular});
}
inline RouteLookup direct(const std::string& name) {
    return RouteLookup::found(Route{name, false, true, false});
}

}  // namespace kesto::test
