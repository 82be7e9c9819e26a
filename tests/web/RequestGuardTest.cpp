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

TEST(RequestGuardTest, TheTokenComesByQueryCookieOrBearerAndGoesIntoTheCookie) {
    const std::string token = "s3cr3t-token-0123456789";
    const RequestGuard guard(ListenAddress("10.0.0.2", 8080), {}, token);
    const std::string cookie = "kesto_token_8080=" + token;
    using Access = RequestGuard::Access;
    struct Row {
        std::string cookie;
        std::optional<std::string> query;
        std::string authorization;
        Access access;
        bool setCookie;
    };
    const std::vector<Row> rows = {
        {"", std::nullopt, "", Access::TokenRequired, false},
        {"", token, "", Access::Allowed, true},
        {"", token + "x", "", Access::TokenRequired, false},
        {"", "", "", Access::TokenRequired, false},
        {"a=b; " + cookie + "; c=d", std::nullopt, "", Access::Allowed, false},
        {cookie, token, "", Access::Allowed, false},
        {"kesto_token_8081=" + token, std::nullopt, "", Access::TokenRequired, false},
        {"", std::nullopt, "Bearer " + token, Access::Allowed, false},
        {"", std::nullopt, "Basic " + token, Access::TokenRequired, false},
    };
    for (const auto& row : rows) {
        RequestGuard::Request request;
        request.host = "10.0.0.2:8080";
        request.cookie = row.cookie;
        if (row.query) {
            request.queryToken = *row.query;
        }
        request.authorization = row.authorization;
        const auto decision = guard.check(request);
        EXPECT_EQ(decision.access, row.access) << row.cookie << " " << row.query.value_or("-");
        EXPECT_EQ(decision.setCookie, row.setCookie) << row.cookie;
    }
    // A foreign host is refused before its token is looked at.
    RequestGuard::Request foreign;
    foreign.host = "evil.example";
    foreign.queryToken = token;
    EXPECT_EQ(guard.check(foreign).access, Access::ForeignHost);
    EXPECT_FALSE(RequestGuard::sameToken("", ""));
    EXPECT_FALSE(RequestGuard::sameToken("abc", "abcd"));
}

TEST(RequestGuardTest, OnlyAPersonsActionsPass) {
    const std::vector<std::tuple<std::string, int>> cases = {
        {R"({"action": "tap", "name": "btnStart"})", 200},
        {R"({"action": "tapTab", "index": 2})", 200},
        {R"({"action": "answerAlert", "index": 0})", 200},
        {R"({"action": "beginEditing", "outlet": "txtTag"})", 200},
        {R"({"action": "type", "outlet": "txtTag", "text": "été"})", 200},
        {R"({"action": "deleteBackward", "outlet": "txtTag"})", 200},
        {R"({"action": "return", "outlet": "txtTag"})", 200},
        {R"({"action": "scroll", "outlet": "tbl", "offset": 12.5})", 200},
        {R"({"action": "snapshot"})", 400},
        {R"({"action": "launch"})", 400},
        {R"({"name": "btnStart"})", 400},
        {R"({"action": "tap", "name": ""})", 400},
        {R"({"action": "tap", "name": 3})", 400},
        {R"({"action": "tapTab", "index": 1.5})", 400},
        {R"({"action": "type", "outlet": "txtTag"})", 400},
        {R"({"action": "tap", "name": "a", "x": 1})", 400},
        {R"({"action": "tap", "name": "a"} trailing)", 400},
        {"\"tap\"", 400},
        {"{\"action\": \"type\", \"outlet\": \"t\", \"text\": \"\xff\"}", 400},
        {"[[[[[{}]]]]]", 400},
        {std::string(5000, '['), 400},
        {std::string(RequestGuard::kMaxBodyBytes + 1, ' '), 413},
    };
    for (const auto& [body, status] : cases) {
        const auto parsed = RequestGuard::parseAction(body);
        EXPECT_EQ(parsed.ok() ? 200 : parsed.status, status) << body.substr(0, 80);
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
