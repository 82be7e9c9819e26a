#pragma once

#include <string>
#include <string_view>

#include "platform/Result.h"

namespace kesto {

// Where the web front end listens: an IP address (IPv4, or IPv6 written in
// brackets on the command line) and a port (0: a free one, for tests).
//
// Threads: a value; any thread.
class ListenAddress {
  public:
    ListenAddress() = default;
    ListenAddress(std::string host, int port) : host_(std::move(host)), port_(port) {}

    // "ADDR:PORT" or "[V6ADDR]:PORT"; why not otherwise.
    static Result<ListenAddress> parse(std::string_view text);

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    void setPort(int port) { port_ = port; }

    // 127.0.0.0/8 or ::1: only this machine can connect.
    bool isLoopback() const;
    // 0.0.0.0 or ::: every interface.
    bool isWildcard() const;
    bool isIpv6() const;
    // As it appears in a URL or a Host header: "127.0.0.1:8080", "[::1]:8080".
    std::string authority() const;

  private:
    std::string host_ = "127.0.0.1";
    int port_ = 8080;
};

}  // namespace kesto
