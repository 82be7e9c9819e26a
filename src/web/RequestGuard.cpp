#include "web/RequestGuard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

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

RequestGuard::Parsed refuse(std::string why, int status = 400) {
    RequestGuard::Parsed out;
    out.error = std::move(why);
    out.status = status;
    return out;
}

bool hasOnlyKeys(const json& object, const std::set<std::string>& keys) {
    if (object.size() != keys.size()) {
        return false;
    }
    return std::all_of(keys.begin(), keys.end(),
                       [&](const std::string& key) { return object.contains(key); });
}

bool isName(const json& value) {
    return value.is_string() && !value.get_ref<const std::string&>().empty() &&
           value.get_ref<const std::string&>().size() <= RequestGuard::kMaxNameBytes;
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

RequestGuard::Decision RequestGuard::check(const Request& request) const {
    Decision decision;
    if (!hostAllowed(request.host) || (request.origin && !originAllowed(*request.origin))) {
        decision.access = Access::ForeignHost;
        return decision;
    }
    if (!token_) {
        return decision;
    }
    const auto cookie = cookieValue(request.cookie, cookieName());
    const bool cookieGood = cookie && sameToken(*cookie, *token_);
    const bool queryGood = request.queryToken && sameToken(*request.queryToken, *token_);
    constexpr std::string_view bearer = "Bearer ";
    const bool headerGood = request.authorization.starts_with(bearer) &&
                            sameToken(request.authorization.substr(bearer.size()), *token_);
    if (!cookieGood && !queryGood && !headerGood) {
        decision.access = Access::TokenRequired;
        return decision;
    }
    decision.setCookie = queryGood && !cookieGood;
    return decision;
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

RequestGuard::Parsed RequestGuard::parseObject(std::string_view body) {
    if (body.size() > kMaxBodyBytes) {
        return refuse("the body is larger than 16 KiB", 413);
    }
    if (nestingDepth(body) > kMaxJsonDepth) {
        return refuse("the body is nested too deep");
    }
    Parsed out;
    out.value = json::parse(body, nullptr, false);
    if (out.value.is_discarded()) {
        return refuse("the body is not JSON");
    }
    if (!out.value.is_object()) {
        return refuse("the body is not a JSON object");
    }
    return out;
}

RequestGuard::Parsed RequestGuard::parseAction(std::string_view body) {
    Parsed parsed = parseObject(body);
    if (!parsed.ok()) {
        return parsed;
    }
    const json& a = parsed.value;
    if (!a.contains("action") || !a["action"].is_string()) {
        return refuse("no \"action\" text");
    }
    const auto& kind = a["action"].get_ref<const std::string&>();
    bool good = false;
    if (kind == "tap") {
        good = hasOnlyKeys(a, {"action", "name"}) && isName(a["name"]);
    } else if (kind == "tapTab" || kind == "answerAlert") {
        good = hasOnlyKeys(a, {"action", "index"}) && a["index"].is_number_integer();
    } else if (kind == "beginEditing" || kind == "deleteBackward" || kind == "return") {
        good = hasOnlyKeys(a, {"action", "outlet"}) && isName(a["outlet"]);
    } else if (kind == "type") {
        good = hasOnlyKeys(a, {"action", "outlet", "text"}) && isName(a["outlet"]) &&
               a["text"].is_string() &&
               a["text"].get_ref<const std::string&>().size() <= kMaxTypedBytes;
    } else if (kind == "scroll") {
        good = hasOnlyKeys(a, {"action", "outlet", "offset"}) && isName(a["outlet"]) &&
               a["offset"].is_number() && std::isfinite(a["offset"].get<double>());
    } else {
        return refuse("not an action a person can do: '" + kind.substr(0, kMaxNameBytes) + "'");
    }
    if (!good) {
        return refuse("the action '" + kind + "' does not have the keys it needs");
    }
    return parsed;
}

RequestGuard::Parsed RequestGuard::parseSim(std::string_view body) {
    Parsed parsed = parseObject(body);
    if (!parsed.ok()) {
        return parsed;
    }
    const json& s = parsed.value;
    if (s.empty()) {
        return refuse("nothing to set: give \"rate\" or \"lens\"");
    }
    for (const auto& [key, value] : s.items()) {
        if (key == "rate") {
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                value.get<double>() < 0.0) {
                return refuse("\"rate\" must be a number of μSv/h, 0 or more");
            }
        } else if (key == "lens") {
            if (value != "open" && value != "covered") {
                return refuse("\"lens\" must be \"open\" or \"covered\"");
            }
        } else {
            return refuse("unknown setting '" + key.substr(0, kMaxNameBytes) + "'");
        }
    }
    return parsed;
}

}  // namespace kesto
