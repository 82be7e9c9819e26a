// Feeds arbitrary requests to the web front end's guard: the texts of a
// request's Host, Origin, Cookie, token and Authorization, and a body, one
// per line. Whatever passes must be what the guard promises: a Host of this
// server's shape, the right token, a person's action, a plain file name.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"

namespace {

using kesto::ListenAddress;
using kesto::RequestGuard;

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

std::vector<std::string_view> lines(std::string_view text, std::size_t count) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const auto newline = text.find('\n');
        if (newline == std::string_view::npos) {
            break;
        }
        out.push_back(text.substr(0, newline));
        text.remove_prefix(newline + 1);
    }
    out.push_back(text);
    out.resize(count);
    return out;
}

bool hostShaped(std::string_view host) {
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto parts = lines(input, 6);
    const std::string token = "fuzz-token-0123456789";
    static const RequestGuard loopback(ListenAddress("127.0.0.1", 8080), {"kesto.lan"},
                                       std::nullopt);
    static const RequestGuard wildcard(ListenAddress("::", 8080), {}, token);

    RequestGuard::Request request;
    request.host = parts[0];
    if (!parts[1].empty()) {
        request.origin = parts[1];
    }
    request.cookie = parts[2];
    if (!parts[3].empty()) {
        request.queryToken = parts[3];
    }
    request.authorization = parts[4];
    for (const RequestGuard* guard : {&loopback, &wildcard}) {
        const auto decision = guard->check(request);
        if (decision.access != RequestGuard::Access::ForeignHost) {
            check(guard->hostAllowed(request.host) && hostShaped(request.host));
            check(!request.origin || guard->originAllowed(*request.origin));
        }
        if (guard == &wildcard && decision.access == RequestGuard::Access::Allowed) {
            const auto cookie = RequestGuard::cookieValue(request.cookie, "kesto_token_8080");
            check((cookie && *cookie == token) ||
                  (request.queryToken && *request.queryToken == token) ||
                  request.authorization == "Bearer " + token);
        }
        check(!decision.setCookie || (request.queryToken && *request.queryToken == token));
    }
    check(RequestGuard::sameToken(parts[3], parts[4]) ==
          (parts[3] == parts[4] && !parts[3].empty()));

    static const std::set<std::string> actions = {"tap",          "tapTab",         "answerAlert",
                                                  "beginEditing", "deleteBackward", "return",
                                                  "type",         "scroll"};
    const auto action = RequestGuard::parseAction(parts[5]);
    if (action.ok()) {
        check(parts[5].size() <= RequestGuard::kMaxBodyBytes);
        check(action.value.is_object() &&
              actions.contains(action.value["action"].get<std::string>()));
    } else {
        check(action.status == 400 || action.status == 413);
    }
    const auto sim = RequestGuard::parseSim(parts[5]);
    if (sim.ok()) {
        for (const auto& [key, value] : sim.value.items()) {
            check(key == "rate" ? value.is_number() && value.get<double>() >= 0.0
                                : key == "lens" && (value == "open" || value == "covered"));
        }
    }
    if (kesto::StaticFiles::isSafeName(parts[0])) {
        check(parts[0].find('/') == std::string_view::npos && parts[0].front() != '.' &&
              parts[0].find('\0') == std::string_view::npos);
    }
    return 0;
}
