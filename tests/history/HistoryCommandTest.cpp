#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "LoopbackServer.h"
#include "app/CommandLine.h"
#include "history/RadiationHistoryMng.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

class HistoryCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("KESTO_SERVER");
        setenv("no_proxy", "*", 1);  // loopback servers only, whatever the machine's proxy
        RadiationHistoryMng::resetForTesting(dir.path() / "unused");
    }
    void TearDown() override { RadiationHistoryMng::resetForTesting(dir.path() / "unused"); }

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return CommandLine::run(args, out, err);
    }
    // Saves records through the store, as the measure screen would.
    void save(std::vector<std::shared_ptr<RadiationHistoryRecord>> records) {
        RadiationHistoryMng::resetForTesting(dir.path());
        for (auto& r : records) {
            RadiationHistoryMng::registerRadiationHistoryRecord(r);
        }
        RadiationHistoryMng::resetForTesting(dir.path() / "unused");
    }
    static std::shared_ptr<RadiationHistoryRecord> record(const std::string& tag, double seconds,
                                                          std::size_t events) {
        auto r = std::make_shared<RadiationHistoryRecord>();
        r->setTag(tag);
        r->setUdid("udid-7");
        r->setStartDate(Date::fromUnixSeconds(1300000000.0));
        r->setStopDate(Date::fromUnixSeconds(1300000000.0 + seconds));
        r->setLongitude(-0.1275);
        r->setRadionEvents(std::vector<RadiationEvent>(events, RadiationEvent(0.25, 2)));
        return r;
    }

    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    std::ostringstream out, err;
};

TEST_F(HistoryCommandTest, ListsNewestFirstWithTheScreensFiguresAndTotals) {
    save({record("Cave", 36.0, 1), record("Toit\xC2\x9B"
                                          "2J",
                                          3600.0 * 5, 20000)});
    ASSERT_EQ(run({"history", "--data-dir", dir.path().string()}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "0  Toit?2J  2011-03-13T07:06:40Z  (05:00:00)  220.00 μSv/h  Dose 1.10 mSv\n"
              "1  Cave  2011-03-13T07:06:40Z  (00:00:36)  5.50 μSv/h  Dose 0.06 μSv\n"
              "\n"
              "Total dose = 1.10 mSv\n"
              "Total duration = 05:00:36\n"
              "Mean exposure = 219.57 μSv/h\n"
              "Exposure limit for the public: 1 mSv a year, 0.114 μSv/h\n");

    // Alone, the 0.055 μSv dose totals 0.05 in single precision.
    save({record("Seul", 36.0, 1)});
    ASSERT_EQ(run({"history", "--data-dir", dir.path().string()}), 0);
    EXPECT_NE(out.str().find("Total dose = 0.05 μSv\n"), std::string::npos);
}

TEST_F(HistoryCommandTest, JsonHoldsEveryFieldAtFullPrecision) {
    auto bare = std::make_shared<RadiationHistoryRecord>();
    save({record("Cave", 36.0, 2), bare});
    ASSERT_EQ(run({"history", "--json", "--data-dir", dir.path().string()}), 0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    ASSERT_EQ(json["records"].size(), 2u);
    const auto& first = json["records"][0];
    EXPECT_TRUE(first["tag"].is_null());
    EXPECT_TRUE(first["startDate"].is_null());
    EXPECT_EQ(first["events"], nlohmann::json::array());
    const auto& second = json["records"][1];
    EXPECT_EQ(second["tag"], "Cave");
    EXPECT_EQ(second["udid"], "udid-7");
    EXPECT_EQ(second["startDate"], "2011-03-13T07:06:40Z");
    EXPECT_EQ(second["stopDate"], "2011-03-13T07:07:16Z");
    EXPECT_EQ(second["latitude"], 0.0);
    EXPECT_EQ(second["longitude"].get<double>(), -0.1275);
    EXPECT_EQ(second["duration"], 36.0);
    EXPECT_EQ(second["vd"].get<double>(), 2 * 0.055);
    EXPECT_EQ(second["vm"].get<double>(), 2 * 0.055 / 0.01);
    EXPECT_EQ(second["events"], nlohmann::json::parse("[[0.25, 2], [0.25, 2]]"));
    EXPECT_EQ(json["timeTotal"], 36.0);
    EXPECT_EQ(json["vdTotal"].get<double>(), static_cast<double>(0.11f));
    EXPECT_TRUE(json.contains("expostionMoyenne"));
}

TEST_F(HistoryCommandTest, MissingHistoryIsEmptyButAnUnreadableOneFailsAndStaysUntouched) {
    ASSERT_EQ(run({"history", "--json", "--data-dir", (dir.path() / "none").string()}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str()),
              nlohmann::json::parse(
                  R"({"records": [], "timeTotal": 0.0, "vdTotal": 0.0, "expostionMoyenne": 0.0})"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none"));

    const auto file = dir.path() / "radiationHistory.txt";
    std::ofstream(file) << "not a plist";
    EXPECT_EQ(run({"history", "--data-dir", dir.path().string()}), 1);
    EXPECT_NE(err.str().find("cannot be read"), std::string::npos);
    const auto bytes = test::readFileBytes(file);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "not a plist");

    EXPECT_EQ(run({"history", "--bogus"}), 2);
    EXPECT_EQ(run({"history", "--data-dir"}), 2);
}

TEST_F(HistoryCommandTest, UploadSendsTheChosenRecordAndReportsTheOutcome) {
    save({record("older", 36.0, 1), record("newest", 36.0, 1)});
    test::LoopbackServer server(test::LoopbackServer::response(200, "stored"));
    const std::string data = dir.path().string();

    EXPECT_EQ(run({"upload", "--data-dir", data, "--server", server.baseURL(), "--index", "1"}), 0);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("\r\n\r\nolder\r\n"), std::string::npos);
    EXPECT_TRUE(console.contains("Response:stored"));

    EXPECT_EQ(run({"upload", "--data-dir", data, "--server", server.baseURL(), "--index", "2"}), 2);
    EXPECT_NE(err.str().find("out of range"), std::string::npos);
    EXPECT_EQ(run({"upload", "--data-dir", data, "--index", "-1"}), 2);
    EXPECT_EQ(run({"upload", "--data-dir", data, "--index"}), 2);
    EXPECT_EQ(run({"upload", "--data-dir", (dir.path() / "none").string()}), 2);

    const std::string closed =
        "http://127.0.0.1:" + std::to_string(test::LoopbackServer::closedPort());
    EXPECT_EQ(run({"upload", "--data-dir", data, "--server", closed}), 1);
    // Without a server nothing is sent.
    RadiationHistoryMng::setServerURL(std::nullopt);
    EXPECT_EQ(run({"upload", "--data-dir", data}), 1);
    EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace kesto
