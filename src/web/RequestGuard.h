#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Result.h"
#include "web/HttpServer.h"
#include "web/ListenAddress.h"

namespace kesto {

// What every request must pass before it reaches the application: the Host
// and Origin it names, where it comes from, the access token when one is
// required, and the shape of what it sends. Decided on the whole request
// (every copy of a header), as pure checks on its texts, so they are tested
// (and fuzzed) without a server.
//
// Host must come once and name this server:
//   - the listen address with its port ("127.0.0.1:8080", "[::1]:8080";
//     without a port only when the port is 80);
//   - "localhost" with the port, when the listen address is loopback;
//   - any IP address with the port, when listening on every interface
//     (0.0.0.0 or ::): a page can only reach us under a name through DNS,
//     and an address typed by the person is not a rebinding;
//   - a name given with --allow-host, with any port or none (a proxy in front).
// Origin, when present, must come once and be "http://" or "https://"
// followed by such a host ("null" is refused). Anything else: 403, so that
// no other web page and no DNS-rebinding site can drive the detector.
// Actions (any method but GET and HEAD) are also refused (403) with an
// empty Origin or with "Sec-Fetch-Site: cross-site".
//
// Token (required when the server was given one: non-loopback listens, or a
// token file): the query parameter "token", the cookie "kesto_token_<port>"
// or the header "Authorization: Bearer <token>" (the scheme in any case),
// compared in constant time. A token that came in the query is then kept in
// the cookie (HttpOnly, SameSite=Strict). Without it: 401.
//
// Bodies (at most 16 KiB, which the server bounds): JSON nested at most
// kMaxJsonDepth deep, one object with exactly the keys of its kind; actions
// are ActionVocabulary's.
//
// Threads: a value after construction; any thread.
class RequestGuard {
  public:
    static constexpr std::size_t kMaxBodyBytes = 16 * 1024;
    static constexpr int kMaxJsonDepth = 4;

    enum class Access { Allowed, ForeignHost, ForeignAction, TokenRequired };

    struct Decision {
        Access access = Access::Allowed;
        // The token came in the query only: send setCookieHeader().
        bool setCookie = false;
        // Why it was refused, for the answer's body.
        std::string why;
    };

    RequestGuard(ListenAddress listen, std::vector<std::string> allowedHosts,
                 std::optional<std::string> token);

    Decision check(const HttpServer::Request& request) const;
    bool hostAllowed(std::string_view host) const;
    bool originAllowed(std::string_view origin) const;

    std::string cookieName() const;
    // "kesto_token_<port>=<token>; Path=/; HttpOnly; SameSite=Strict".
    std::string setCookieHeader() const;

    // Equal texts, in a time that does not depend on where they differ.
    static bool sameToken(std::string_view a, std::string_view b);
    // The value of cookie `name` in a Cookie header.
    static std::optional<std::string_view> cookieValue(std::string_view header,
                                                       std::string_view name);
    // A person's action for the driver (ActionVocabulary); nothing else.
    static Result<nlohmann::json> parseAction(std::string_view body);
    // The simulator's settings: {"rate": μSv/h} and/or {"lens": "open" | "covered"}.
    static Result<nlohmann::json> parseSim(std::string_view body);
    // The name a page gives itself in X-Kesto-Page (8 to 64 letters, digits,
    // '-' or '_'), so the application can tell two browsers apart; empty
    // when absent or anything else. A name, not a credential.
    static std::string pageOf(const HttpServer::Request& request);

  private:
    static Result<nlohmann::json> parseObject(std::string_view body);
    bool tokenPresented(const HttpServer::Request& request, bool& fromQueryOnly) const;

    ListenAddress listen_;
    std::vector<std::string> allowedHosts_;  // lower case
    std::optional<std::string> token_;
};

}  // namespace kesto
