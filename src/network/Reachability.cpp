#include "network/Reachability.h"

#include <arpa/inet.h>

#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

// Runs on the thread that started the notifier, for each change of the
// monitor's flag word; the word itself is not passed on.
void ReachabilityCallback(Reachability* info) {
    NotificationCenter::defaultCenter().post(kNetworkReachabilityChangedNotification, info);
}

}  // namespace

std::unique_ptr<Reachability> Reachability::reachabilityWithHostName(std::string_view hostName,
                                                                     ReachabilityService& service) {
    auto handle = service.createWithName(hostName);
    return handle ? std::make_unique<Reachability>(std::move(handle)) : nullptr;
}

std::unique_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr_in& hostAddress,
                                                                    ReachabilityService& service) {
    auto handle = service.createWithAddress(hostAddress);
    return handle ? std::make_unique<Reachability>(std::move(handle)) : nullptr;
}

std::unique_ptr<Reachability> Reachability::reachabilityForInternetConnection(
    ReachabilityService& service) {
    return reachabilityWithAddress(socketAddress(INADDR_ANY), service);
}

std::unique_ptr<Reachability> Reachability::reachabilityForLocalWiFi(ReachabilityService& service) {
    // 169.254.0.0, the link-local network.
    auto monitor = reachabilityWithAddress(socketAddress(0xA9FE0000u), service);
    if (monitor) {
        monitor->setLocalWiFiRef(true);
    }
    return monitor;
}

sockaddr_in Reachability::socketAddress(std::uint32_t hostOrderAddress) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(hostOrderAddress);
    return address;
}

Reachability::Reachability(std::unique_ptr<ReachabilityHandle> handle)
    : reachabilityRef_(std::move(handle)) {}

Reachability::~Reachability() {
    stopNotifer();
}

bool Reachability::startNotifer() {
    stopNotifer();
    ThreadDispatcher* dispatcher = ThreadDispatcher::current();
    if (!reachabilityRef_ || !dispatcher) {
        return false;
    }
    notifier_ = ReachabilityNotifier::start(*reachabilityRef_, *dispatcher,
                                            [this] { ReachabilityCallback(this); });
    return notifier_ != nullptr;
}

void Reachability::stopNotifer() {
    if (notifier_) {
        notifier_->stop();
        notifier_.reset();
    }
}

std::optional<SCNetworkReachabilityFlags> Reachability::reachabilityFlags() const {
    if (!reachabilityRef_) {
        return std::nullopt;
    }
    return reachabilityRef_->getFlags();
}

ReachStatus Reachability::currentReachabilityStatus() const {
    const auto flags = reachabilityFlags();
    if (!flags) {
        return ReachNone;
    }
    return localWiFiRef_ ? localWiFiStatusForFlags(*flags) : networkStatusForFlags(*flags);
}

bool Reachability::connectionRequired() const {
    const auto flags = reachabilityFlags();
    return flags && (*flags & kSCNetworkReachabilityFlagsConnectionRequired);
}

ReachStatus Reachability::networkStatusForFlags(SCNetworkReachabilityFlags flags) {
    if (!(flags & kSCNetworkReachabilityFlagsReachable)) {
        return ReachNone;
    }
    ReachStatus status =
        (flags & kSCNetworkReachabilityFlagsConnectionRequired) ? ReachNone : ReachViaWiFi;
    if ((flags & (kSCNetworkReachabilityFlagsConnectionOnDemand |
                  kSCNetworkReachabilityFlagsConnectionOnTraffic)) &&
        !(flags & kSCNetworkReachabilityFlagsInterventionRequired)) {
        status = ReachViaWiFi;
    }
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) {
        status = ReachViaWWAN;
    }
    return status;
}

ReachStatus Reachability::localWiFiStatusForFlags(SCNetworkReachabilityFlags flags) {
    const SCNetworkReachabilityFlags both =
        kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
    return (flags & both) == both ? ReachViaWiFi : ReachNone;
}

}  // namespace kesto
