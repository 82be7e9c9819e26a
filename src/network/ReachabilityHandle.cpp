#include "network/ReachabilityHandle.h"

#include "network/ReachabilityService.h"

namespace kesto {

ReachabilityHandle::ReachabilityHandle(ReachabilityService& service, std::string hostName)
    : service_(&service), target_(std::move(hostName)) {}

ReachabilityHandle::ReachabilityHandle(ReachabilityService& service, in_addr address)
    : service_(&service), target_(address) {}

std::optional<SCNetworkReachabilityFlags> ReachabilityHandle::getFlags() const {
    if (const auto* name = std::get_if<std::string>(&target_)) {
        return service_->flagsForHostName(*name);
    }
    return service_->flagsForAddress(std::get<in_addr>(target_));
}

std::unique_ptr<RouteWatch> ReachabilityHandle::openWatch() const {
    return service_->openWatch();
}

}  // namespace kesto
