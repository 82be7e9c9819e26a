#include "web/ListenAddress.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace kesto {
namespace {

bool parseIpv4(const std::string& text, in_addr& out) {
    return inet_pton(AF_INET, text.c_str(), &out) == 1;
}

bool parseIpv6(const std::string& text, in6_addr& out) {
    return inet_pton(AF_INET6, text.c_str(), &out) == 1;
}

}  // namespace

Result<ListenAddress> ListenAddress::parse(std::string_view text) {
    const auto colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return fail("the listen address must be ADDR:PORT, e.g. 127.0.0.1:8080");
    }
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    bool bracketed = false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        bracketed = true;
    }
    int port = -1;
    const auto [end, ec] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() ||
        port < 0 || port > 65535) {
        return fail("the listen port must be a number from 0 to 65535");
    }
    const std::string address(host);
    in_addr v4{};
    in6_addr v6{};
    if (bracketed ? !parseIpv6(address, v6) : !parseIpv4(address, v4)) {
        return fail("the listen address must be an IP address ([...] for IPv6), not '" + address +
                    "'");
    }
    return ListenAddress(address, port);
}

bool ListenAddress::isIpv6() const {
    return host_.find(':') != std::string::npos;
}

bool ListenAddress::isLoopback() const {
    if (isIpv6()) {
        in6_addr v6{};
        return parseIpv6(host_, v6) && IN6_IS_ADDR_LOOPBACK(&v6);
    }
    in_addr v4{};
    return parseIpv4(host_, v4) && (ntohl(v4.s_addr) >> 24) == 127;
}

bool ListenAddress::isWildcard() const {
    if (isIpv6()) {
        in6_addr v6{};
        return parseIpv6(host_, v6) && IN6_IS_ADDR_UNSPECIFIED(&v6);
    }
    in_addr v4{};
    return parseIpv4(host_, v4) && v4.s_addr == 0;
}

std::string ListenAddress::authority() const {
    const std::string host = isIpv6() ? "[" + host_ + "]" : host_;
    return host + ":" + std::to_string(port_);
}

}  // namespace kesto
