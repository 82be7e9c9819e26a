#pragma once

#include <chrono>

#include "network/HostResolver.h"

namespace kesto {

// Host names through the system resolver (getaddrinfo: /etc/hosts, DNS...).
//
// Numeric addresses ("192.0.2.7") are parsed at once, without the resolver.
// A real lookup can hang for many seconds when DNS is unreachable, and a
// reachability answer is wanted on the main thread, so the lookup runs on a
// helper thread and the caller waits at most `timeout`: past it the name
// counts as not resolving (the helper finishes on its own and its answer is
// dropped).
//
// Threads: any thread, concurrently.
class SystemHostResolver : public HostResolver {
  public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{2000};

    explicit SystemHostResolver(std::chrono::milliseconds timeout = kDefaultTimeout);

    std::optional<in_addr> resolve(const std::string& hostName) override;

    // Parses a dotted-quad IPv4 address; empty when `text` is not one.
    static std::optional<in_addr> parseNumeric(const std::string& text);

  private:
    std::chrono::milliseconds timeout_;
};

}  // namespace kesto
