#include "web/RequestGuard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "toolkit/ActionVocabulary.h"

namespace kesto {
namespace {

using nlohmann::json;

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

// A Host header's name (brackets dropped) and port (-1: none); nothing when
// it is not shaped like one.
struct Authority {
    std::string name;
    int port = -1;
};

std::optional<Authority> splitAuthority(std::string_view text) {
    if (text.empty() || text.size() > 300) {
        return std::nullopt;
    }
    Authority out;
    std::string_view rest;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        out.name = lower(text.substr(1, close - 1));
        // Checked before inet_pton, which would stop at an embedded NUL.
        const bool v6Chars = std::all_of(out.name.begin(), out.name.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.';
        });
        in6_addr v6{};
        if (!v6Chars || inet_pton(AF_INET6, out.name.c_str(), &v6) != 1) {
            return std::nullopt;
        }
        rest = text.substr(close + 1);
    } else {
        const auto colon = text.find(':');
        out.name = lower(text.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
        const bool nameChars =
            !out.name.empty() && std::all_of(out.name.begin(), out.name.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
            });
        if (!nameChars) {
            return std::nullopt;
        }
    }
    if (!rest.empty()) {
        if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) {
            return std::nullopt;
        }
        const auto digits = rest.substr(1);
        int port = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
        if (ec != std::errc() || end != digits.data() + digits.size() || port < 0 || port > 65535) {
            return std::nullopt;
        }
        out.port = port;
    }
    return out;
}

bool isIpLiteral(const std::string& name) {
    in_addr v4{};
    in6_addr v6{};
    return inet_pton(AF_INET, name.c_str(), &v4) == 1 ||
           inet_pton(AF_INET6, name.c_str(), &v6) == 1;
}

// Deepest nesting of arrays and objects, counted without parsing, so that a
// hostile body never reaches the parser's recursion.
int nestingDepth(std::string_view text) {
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

}  // namespace

RequestGuard::RequestGuard(ListenAddress listen, std::vector<std::string> allowedHosts,
                           std::optional<std::string> token)
    : listen_(std::move(listen)), token_(std::move(token)) {
    for (const auto& name : allowedHosts) {
        allowedHosts_.push_back(lower(name));
    }
}

bool RequestGuard::hostAllowed(std::string_view host) const {
    const auto authority = splitAuthority(host);
    if (!authority) {
        return false;
    }
    const std::string& name = authority->name;
    if (std::find(allowedHosts_.begin(), allowedHosts_.end(), name) != allowedHosts_.end()) {
        return true;
    }
    const bool portMatches =
        authority->port == listen_.port() || (authority->port < 0 && listen_.port() == 80);
    if (!portMatches) {
        return false;
    }
    if (name == lower(listen_.host())) {
        return true;
    }
    if (listen_.isLoopback() && name == "localhost") {
        return true;
    }
    return listen_.isWildcard() && isIpLiteral(name);
}

bool RequestGuard::originAllowed(std::string_view origin) const {
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (origin.size() > scheme.size() && lower(origin.substr(0, scheme.size())) == scheme) {
            return hostAllowed(origin.substr(scheme.size()));
        }
    }
    return false;
}

RequestGuard::Decision RequestGuard::check(const HttpServer::Request& request) const {
    Decision decision;
    const auto refuse = [&decision](Access access, std::string why) {
        decision.access = access;
        decision.why = std::move(why);
        return decision;
    };
    const auto hosts = request.headerValues("host");
    if (hosts.size() != 1 || !hostAllowed(hosts.front())) {
        return refuse(Access::ForeignHost, "this server answers only to its own address");
    }
    const auto origins = request.headerValues("origin");
    const bool action = request.method != "GET" && request.method != "HEAD";
    if (origins.size() > 1 ||
        (origins.size() == 1 && !origins.front().empty() && !originAllowed(origins.front()))) {
        return refuse(Access::ForeignHost, "this server answers only to its own pages");
    }
    if (action) {
        const auto sites = request.headerValues("sec-fetch-site");
        const bool crossSite = std::any_of(sites.begin(), sites.end(), [](std::string_view site) {
            return lower(site) == "cross-site";
        });
        if ((origins.size() == 1 && origins.front().empty()) || crossSite) {
            return refuse(Access::ForeignAction, "actions come only from this server's own pages");
        }
    }
    if (!token_) {
        return decision;
    }
    bool fromQueryOnly = false;
    if (!tokenPresented(request, fromQueryOnly)) {
        return refuse(Access::TokenRequired,
                      "token required: open the address kesto serve printed, with its ?token=");
    }
    decision.setCookie = fromQueryOnly;
    return decision;
}

bool RequestGuard::tokenPresented(const HttpServer::Request& request, bool& fromQueryOnly) const {
    bool cookieGood = false;
    for (const auto header : request.headerValues("cookie")) {
        const auto cookie = cookieValue(header, cookieName());
        cookieGood = cookieGood || (cookie && sameToken(*cookie, *token_));
    }
    const auto query = request.queryValue("token");
    const bool queryGood = query && sameToken(*query, *token_);
    bool headerGood = false;
    for (auto authorization : request.headerValues("authorization")) {
        // The scheme name is case-insensitive; one or more spaces follow it.
        constexpr std::string_view scheme = "bearer";
        if (authorization.size() > scheme.size() &&
            lower(authorization.substr(0, scheme.size())) == scheme &&
            authorization[scheme.size()] == ' ') {
            authorization.remove_prefix(scheme.size());
            while (!authorization.empty() && authorization.front() == ' ') {
                authorization.remove_prefix(1);
            }
            headerGood = headerGood || sameToken(authorization, *token_);
        }
    }
    fromQueryOnly = queryGood && !cookieGood;
    return cookieGood || queryGood || headerGood;
}

std::string RequestGuard::cookieName() const {
    // One per port: two servers on one machine share the browser's cookies.
    return "kesto_token_" + std::to_string(listen_.port());
}

std::string RequestGuard::setCookieHeader() const {
    return cookieName() + "=" + token_.value_or("") + "; Path=/; HttpOnly; SameSite=Strict";
}

bool RequestGuard::sameToken(std::string_view a, std::string_view b) {
    const std::size_t n = std::max(a.size(), b.size());
    unsigned diff = a.size() == b.size() ? 0U : 1U;
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        diff |= static_cast<unsigned>(x ^ y);
    }
    return diff == 0 && !a.empty();
}

std::optional<std::string_view> RequestGuard::cookieValue(std::string_view header,
                                                          std::string_view name) {
    while (!header.empty()) {
        const auto semicolon = header.find(';');
        std::string_view pair = header.substr(0, semicolon);
        header =
            semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
        while (!pair.empty() && pair.front() == ' ') {
            pair.remove_prefix(1);
        }
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name) {
            return pair.substr(equals + 1);
        }
    }
    return std::nullopt;
}

Result<json> RequestGuard::parseObject(std::string_view body) {
    if (body.size() > kMaxBodyBytes) {
        return fail("the body is larger than 16 KiB");
    }
    if (nestingDepth(body) > kMaxJsonDepth) {
        return fail("the body is nested too deep");
    }
    json value = json::parse(body, nullptr, false);
    if (value.is_discarded()) {
        return fail("the body is not JSON");
    }
    if (!value.is_object()) {
        return fail("the body is not a JSON object");
    }
    return value;
}

Result<json> RequestGuard::parseAction(std::string_view body) {
    auto parsed = parseObject(body);
    if (!parsed) {
        return parsed;
    }
    if (const auto action = ActionVocabulary::read(*parsed); !action) {
        return action.failure();
    }
    return parsed;
}

std::string RequestGuard::pageOf(const HttpServer::Request& request) {
    const auto name = request.header("x-kesto-page");
    const auto fits = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '_';
    };
    if (!name || name->size() < 8 || name->size() > 64 ||
        !std::all_of(name->begin(), name->end(), fits)) {
        return {};
    }
    return std::string(*name);
}

Result<json> RequestGuard::parseSim(std::string_view body) {
    auto parsed = parseObject(body);
    if (!parsed) {
        return parsed;
    }
    const json& s = *parsed;
    if (s.empty()) {
        return fail("nothing to set: give \"rate\" or \"lens\"");
    }
    for (const auto& [key, value] : s.items()) {
        if (key == "rate") {
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                value.get<double>() < 0.0) {
                return fail("\"rate\" must be a number of μSv/h, 0 or more");
            }
        } else if (key == "lens") {
            if (value != "open" && value != "covered") {
                return fail("\"lens\" must be \"open\" or \"covered\"");
            }
        } else {
            return fail("unknown setting '" + key.substr(0, 256) + "'");
        }
    }
    return parsed;
}

}  // namespace kesto
