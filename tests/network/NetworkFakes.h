#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "network/HostResolver.h"
#include "network/ReachabilityService.h"
#include "network/RoutingTable.h"
#include "platform/ThreadDispatcher.h"

namespace kesto::test {

// A routing state that tests set by hand. Every setter counts as a change
// for the open watches. Threads: any.
class FakeRoutingTable : public RoutingTable {
  public:
    RouteLookup routeTo(in_addr destination) override;
    RouteLookup defaultRoute() override;
    std::unique_ptr<RouteWatch> openWatch() override;

    void setDefaultRoute(RouteLookup lookup);
    // `hostOrderAddress` e.g. 0x7F000001 for 127.0.0.1.
    void setRoute(std::uint32_t hostOrderAddress, RouteLookup lookup);
    // A routing change that leaves every answer as it was.
    void touch();
    // Makes openWatch fail from now on.
    void setWatchFails(bool fails);

    // How many watches are open now.
    int openWatches() const;
    // How many routes were asked for so far.
    std::uint64_t lookups() const;
    // Waits (bounded) until at least `count` routes were asked for.
    bool waitForLookups(std::uint64_t count);

  private:
    friend class FakeRouteWatch;

    void changed(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable signal_;
    std::uint64_t generation_ = 0;
    std::uint64_t lookups_ = 0;
    int openWatches_ = 0;
    bool watchFails_ = false;
    RouteLookup default_ = RouteLookup::none();
    std::map<std::uint32_t, RouteLookup> routes_;
};

// Names that resolve only when told to. Threads: any.
class FakeHostResolver : public HostResolver {
  public:
    std::optional<in_addr> resolve(const std::string& hostName) override;
    void setAddress(const std::string& hostName, std::uint32_t hostOrderAddress);

  private:
    std::mutex mutex_;
    std::map<std::string, std::uint32_t> names_;
};

// A service over the two fakes; the test keeps pointers to set them.
struct FakeNetwork {
    FakeNetwork();
    FakeRoutingTable* routes;
    FakeHostResolver* names;
    std::unique_ptr<ReachabilityService> service;
};

// Makes `service` the default for the lifetime of the object.
class ScopedDefaultService {
  public:
    explicit ScopedDefaultService(ReachabilityService& service);
    ~ScopedDefaultService();
    ScopedDefaultService(const ScopedDefaultService&) = delete;
    ScopedDefaultService& operator=(const ScopedDefaultService&) = delete;
};

// A run loop stand-in: work queues up until the owning thread drains it.
// Installs itself as the creating thread's dispatcher for its lifetime.
class QueueDispatcher final : public ThreadDispatcher {
  public:
    QueueDispatcher();
    ~QueueDispatcher();
    QueueDispatcher(const QueueDispatcher&) = delete;
    QueueDispatcher& operator=(const QueueDispatcher&) = delete;

    void dispatch(std::function<void()> work) override;
    // Waits (bounded) until some work is queued.
    bool waitForWork(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Runs everything queued, on the calling thread; returns how much ran.
    std::size_t drain();

  private:
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> work_;
    ThreadDispatcher* previous_;
};

// Route answers.
RouteLookup viaGateway(const std::string& interfaceName, bool cellular = false);
RouteLookup direct(const std::string& interfaceName);
RouteLookup interfaceDown(const std::string& interfaceName);

}  // namespace kesto::test
