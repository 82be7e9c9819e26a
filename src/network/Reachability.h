#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "network/ReachabilityFlags.h"
#include "network/ReachabilityHandle.h"
#include "network/ReachabilityNotifier.h"
#include "network/ReachabilityService.h"

namespace kesto {

// Posted through NotificationCenter::defaultCenter() when a started
// monitor's flag word changes, with the monitor as sender and no payload,
// on the thread that called startNotifer.
inline constexpr std::string_view kNetworkReachabilityChangedNotification =
    "kNetworkReachabilityChangedNotification";

// Whether one target can be reached: a host name, an IPv4 address, the
// general internet route (0.0.0.0) or the link-local network (169.254.0.0,
// judged by the Wi-Fi rule). The flag word comes from ReachabilityService,
// which says how it is computed on Linux.
//
// Threads: a monitor is used by one thread at a time, usually the main
// thread. startNotifer needs a ThreadDispatcher on the calling thread: the
// notification is posted there, so that dispatcher must outlive the
// notifications (stopNotifer or the monitor's end). stopNotifer and the destructor may run on
// another thread than startNotifer did (not at the same time as another
// call on the monitor); once they return, no notification of this monitor is
// posted. An observer may destroy the monitor from within the notification.
// The status rules are pure and free-threaded.
class Reachability {
  public:
    // Each gives nullptr when the service cannot make a handle for the
    // target (an empty host name, an address of another family).
    static std::unique_ptr<Reachability> reachabilityWithHostName(
        std::string_view hostName,
        ReachabilityService& service = ReachabilityService::defaultService());
    static std::unique_ptr<Reachability> reachabilityWithAddress(
        const sockaddr_in& hostAddress,
        ReachabilityService& service = ReachabilityService::defaultService());
    static std::unique_ptr<Reachability> reachabilityForInternetConnection(
        ReachabilityService& service = ReachabilityService::defaultService());
    static std::unique_ptr<Reachability> reachabilityForLocalWiFi(
        ReachabilityService& service = ReachabilityService::defaultService());

    // An IPv4 socket address: family AF_INET, port 0, `hostOrderAddress`,
    // every other byte zero.
    static sockaddr_in socketAddress(std::uint32_t hostOrderAddress);

    explicit Reachability(std::unique_ptr<ReachabilityHandle> handle);
    ~Reachability();
    Reachability(const Reachability&) = delete;
    Reachability& operator=(const Reachability&) = delete;

    // Schedules change notifications on the calling thread. False when that
    // thread has no dispatcher or the routing state cannot be watched.
    // Starting again restarts on the calling thread.
    bool startNotifer();
    void stopNotifer();

    // ReachNone when the flag word cannot be read; otherwise the Wi-Fi rule
    // for a link-local monitor, the general rule for the others.
    ReachStatus currentReachabilityStatus() const;
    // Whether a connection must first be established; false when the flag
    // word cannot be read.
    bool connectionRequired() const;
    // The target's flag word now; empty when it cannot be read.
    std::optional<SCNetworkReachabilityFlags> reachabilityFlags() const;

    // The general rule.
    static ReachStatus networkStatusForFlags(SCNetworkReachabilityFlags flags);
    // The Wi-Fi rule: reachable and directly attached.
    static ReachStatus localWiFiStatusForFlags(SCNetworkReachabilityFlags flags);

    bool localWiFiRef() const { return localWiFiRef_; }
    void setLocalWiFiRef(bool localWiFiRef) { localWiFiRef_ = localWiFiRef; }
    // The service's handle for the target; nullptr for a monitor made without.
    const ReachabilityHandle* reachabilityRef() const { return reachabilityRef_.get(); }

  private:
    bool localWiFiRef_ = false;
    std::unique_ptr<ReachabilityHandle> reachabilityRef_;
    std::unique_ptr<ReachabilityNotifier> notifier_;
};

}  // namespace kesto
