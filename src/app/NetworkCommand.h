#pragma once

#include <iosfwd>

#include "app/Command.h"

namespace kesto {

class ReachabilityService;

// `kesto network`: whether the internet can be reached now, the check an
// upload makes before it goes out, with the flag word it was judged from:
//
//   internet: reachable via WiFi        (or "reachable via WWAN", "not reachable")
//   flags: 0x00000002                   (or "flags: unavailable")
//
// Threads: the main thread.
class NetworkCommand : public Command {
  public:
    // Asks the system's service, or `service` (not owned; it must outlive
    // the command).
    NetworkCommand() = default;
    explicit NetworkCommand(ReachabilityService& service) : service_(&service) {}

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    ReachabilityService* service_ = nullptr;
};

}  // namespace kesto
