#include "network/InternetConnection.h"

namespace kesto {

InternetConnection::InternetConnection(ReachabilityService& service) : service_(service) {}

InternetConnection::~InternetConnection() = default;

bool InternetConnection::isReacheable() {
    InternetConnection connection;
    return connection.reachableInternetConnection();
}

bool InternetConnection::reachableInternetConnection() {
    internetReach_ = Reachability::reachabilityForInternetConnection(service_);
    ReachStatus status = ReachNone;
    if (internetReach_) {
        // Nothing observes it, and without a run loop on this thread it
        // cannot start; the check does not depend on it.
        internetReach_->startNotifer();
        status = internetReach_->currentReachabilityStatus();
    }
    reachable_ = status == ReachViaWiFi || status == ReachViaWWAN;
    internetReach_.reset();
    return reachable_;
}

bool InternetConnection::reachedInternetConnection() {
    reachableInternetConnection();
    return reachable_ == true;
}

}  // namespace kesto
