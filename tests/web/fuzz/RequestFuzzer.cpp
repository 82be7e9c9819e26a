// Feeds arbitrary requests, as raw HTTP text (request line, header lines, a
// blank line, the body), through what the web server does with a request
// once libmicrohttpd has split it: the guard's decision on the whole
// request, then the body's parser for the route. Whatever passes must be
// what the guard promises: one Host of this server's shape, no foreign
// Origin or cross-site action, the right token, a person's action, a plain
// file name.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "web/HttpServer.h"
#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"

namespace {

using kesto::HttpServer;
using kesto::ListenAddress;
using kesto::RequestGuard;

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return out;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The request as the server hands it to its filter and routes.
HttpServer::Request split(std::string_view raw) {
    HttpServer::Request request;
    const auto headEnd = raw.find("\n\n");
    std::string_view head = raw.substr(0, headEnd);
    request.body = headEnd == std::string_view::npos ? "" : std::string(raw.substr(headEnd + 2));
    const auto lineEnd = head.find('\n');
    const std::string_view line = head.substr(0, lineEnd);
    head = lineEnd == std::string_view::npos ? std::string_view() : head.substr(lineEnd + 1);
    const auto space = line.find(' ');
    request.method = std::string(line.substr(0, space));
    std::string_view target = space == std::string_view::npos ? "" : line.substr(space + 1);
    const auto question = target.find('?');
    request.path = std::string(target.substr(0, question));
    for (std::string_view query = question == std::string_view::npos ? ""
                                                                     : target.substr(question + 1);
         !query.empty();) {
        const auto amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const auto equals = pair.find('=');
        request.query.emplace_back(
            std::string(pair.substr(0, equals)),
            equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1)));
        query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
    }
    while (!head.empty()) {
        const auto end = head.find('\n');
        const std::string_view header = head.substr(0, end);
        head = end == std::string_view::npos ? std::string_view() : head.substr(end + 1);
        const auto colon = header.find(':');
        if (colon != std::string_view::npos) {
            request.headers.emplace_back(lower(trim(header.substr(0, colon))),
                                         std::string(trim(header.substr(colon + 1))));
        }
    }
    return request;
}

bool hostShaped(std::string_view host) {
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
}

bool bearerIs(std::string_view value, const std::string& token) {
    if (value.size() <= 7 || lower(value.substr(0, 7)) != "bearer ") {
        return false;
    }
    value.remove_prefix(7);
    while (!value.empty() && value.front() == ' ') {
        value.remove_prefix(1);
    }
    return value == token;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const HttpServer::Request request =
        split(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string token = "fuzz-token-0123456789";
    static const RequestGuard loopback(ListenAddress("127.0.0.1", 8080), {"kesto.lan"},
                                       std::nullopt);
    static const RequestGuard wildcard(ListenAddress("::", 8080), {}, token);

    const bool action = request.method != "GET" && request.method != "HEAD";
    for (const RequestGuard* guard : {&loopback, &wildcard}) {
        const auto decision = guard->check(request);
        check((decision.access == RequestGuard::Access::Allowed) == decision.why.empty());
        if (decision.access == RequestGuard::Access::Allowed) {
            const auto hosts = request.headerValues("host");
            check(hosts.size() == 1 && guard->hostAllowed(hosts[0]) && hostShaped(hosts[0]));
            const auto origins = request.headerValues("origin");
            check(origins.size() <= 1);
            check(origins.empty() || guard->originAllowed(origins[0]) ||
                  (origins[0].empty() && !action));
            for (const auto site : request.headerValues("sec-fetch-site")) {
                check(!action || lower(site) != "cross-site");
            }
        }
        if (guard == &wildcard && decision.access == RequestGuard::Access::Allowed) {
            bool presented = request.queryValue("token") == std::string_view(token);
            for (const auto cookie : request.headerValues("cookie")) {
                presented = presented || RequestGuard::cookieValue(cookie, "kesto_token_8080") ==
                                             std::string_view(token);
            }
            for (const auto authorization : request.headerValues("authorization")) {
                presented = presented || bearerIs(authorization, token);
            }
            check(presented);
        }
        check(!decision.setCookie || request.queryValue("token") == std::string_view(token));
    }

    static const std::set<std::string> actions = {"tap",          "tapTab",         "answerAlert",
                                                  "beginEditing", "deleteBackward", "return",
                                                  "type",         "scroll"};
    if (const auto parsed = RequestGuard::parseAction(request.body)) {
        check(request.body.size() <= RequestGuard::kMaxBodyBytes);
        check(parsed->is_object() && actions.contains((*parsed)["action"].get<std::string>()));
    }
    if (const auto sim = RequestGuard::parseSim(request.body)) {
        for (const auto& [key, value] : sim->items()) {
            check(key == "rate" ? value.is_number() && value.get<double>() >= 0.0
                                : key == "lens" && (value == "open" || value == "covered"));
        }
    }
    const auto slash = request.path.rfind('/');
    const std::string name =
        slash == std::string::npos ? request.path : request.path.substr(slash + 1);
    if (kesto::StaticFiles::isSafeName(name)) {
        check(name.find('/') == std::string::npos && name.front() != '.' &&
              name.find('\0') == std::string::npos);
    }
    return 0;
}
