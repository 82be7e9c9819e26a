#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kesto {

class ReachabilityService;

// `kesto network`: whether the internet can be reached now, the check an
// upload makes before it goes out, with the flag word it was judged from:
//
//   internet: reachable via WiFi        (or "reachable via WWAN", "not reachable")
//   flags: 0x00000002                   (or "flags: unavailable")
//
// Threads: the main thread.
class NetworkCommand {
  public:
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   ReachabilityService& service);
    static void printHelp(std::ostream& out);
};

}  // namespace kesto
