#pragma once

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "network/ReachabilityService.h"
#include "platform/ThreadDispatcher.h"

namespace kesto::test {

// Routes set by hand (key 0: the default); changes wake the watches. Threads: any.
class FakeRoutingTable : public RoutingTable {
  public:
    RouteLookup routeTo(in_addr destination) override { return lookup(ntohl(destination.s_addr)); }
    RouteLookup defaultRoute() override { return lookup(0); }
    std::unique_ptr<RouteWatch> openWatch() override { return std::make_unique<Watch>(*this); }

    void setRoute(std::uint32_t hostOrderAddress, RouteLookup lookup) {
        std::lock_guard lock(mutex_);
        routes_[hostOrderAddress] = std::move(lookup);
        ++generation_;
        signal_.notify_all();
    }
    void setDefaultRoute(RouteLookup lookup) { setRoute(0, std::move(lookup)); }

    std::atomic<int> openWatches{0};

  private:
    class Watch : public RouteWatch {
      public:
        explicit Watch(FakeRoutingTable& table) : table_(table) {
            std::lock_guard lock(table_.mutex_);
            seen_ = table_.generation_;
            ++table_.openWatches;
        }
        ~Watch() override { --table_.openWatches; }
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
        std::uint64_t seen_ = 0;
        bool stopped_ = false;
    };

    RouteLookup lookup(std::uint32_t address) {
        std::lock_guard lock(mutex_);
        return routes_.contains(address) ? routes_.at(address) : RouteLookup::none();
    }

    std::mutex mutex_;
    std::condition_variable signal_;
    std::uint64_t generation_ = 0;
    std::map<std::uint32_t, RouteLookup> routes_;
};

// Names that resolve only once the test adds them. Threads: the test's.
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
    std::unique_ptr<FakeRoutingTable> ownedRoutes = std::make_unique<FakeRoutingTable>();
    std::unique_ptr<FakeHostResolver> ownedNames = std::make_unique<FakeHostResolver>();
    FakeRoutingTable* routes = ownedRoutes.get();
    FakeHostResolver* names = ownedNames.get();
    std::unique_ptr<ReachabilityService> service =
        std::make_unique<ReachabilityService>(std::move(ownedRoutes), std::move(ownedNames));
};

// Makes `service` the default for the lifetime of the object.
struct ScopedDefaultService {
    explicit ScopedDefaultService(ReachabilityService& service) {
        ReachabilityService::setDefaultService(&service);
    }
    ~ScopedDefaultService() { ReachabilityService::setDefaultService(nullptr); }
};

// A run loop stand-in for its creating thread: work queues until drained.
class QueueDispatcher final : public ThreadDispatcher {
  public:
    QueueDispatcher() : previous_(ThreadDispatcher::current()) { setCurrent(this); }
    ~QueueDispatcher() { setCurrent(previous_); }

    void dispatch(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        work_.push_back(std::move(work));
        queued_.notify_all();
    }
    bool waitForWork(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return queued_.wait_for(lock, timeout, [&] { return !work_.empty(); });
    }
    std::size_t drain() {
        std::unique_lock lock(mutex_);
        auto work = std::exchange(work_, {});
        lock.unlock();
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
