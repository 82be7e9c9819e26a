#include "network/NetworkFakes.h"

#include <arpa/inet.h>

namespace kesto::test {

constexpr auto kPatience = std::chrono::seconds(10);

class FakeRouteWatch : public RouteWatch {
  public:
    explicit FakeRouteWatch(FakeRoutingTable& table) : table_(table) {
        seen_ = table_.generation_;  // the caller holds the table's lock
        ++table_.openWatches_;
    }
    ~FakeRouteWatch() override {
        std::lock_guard lock(table_.mutex_);
        --table_.openWatches_;
    }
    bool wait() override {
        std::unique_lock lock(table_.mutex_);
        table_.signal_.wait(lock, [&] { return interrupted_ || seen_ != table_.generation_; });
        seen_ = table_.generation_;
        return !interrupted_;
    }
    void interrupt() override {
        std::lock_guard lock(table_.mutex_);
        interrupted_ = true;
        table_.signal_.notify_all();
    }

  private:
    FakeRoutingTable& table_;
    std::uint64_t seen_ = 0;
    bool interrupted_ = false;
};

RouteLookup FakeRoutingTable::routeTo(in_addr destination) {
    std::lock_guard lock(mutex_);
    ++lookups_;
    signal_.notify_all();
    const auto found = routes_.find(ntohl(destination.s_addr));
    return found == routes_.end() ? RouteLookup::none() : found->second;
}

RouteLookup FakeRoutingTable::defaultRoute() {
    std::lock_guard lock(mutex_);
    ++lookups_;
    signal_.notify_all();
    return default_;
}

std::unique_ptr<RouteWatch> FakeRoutingTable::openWatch() {
    std::lock_guard lock(mutex_);
    if (watchFails_) {
        return nullptr;
    }
    return std::make_unique<FakeRouteWatch>(*this);
}

void FakeRoutingTable::changed(std::unique_lock<std::mutex>&) {
    ++generation_;
    signal_.notify_all();
}

void FakeRoutingTable::setDefaultRoute(RouteLookup lookup) {
    std::unique_lock lock(mutex_);
    default_ = std::move(lookup);
    changed(lock);
}

void FakeRoutingTable::setRoute(std::uint32_t hostOrderAddress, RouteLookup lookup) {
    std::unique_lock lock(mutex_);
    routes_[hostOrderAddress] = std::move(lookup);
    changed(lock);
}

void FakeRoutingTable::touch() {
    std::unique_lock lock(mutex_);
    changed(lock);
}

void FakeRoutingTable::setWatchFails(bool fails) {
    std::lock_guard lock(mutex_);
    watchFails_ = fails;
}

int FakeRoutingTable::openWatches() const {
    std::lock_guard lock(mutex_);
    return openWatches_;
}

std::uint64_t FakeRoutingTable::lookups() const {
    std::lock_guard lock(mutex_);
    return lookups_;
}

bool FakeRoutingTable::waitForLookups(std::uint64_t count) {
    std::unique_lock lock(mutex_);
    return signal_.wait_for(lock, kPatience, [&] { return lookups_ >= count; });
}

std::optional<in_addr> FakeHostResolver::resolve(const std::string& hostName) {
    std::lock_guard lock(mutex_);
    const auto found = names_.find(hostName);
    if (found == names_.end()) {
        return std::nullopt;
    }
    in_addr address{};
    address.s_addr = htonl(found->second);
    return address;
}

void FakeHostResolver::setAddress(const std::string& hostName, std::uint32_t hostOrderAddress) {
    std::lock_guard lock(mutex_);
    names_[hostName] = hostOrderAddress;
}

FakeNetwork::FakeNetwork() {
    auto table = std::make_unique<FakeRoutingTable>();
    auto resolver = std::make_unique<FakeHostResolver>();
    routes = table.get();
    names = resolver.get();
    service = std::make_unique<ReachabilityService>(std::move(table), std::move(resolver));
}

ScopedDefaultService::ScopedDefaultService(ReachabilityService& service) {
    ReachabilityService::setDefaultService(&service);
}

ScopedDefaultService::~ScopedDefaultService() {
    ReachabilityService::setDefaultService(nullptr);
}

QueueDispatcher::QueueDispatcher() : previous_(ThreadDispatcher::current()) {
    ThreadDispatcher::setCurrent(this);
}

QueueDispatcher::~QueueDispatcher() {
    ThreadDispatcher::setCurrent(previous_);
}

void QueueDispatcher::dispatch(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
    queued_.notify_all();
}

bool QueueDispatcher::waitForWork(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return queued_.wait_for(lock, timeout, [&] { return !work_.empty(); });
}

std::size_t QueueDispatcher::drain() {
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

RouteLookup viaGateway(const std::string& interfaceName, bool cellular) {
    return RouteLookup::found(Route{interfaceName, true, true, cellular});
}

RouteLookup direct(const std::string& interfaceName) {
    return RouteLookup::found(Route{interfaceName, false, true, false});
}

RouteLookup interfaceDown(const std::string& interfaceName) {
    return RouteLookup::found(Route{interfaceName, true, false, false});
}

}  // namespace kesto::test
