#pragma once

#include <memory>

#include "network/Reachability.h"
#include "network/ReachabilityService.h"

namespace kesto {

// One check of the general internet route: can an upload go out now?
//
// The answer is taken at the moment of the call; nothing keeps watching.
//
// Threads: one thread at a time per object (the main thread, usually);
// isReacheable from any thread.
class InternetConnection {
  public:
    explicit InternetConnection(
        ReachabilityService& service = ReachabilityService::defaultService());
    ~InternetConnection();
    InternetConnection(const InternetConnection&) = delete;
    InternetConnection& operator=(const InternetConnection&) = delete;

    // Whether the network can be reached now: one check with a fresh object.
    static bool isReacheable();

    // Evaluates the internet route and keeps the answer in `reachable`:
    // yes for ReachViaWiFi and ReachViaWWAN, no for ReachNone (also when no
    // monitor could be made or its flag word cannot be read).
    bool reachableInternetConnection();
    // Evaluates, then answers true only when `reachable` is exactly yes.
    bool reachedInternetConnection();

    // The last evaluation's answer; false before any.
    bool reachable() const { return reachable_; }

  private:
    ReachabilityService& service_;
    // The monitor of the evaluation in progress; released when it is over.
    std::unique_ptr<Reachability> internetReach_;
    bool reachable_ = false;
};

}  // namespace kesto
