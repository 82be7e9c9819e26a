#include <tuple>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/BitmapProcessor.h"
#include "support/TestSupport.h"
#include "web/ListenAddress.h"
#include "web/RequestGuard.h"
#include "web/StaticFiles.h"
#include "web/WebFrontEnd.h"

namespace kesto {
namespace {

using nlohmann::json;

TEST(RequestGuardTest, HostAndOriginMustNameThisServer) {
    const RequestGuard loopback(ListenAddress("127.0.0.1", 8080), {"Kesto.Lan"}, std::nullopt);
    const RequestGuard v6(ListenAddress("::1", 8080), {}, std::nullopt);
    const RequestGuard wildcard(ListenAddress("0.0.0.0", 8080), {}, std::nullopt);
    const RequestGuard web80(ListenAddress("192.168.1.5", 80), {}, std::nullopt);
    const std::vector<std::tuple<const RequestGuard*, std::string, bool>> hosts = {
        {&loopback, "127.0.0.1:8080", true},
        {&loopback, "localhost:8080", true},
        {&loopback, "LOCALHOST:8080", true},
        {&loopback, "kesto.lan", true},
        {&loopback, "kesto.lan:443", true},
        {&loopback, "127.0.0.1:8081", false},
        {&loopback, "127.0.0.1", false},
        {&loopback, "evil.example:8080", false},
        {&loopback, "localhost.evil.example:8080", false},
        {&loopback, "127.0.0.1:8080:8080", false},
        {&loopback, "127.0.0.1:+8080", false},
        {&loopback, "", false},
        {&loopback, "kesto.lan.", false},
        {&v6, "[::1]:8080", true},
        {&v6, "localhost:8080", true},
        {&v6, "[::1]", false},
        {&v6, "[::1:8080", false},
        {&v6, std::string("[::1\0evil]:8080", 15), false},
        {&wildcard, "192.168.1.5:8080", true},
        {&wildcard, "[fe80::1]:8080", true},
        {&wildcard, "rebind.evil.example:8080", false},
        {&wildcard, "localhost:8080", false},
        {&web80, "192.168.1.5", true},
        {&web80, "192.168.1.5:80", true},
        {&web80, "192.168.1.6", false},
    };
    for (const auto& [guard, host, allowed] : hosts) {
        EXPECT_EQ(guard->hostAllowed(host), allowed) << host;
    }
    const std::vector<std::tuple<std::string, bool>> origins = {
        {"http://127.0.0.1:8080", true},   {"https://kesto.lan", true},
        {"HTTP://localhost:8080", true},   {"null", false},
        {"http://evil.example", false},    {"file://", false},
        {"http://127.0.0.1:8080/", false}, {"ws://127.0.0.1:8080", false},
        {"http://127.0.0.1:9999", false},  {"", false},
    };
    for (const auto& [origin, allowed] : origins) {
        EXPECT_EQ(loopback.originAllowed(origin), allowed) << origin;
    }
}

HttpServer::Request request(std::string method, HttpServer::Headers headers,
                            HttpServer::Headers query = {}) {
    HttpServer::Request out;
    out.method = std::move(method);
    out.path = "/action";
    out.headers = std::move(headers);
    out.query = std::move(query);
    return out;
}

TEST(RequestGuardTest, TheTokenComesByQueryCookieOrBearerAndGoesIntoTheCookie) {
    const std::string token = "s3cr3t-token-0123456789";
    const RequestGuard guard(ListenAddress("10.0.0.2", 8080), {}, token);
    const std::string cookie = "kesto_token_8080=" + token;
    using Access = RequestGuard::Access;
    struct Row {
        HttpServer::Headers headers;
        HttpServer::Headers query;
        Access access;
        bool setCookie;
    };
    const std::vector<Row> rows = {
        {{}, {}, Access::TokenRequired, false},
        {{}, {{"token", token}}, Access::Allowed, true},
        {{}, {{"token", token + "x"}}, Access::TokenRequired, false},
        {{}, {{"token", ""}}, Access::TokenRequired, false},
        {{{"cookie", "a=b; " + cookie + "; c=d"}}, {}, Access::Allowed, false},
        {{{"cookie", "a=b"}, {"cookie", cookie}}, {}, Access::Allowed, false},
        {{{"cookie", cookie}}, {{"token", token}}, Access::Allowed, false},
        {{{"cookie", "kesto_token_8081=" + token}}, {}, Access::TokenRequired, false},
        {{{"authorization", "Bearer " + token}}, {}, Access::Allowed, false},
        {{{"authorization", "bEARER  " + token}}, {}, Access::Allowed, false},
        {{{"authorization", "Bearer" + token}}, {}, Access::TokenRequired, false},
        {{{"authorization", "Basic " + token}}, {}, Access::TokenRequired, false},
    };
    for (const auto& row : rows) {
        auto headers = row.headers;
        headers.emplace_back("host", "10.0.0.2:8080");
        const auto decision = guard.check(request("POST", headers, row.query));
        const std::string what =
            headers.front().second + " " + (row.query.empty() ? "-" : row.query.front().second);
        EXPECT_EQ(decision.access, row.access) << what;
        EXPECT_EQ(decision.setCookie, row.setCookie) << what;
    }
    // A foreign host is refused before its token is looked at.
    EXPECT_EQ(guard.check(request("GET", {{"host", "evil.example"}}, {{"token", token}})).access,
              Access::ForeignHost);
    EXPECT_FALSE(RequestGuard::sameToken("", ""));
    EXPECT_FALSE(RequestGuard::sameToken("abc", "abcd"));
}

// Decided on every copy of a header, and on where an action comes from.
TEST(RequestGuardTest, RepeatedHostsAndOriginsAndForeignActionsAreRefused) {
    const RequestGuard guard(ListenAddress("127.0.0.1", 8080), {}, std::nullopt);
    using Access = RequestGuard::Access;
    const std::string self = "127.0.0.1:8080";
    const std::string origin = "http://" + self;
    struct Row {
        const char* what;
        std::string method;
        HttpServer::Headers headers;
        Access access;
    };
    const std::vector<Row> rows = {
        {"plain", "POST", {{"host", self}, {"origin", origin}}, Access::Allowed},
        {"no Host", "GET", {}, Access::ForeignHost},
        {"two Hosts", "GET", {{"host", self}, {"host", "evil:8080"}}, Access::ForeignHost},
        {"two Hosts, both ours", "GET", {{"host", self}, {"host", self}}, Access::ForeignHost},
        {"two Origins",
         "GET",
         {{"host", self}, {"origin", origin}, {"origin", "http://evil"}},
         Access::ForeignHost},
        {"empty Origin, page", "GET", {{"host", self}, {"origin", ""}}, Access::Allowed},
        {"empty Origin, action", "POST", {{"host", self}, {"origin", ""}}, Access::ForeignAction},
        {"cross-site action",
         "POST",
         {{"host", self}, {"sec-fetch-site", "cross-site"}},
         Access::ForeignAction},
        {"cross-site page",
         "GET",
         {{"host", self}, {"sec-fetch-site", "cross-site"}},
         Access::Allowed},
        {"same-origin action",
         "POST",
         {{"host", self}, {"sec-fetch-site", "same-origin"}},
         Access::Allowed},
    };
    for (const auto& row : rows) {
        const auto decision = guard.check(request(row.method, row.headers));
        EXPECT_EQ(decision.access, row.access) << row.what;
        EXPECT_EQ(decision.why.empty(), row.access == Access::Allowed) << row.what;
    }
}

TEST(RequestGuardTest, OnlyAPersonsActionsPass) {
    const std::vector<std::tuple<std::string, bool>> cases = {
        {R"({"action": "tap", "name": "btnStart"})", true},
        {R"({"action": "tapTab", "index": 2})", true},
        {R"({"action": "answerAlert", "index": 0})", true},
        {R"({"action": "beginEditing", "outlet": "txtTag"})", true},
        {R"({"action": "type", "outlet": "txtTag", "text": "été"})", true},
        {R"({"action": "deleteBackward", "outlet": "txtTag"})", true},
        {R"({"action": "return", "outlet": "txtTag"})", true},
        {R"({"action": "scroll", "outlet": "tbl", "offset": 12.5})", true},
        {R"({"action": "snapshot"})", false},
        {R"({"action": "launch"})", false},
        {R"({"name": "btnStart"})", false},
        {R"({"action": "tap", "name": ""})", false},
        {R"({"action": "tap", "name": 3})", false},
        {R"({"action": "tapTab", "index": 1.5})", false},
        {R"({"action": "type", "outlet": "txtTag"})", false},
        {R"({"action": "tap", "name": "a", "x": 1})", false},
        {R"({"action": "tap", "name": "a"} trailing)", false},
        {"\"tap\"", false},
        {"{\"action\": \"type\", \"outlet\": \"t\", \"text\": \"\xff\"}", false},
        {"[[[[[{}]]]]]", false},
        {std::string(5000, '['), false},
        {std::string(RequestGuard::kMaxBodyBytes + 1, ' '), false},
    };
    for (const auto& [body, good] : cases) {
        EXPECT_EQ(RequestGuard::parseAction(body).ok(), good) << body.substr(0, 80);
    }
}

TEST(StaticFilesTest, OnlyPlainNamesAreServed) {
    const std::vector<std::tuple<std::string, bool>> names = {
        {"index.html", true}, {"app.js", true},  {"Onglet_A_icon_2.png", true},
        {"", false},          {".", false},      {"..", false},
        {".hidden", false},   {"a/b.js", false}, {"..%2f", false},
        {"a\\b", false},      {"a b", false},    {std::string("a\0b", 3), false},
    };
    for (const auto& [name, safe] : names) {
        EXPECT_EQ(StaticFiles::isSafeName(name), safe) << name;
    }
}

// Events fall in the 10 s bin of their time since the start; the last bin is
// the one filling now.
TEST(CounterTest, EventsAreCountedPerTenSecondsOfTheAcquisition) {
    test::ManualClock clock;
    const auto engine = BitmapProcessor::create();
    const json idle = WebFrontEnd::counter(*engine);
    EXPECT_EQ(idle["bins"], json::array());
    EXPECT_EQ(idle["events"], 0);
    EXPECT_EQ(idle["doseRateUpper95"], nullptr);
    engine->startAcquisition();
    for (const double t : {0.5, 3.0, 9.99, 10.0, 31.0}) {
        engine->eventDetected(1, t);
    }
    clock.advance(42.0);
    const json running = WebFrontEnd::counter(*engine);
    EXPECT_EQ(running["running"], true);
    EXPECT_EQ(running["binSeconds"], 10);
    EXPECT_EQ(running["bins"], json({3, 1, 0, 1, 0}));
    EXPECT_EQ(running["events"], 5);
    // Five events over 42 s: 198 μSv/h × [1.6235, 11.668] / 42.
    EXPECT_NEAR(running["doseRateLower95"].get<double>(), 7.654, 0.01);
    EXPECT_NEAR(running["doseRateUpper95"].get<double>(), 55.01, 0.01);
    EXPECT_EQ(running["doseRateInterval"], "95%: 7.65\u201355.01 \u03bcSv/h");
    engine->stopAcquisition();
    clock.advance(100.0);
    EXPECT_EQ(WebFrontEnd::counter(*engine)["bins"], json({3, 1, 0, 1, 0}));
}

}  // namespace
}  // namespace kesto
