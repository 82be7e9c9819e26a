#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "web/ListenAddress.h"

namespace kesto {

// What every request must pass before it reaches the application: the Host
// and Origin it names, the access token when one is required, and the shape
// and size of what it sends. Pure checks on the request's texts, so they are
// tested (and fuzzed) without a server.
//
// Host (and Origin, when present) must name this server:
//   - the listen address with its port ("127.0.0.1:8080", "[::1]:8080";
//     without a port only when the port is 80);
//   - "localhost" with the port, when the listen address is loopback;
//   - any IP address with the port, when listening on every interface
//     (0.0.0.0 or ::): a page can only reach us under a name through DNS,
//     and an address typed by the person is not a rebinding;
//   - a name given with --allow-host, with any port or none (a proxy in front).
// Origin is "http://" or "https://" followed by such a host, nothing else
// ("null" is refused). Anything else: 403, so that no other web page and no
// DNS-rebinding site can drive the detector.
//
// Token (required when the server was given one: non-loopback listens):
// the query parameter "token", the cookie "kesto_token_<port>" or the
// header "Authorization: Bearer <token>", compared in constant time. A
// token that came in the query is then kept in the cookie (HttpOnly,
// SameSite=Strict). Without it: 401.
//
// Bodies: at most kMaxBodyBytes (16 KiB, else 413), JSON nested at most
// kMaxJsonDepth deep, one object with exactly the keys of its kind.
//
// Threads: a value after construction; any thread.
class RequestGuard {
  public:
    static constexpr std::size_t kMaxBodyBytes = 16 * 1024;
    static constexpr int kMaxJsonDepth = 4;
    static constexpr std::size_t kMaxNameBytes = 256;
    static constexpr std::size_t kMaxTypedBytes = 4096;

    enum class Access { Allowed, ForeignHost, TokenRequired };

    // The parts of a request the guard reads; absent headers are empty.
    struct Request {
        std::string_view host;
        std::optional<std::string_view> origin;
        std::string_view cookie;
        std::optional<std::string_view> queryToken;
        std::string_view authorization;
    };
    struct Decision {
        Access access = Access::Allowed;
        // The token came in the query only: send setCookieHeader().
        bool setCookie = false;
    };
    // A checked body: `value` when `error` is empty, else the status to answer.
    struct Parsed {
        nlohmann::json value;
        std::string error;
        int status = 200;
        bool ok() const { return error.empty(); }
    };

    RequestGuard(ListenAddress listen, std::vector<std::string> allowedHosts,
                 std::optional<std::string> token);

    Decision check(const Request& request) const;
    bool hostAllowed(std::string_view host) const;
    bool originAllowed(std::string_view origin) const;

    bool requiresToken() const { return token_.has_value(); }
    std::string cookieName() const;
    // "kesto_token_<port>=<token>; Path=/; HttpOnly; SameSite=Strict".
    std::string setCookieHeader() const;

    // Equal texts, in a time that does not depend on where they differ.
    static bool sameToken(std::string_view a, std::string_view b);
    // The value of cookie `name` in a Cookie header.
    static std::optional<std::string_view> cookieValue(std::string_view header,
                                                       std::string_view name);
    // A person's action for the driver: tap {name}, tapTab/answerAlert
    // {index}, beginEditing/deleteBackward/return {outlet}, type {outlet,
    // text}, scroll {outlet, offset}. Nothing else.
    static Parsed parseAction(std::string_view body);
    // The simulator's settings: {"rate": μSv/h} and/or {"lens": "open" | "covered"}.
    static Parsed parseSim(std::string_view body);

  private:
    static Parsed parseObject(std::string_view body);

    ListenAddress listen_;
    std::vector<std::string> allowedHosts_;  // lower case
    std::optional<std::string> token_;
};

}  // namespace kesto
