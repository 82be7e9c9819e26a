#include "network/ReachabilityService.h"

#include <atomic>

#include "network/ReachabilityHandle.h"
#include "network/internal/KernelRoutingTable.h"
#include "network/internal/SystemHostResolver.h"
#include "platform/NoDestructor.h"

namespace kesto {
namespace {

std::atomic<ReachabilityService*> installedService{nullptr};

}  // namespace

ReachabilityService::ReachabilityService(std::unique_ptr<RoutingTable> routingTable,
                                         std::unique_ptr<HostResolver> resolver)
    : routingTable_(std::move(routingTable)), resolver_(std::move(resolver)) {}

ReachabilityService::~ReachabilityService() = default;

ReachabilityService& ReachabilityService::defaultService() {
    if (auto* installed = installedService.load(std::memory_order_acquire)) {
        return *installed;
    }
    static NoDestructor<ReachabilityService> kernel(std::make_unique<KernelRoutingTable>(),
                                                    std::make_unique<SystemHostResolver>());
    return kernel.get();
}

void ReachabilityService::setDefaultService(ReachabilityService* service) {
    installedService.store(service, std::memory_order_release);
}

std::unique_ptr<ReachabilityHandle> ReachabilityService::createWithName(std::string_view hostName) {
    if (hostName.empty() || hostName.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    return std::make_unique<ReachabilityHandle>(*this, std::string(hostName));
}

std::unique_ptr<ReachabilityHandle> ReachabilityService::createWithAddress(
    const sockaddr_in& address) {
    if (address.sin_family != AF_INET) {
        return nullptr;
    }
    return std::make_unique<ReachabilityHandle>(*this, address.sin_addr);
}

std::optional<SCNetworkReachabilityFlags> ReachabilityService::flagsForLookup(
    const RouteLookup& lookup) {
    if (lookup.failed) {
        return std::nullopt;
    }
    if (!lookup.route || !lookup.route->interfaceUp) {
        return 0;
    }
    SCNetworkReachabilityFlags flags = kSCNetworkReachabilityFlagsReachable;
    if (!lookup.route->hasGateway) {
        flags |= kSCNetworkReachabilityFlagsIsDirect;
    }
    if (lookup.route->cellular) {
        flags |= kSCNetworkReachabilityFlagsIsWWAN;
    }
    return flags;
}

std::optional<SCNetworkReachabilityFlags> ReachabilityService::flagsForAddress(in_addr address) {
    return flagsForLookup(address.s_addr == INADDR_ANY ? routingTable_->defaultRoute()
                                                       : routingTable_->routeTo(address));
}

std::optional<SCNetworkReachabilityFlags> ReachabilityService::flagsForHostName(
    const std::string& hostName) {
    const auto address = resolver_->resolve(hostName);
    if (!address) {
        return std::nullopt;
    }
    // A name that stands for 0.0.0.0 means this machine, not "the internet".
    return flagsForLookup(routingTable_->routeTo(*address));
}

std::unique_ptr<RouteWatch> ReachabilityService::openWatch() {
    return routingTable_->openWatch();
}

}  // namespace kesto
