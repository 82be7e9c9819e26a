#include "app/NetworkCommand.h"

#include <ostream>

#include "network/Reachability.h"
#include "platform/Format.h"

namespace kesto {

void NetworkCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto network\n"
           "\n"
           "Tells whether the internet can be reached now, as the check made before an\n"
           "upload sees it: the default route over an interface that is up. Prints the\n"
           "status (reachable via WiFi, reachable via WWAN for a cellular link, or not\n"
           "reachable) and the reachability flag word it was judged from.\n";
}

void NetworkCommand::declareOptions(CLI::App&) {}

int NetworkCommand::run(std::ostream& out, std::ostream&) {
    const auto monitor = Reachability::reachabilityForInternetConnection(
        service_ != nullptr ? *service_ : ReachabilityService::defaultService());
    const auto flags = monitor ? monitor->reachabilityFlags() : std::nullopt;
    // The status from the word just read, so the two lines always agree.
    const ReachStatus status = flags ? Reachability::networkStatusForFlags(*flags) : ReachNone;
    switch (status) {
        case ReachViaWiFi:
            out << "internet: reachable via WiFi\n";
            break;
        case ReachViaWWAN:
            out << "internet: reachable via WWAN\n";
            break;
        case ReachNone:
            out << "internet: not reachable\n";
            break;
    }
    if (flags) {
        out << "flags: " << cformat("0x%08X", static_cast<unsigned>(*flags)) << "\n";
    } else {
        out << "flags: unavailable\n";
    }
    return 0;
}

}  // namespace kesto
