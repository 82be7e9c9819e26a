#include <tuple>

#include "camera/CaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "history/RadiationHistoryMng.h"
#include "web/WebFixture.h"

namespace kesto {
namespace {

using nlohmann::json;
using test::EventStream;

class WebFrontEndTest : public test::WebFixture {};

// A stream starts with the current state; a pass that changed nothing sends
// nothing; a tap's change comes next with the following version.
TEST_F(WebFrontEndTest, SnapshotsArePushedOnChangeAndOnlyThen) {
    startWeb();
    EventStream stream(web.port());
    auto shots = stream.waitFor(1);
    ASSERT_EQ(shots.size(), 1u);
    const auto first = shots[0];
    EXPECT_EQ(shownCount(first), "0");
    EXPECT_EQ(first["sensor"]["simulated"], true);
    EXPECT_TRUE(first["sensor"].contains("rate"));
    EXPECT_EQ(first["counter"]["binSeconds"], 10);
    EXPECT_EQ(first["counter"]["running"], false);

    const auto version = web.publisher()->version();
    for (int i = 0; i < 5; ++i) {
        RunLoop::main().dispatch([] {});
        RunLoop::main().runPending();
    }
    EXPECT_EQ(web.publisher()->version(), version);

    const auto answer = post("/action", R"({"action": "tap", "name": "add"})");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(json::parse(answer->body), json({{"ok", true}}));
    shots = stream.waitFor(2);
    ASSERT_EQ(shots.size(), 2u);
    EXPECT_EQ(shownCount(shots[1]), "1");
    EXPECT_EQ(shots[1]["version"], first["version"].get<int>() + 1);
}

// An event found on the frame thread makes a pass of its own: the counter
// follows it without waiting for a screen's timer.
TEST_F(WebFrontEndTest, TheCounterFollowsEventsFromTheFrameThread) {
    auto& engine = BitmapProcessor::sharedInstance();
    engine.startAcquisition();
    startWeb();
    EventStream stream(web.port());
    ASSERT_EQ(stream.waitFor(1).size(), 1u);
    EXPECT_EQ(stream.snapshots()[0]["counter"]["running"], true);
    std::thread frames([&engine] { engine.eventDetected(3, 12.0); });
    frames.join();
    const auto shots = stream.waitFor(2);
    ASSERT_EQ(shots.size(), 2u);
    EXPECT_EQ(shots[1]["counter"]["events"], 1);
    EXPECT_EQ(shots[1]["counter"]["bins"], json({0, 1}));
    engine.stopAcquisition();
    engine.resetModel();
}

TEST_F(WebFrontEndTest, ServesThePageImagesAndHelpAndNothingElse) {
    startWeb();
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"/", 200, "<title>page</title>"},
        {"/web/app.js", 200, "// app"},
        {"/images/B_play.png", 200, "PNG"},
        {"/help/help_en.html", 200, "<p>help</p>"},
        {"/web/missing.css", 404, ""},
        {"/web/../secret.txt", 404, ""},
        {"/web/%2e%2e/secret.txt", 404, ""},
        {"/web/escape.txt", 404, ""},  // a symbolic link out of the folder
        {"/layouts/MainWindow.json", 404, ""},
    };
    for (const auto& [path, status, body] : cases) {
        const auto r = get(path);
        ASSERT_TRUE(r) << path;
        EXPECT_EQ(r->status, status) << path;
        EXPECT_EQ(r->body.find("SECRET"), std::string::npos) << path;
        if (!body.empty()) {
            EXPECT_NE(r->body.find(body), std::string::npos) << path;
        }
    }
    EXPECT_EQ(get("/web/app.js")->header("content-type"), "text/javascript; charset=utf-8");
}

// Not simulated: the sensor panel has nothing to set.
class RealSensor : public CaptureBackend {
  public:
    std::unique_ptr<CaptureSession> createSession() override { return nullptr; }
    CaptureDevice* defaultDevice() override { return nullptr; }
    std::string description() const override { return "camera /dev/video9"; }
};

// Each request is refused with its status and changes nothing. The server
// needs a token here (fixed by a file), which every row but one presents.
TEST_F(WebFrontEndTest, RefusedRequestsChangeNothing) {
    const std::string token = "0123456789abcdef0123";
    writeFile("token", token + "\n");
    std::filesystem::permissions(dir.path() / "token", std::filesystem::perms::owner_read);
    RealSensor sensor;
    WebFrontEnd::Options options;
    options.tokenFile = dir.path() / "token";
    options.backend = &sensor;
    startWeb(options);
    const std::string self = "127.0.0.1:" + std::to_string(web.port());
    const std::string cookie = "kesto_token_" + std::to_string(web.port()) + "=" + token;
    const std::string tap = R"({"action": "tap", "name": "add"})";
    struct Row {
        const char* what;
        const char* method;
        std::string path;
        std::string headers;
        std::string body;
        int status;
    };
    // One row per kind of refusal: which requests each refuses is RequestGuardTest's.
    const std::string authed = "Cookie: " + cookie + "\r\n";
    const std::vector<Row> rows = {
        {"foreign Host", "POST", "/action", "Host: evil\r\n" + authed, tap, 403},
        {"cross-site action", "POST", "/action", "Sec-Fetch-Site: cross-site\r\n" + authed, tap,
         403},
        {"no token", "POST", "/action", "", tap, 401},
        {"malformed JSON", "POST", "/action", authed, R"({"action": "tap",)", 400},
        {"sim on a real sensor", "POST", "/sim", authed, R"({"rate": 5})", 404},
        {"traversal with token", "GET", "/web/%2e%2e/token", authed, "", 404},
    };
    const auto version = web.publisher()->version();
    for (const auto& row : rows) {
        const auto r = std::string(row.method) == "GET" ? get(row.path, row.headers)
                                                        : post(row.path, row.body, row.headers);
        ASSERT_TRUE(r) << row.what;
        EXPECT_EQ(r->status, row.status) << row.what;
        EXPECT_EQ(r->header("content-type"), "application/json") << row.what;
        EXPECT_EQ(json::parse(r->body)["ok"], false) << row.what;
        EXPECT_EQ(r->body.find(token), std::string::npos) << row.what;
    }
    RunLoop::main().runPending();
    EXPECT_EQ(labelText(), "0");
    EXPECT_EQ(web.publisher()->version(), version);

    // The token in the address moves into the cookie, out of the address.
    const auto first = get("/?token=" + token);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 303);
    EXPECT_EQ(first->header("set-cookie"), "kesto_token_" + std::to_string(web.port()) + "=" +
                                               token + "; Path=/; HttpOnly; SameSite=Strict");
    EXPECT_EQ(get("/", authed + "Host: " + self + "\r\n")->status, 200);
    EXPECT_EQ(post("/action", tap, "Authorization: bearer " + token + "\r\n")->status, 200);
    const auto metrics = get("/metrics", "Authorization: Bearer " + token + "\r\n");
    EXPECT_EQ(metrics->status, 200);
    EXPECT_NE(metrics->body.find("kesto_light{sensor=\"camera\"} 0\n"), std::string::npos);
    EXPECT_EQ(labelText(), "1");
}

// Anyone on the machine could read the token and drive the detector.
TEST_F(WebFrontEndTest, ATokenFileOthersCanReadIsRefused) {
    writeFile("token", "0123456789abcdef0123\n");
    std::filesystem::permissions(dir.path() / "token", std::filesystem::perms::others_read,
                                 std::filesystem::perm_options::add);
    WebFrontEnd::Options options;
    options.listen = ListenAddress("127.0.0.1", 0);
    options.resourceDirectory = dir.path();
    options.tokenFile = dir.path() / "token";
    const auto started = web.start(options);
    ASSERT_FALSE(started);
    EXPECT_NE(started.error().find("chmod 600"), std::string::npos) << started.error();
}

TEST_F(WebFrontEndTest, TheSimulatorPanelSetsRateAndLens) {
    startWeb();
    EventStream stream(web.port());
    ASSERT_EQ(stream.waitFor(1).size(), 1u);
    const std::vector<std::tuple<std::string, int>> cases = {
        {R"({"rate": 12.5})", 200},         {R"({"lens": "open"})", 200}, {R"({"rate": -1})", 400},
        {R"({"lens": "ajar"})", 400},       {R"({"rate": "5"})", 400},    {R"({})", 400},
        {R"({"rate": 1, "seed": 2})", 400},
    };
    for (const auto& [body, status] : cases) {
        const auto r = post("/sim", body);
        ASSERT_TRUE(r) << body;
        EXPECT_EQ(r->status, status) << body;
    }
    const auto shots = stream.waitFor(2);
    const auto& last = shots.back()["sensor"];
    EXPECT_EQ(last["rate"], 12.5);
    EXPECT_EQ(last["lensOpen"], true);
    ASSERT_TRUE(post("/sim", R"({"lens": "covered", "rate": 0.5})"));
}

// The side panel's list: each saved measurement with what the upload log says
// of it (which status each log line gives is UploadLogTest's).
TEST_F(WebFrontEndTest, TheHistoryCarriesEachMeasurementsUpload) {
    RadiationHistoryMng::resetForTesting(dir.path() / "data");
    for (const char* tag : {"older", "newer"}) {
        auto record = std::make_shared<RadiationHistoryRecord>();
        record->setTag(tag);
        record->setStartDate(clock.now());
        clock.advance(60.0);
        RadiationHistoryMng::registerRadiationHistoryRecord(record);
    }
    startWeb();
    EventStream stream(web.port());
    ASSERT_EQ(stream.waitFor(1).size(), 1u);
    const auto records = stream.snapshots()[0]["history"]["records"];
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], json({{"tag", "newer"},
                                {"startDate", "2011-03-13T07:07:40.250Z"},
                                {"upload", "never sent"}}));
    EXPECT_EQ(stream.snapshots()[0]["history"]["shown"], false);
    RadiationHistoryMng::resetForTesting(dir.path() / "data");
}

}  // namespace
}  // namespace kesto
