#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/Command.h"
#include "app/CommandLine.h"
#include "history/LoopbackServer.h"
#include "history/RadiationHistoryMng.h"
#include "history/file/WriterLock.h"
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
    void save(std::vector<std::shared_ptr<RadiationHistoryRecord>> records,
              bool simulated = false) {
        RadiationHistoryMng::resetForTesting(dir.path());
        RadiationHistoryMng::setSimulated(simulated);
        for (auto& r : records) {
            RadiationHistoryMng::registerRadiationHistoryRecord(r);
        }
        RadiationHistoryMng::resetForTesting(dir.path() / "unused");
    }
    static std::shared_ptr<RadiationHistoryRecord> record(const std::string& tag, double seconds,
                                                          std::size_t events) {
        auto r = std::make_shared<RadiationHistoryRecord>();
        r->setTag(tag);
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

// Simulated measurements are listed apart; another process saving into the
// data directory does not stop a reader.
TEST_F(HistoryCommandTest, ListsNewestFirstWithTheScreensFiguresAndTotals) {
    save({record("Cave", 36.0, 1), record(std::string("Toit\xC2\x9B") + "2J", 18000.0, 20000)});
    save({record("demo", 36.0, 1)}, true);
    const std::string data = dir.path().string();
    const auto writer = WriterLock::acquire(dir.path());
    ASSERT_TRUE(writer) << writer.error();
    ASSERT_EQ(run({"history", "--simulated", "--data-dir", data}), 0) << err.str();
    EXPECT_TRUE(
        out.str().starts_with("SIMULATED measurements, made up by the simulated "
                              "sensor, not real ones:\n0  \u2068demo\u2069  "))
        << out.str();
    ASSERT_EQ(run({"history", "--data-dir", data}), 0) << err.str();
    EXPECT_EQ(
        out.str(),
        "0  \u2068Toit?2J\u2069  2011-03-13T07:06:40Z  (05:00:00)  220.00 μSv/h  Dose 1.10 mSv  "
        "[never sent]\n"
        "1  \u2068Cave\u2069  2011-03-13T07:06:40Z  (00:00:36)  5.50 μSv/h  Dose 0.06 μSv  "
        "[never sent]\n"
        "\n"
        "Total dose = 1.10 mSv\n"
        "Total duration = 05:00:36\n"
        "Mean exposure = 219.57 μSv/h\n"
        "Exposure limit for the public: 1 mSv a year, 0.114 μSv/h\n");
}

TEST_F(HistoryCommandTest, JsonHoldsEveryFieldAtFullPrecision) {
    save({record("Cave", 36.0, 2), std::make_shared<RadiationHistoryRecord>()});
    ASSERT_EQ(run({"history", "--json", "--data-dir", dir.path().string()}), 0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    ASSERT_EQ(json["records"].size(), 2u);
    const auto& first = json["records"][0];
    EXPECT_TRUE(first["startDate"].is_null());
    const auto& second = json["records"][1];
    EXPECT_EQ(second["longitude"].get<double>(), -0.1275);
    EXPECT_EQ(second["vd"].get<double>(), 2 * 0.055);
    EXPECT_NEAR(second["vmUpper95"].get<double>(), 7.2247 * 198.0 / 36.0, 1e-3);
    EXPECT_TRUE(first["vmUpper95"].is_null());  // no duration, no interval
    EXPECT_EQ(second["events"], nlohmann::json::parse("[[0.25, 2], [0.25, 2]]"));
    EXPECT_EQ(json["vdTotal"].get<double>(), static_cast<double>(0.11f));
}

TEST_F(HistoryCommandTest, MissingHistoryIsEmptyButAnUnreadableOneFailsAndStaysUntouched) {
    ASSERT_EQ(run({"history", "--json", "--data-dir", (dir.path() / "none").string()}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str())["records"], nlohmann::json::array());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none"));

    const auto file = dir.path() / "radiationHistory.txt";
    std::ofstream(file) << "not a plist";
    EXPECT_EQ(run({"history", "--data-dir", dir.path().string()}), 1);
    EXPECT_NE(err.str().find("cannot be read"), std::string::npos);
}

// Only a 2xx answer is a delivery; the status is always shown, the answer
// only escaped and capped: it cannot clear or retitle the terminal, nor flood it.
TEST_F(HistoryCommandTest, UploadExitsZeroOnlyWhenTheServerAccepts) {
    save({record("older", 36.0, 1), record("newest", 36.0, 1)});
    const std::string data = dir.path().string();
    const std::string hostile = "\x1B]0;owned\x07\x1B[2J\xC2\x9B" + std::string(5000, 'x');
    // The server's answer is a developer's line: logged with --verbose only.
    const struct {
        std::string response;
        int status;
        std::string shown;
        bool verbose;
    } cases[] = {
        {test::LoopbackServer::response(201, hostile), 0, "HTTP status 201\n", true},
        {"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:9/\r\nContent-Length: 0\r\n"
         "Connection: close\r\n\r\n",
         1, "HTTP status 302\n", false},
    };
    for (const auto& c : cases) {
        test::LoopbackServer server(c.response);
        std::vector<std::string> args = {"upload",   "--data-dir",     data,
                                         "--server", server.baseURL(), "--index=1"};
        if (c.verbose) {
            args.push_back("--verbose");
        }
        EXPECT_EQ(run(args), c.status) << c.response.substr(0, 20);
        EXPECT_EQ(out.str(), c.shown);
        EXPECT_EQ(err.str().empty(), c.status == 0) << err.str();
        ASSERT_EQ(server.requests().size(), 1u);
        EXPECT_NE(server.requests()[0].find("\r\n\r\nolder\r\n"), std::string::npos);
    }
    EXPECT_TRUE(console.contains("Response:?]0;owned??[2J?xxx"));
    EXPECT_EQ(console.count("Response:"), 1u);
    const std::size_t cut =
        std::string("Response:").size() + hostile.size() - CommandLine::kConsoleLineLimit;
    EXPECT_TRUE(console.contains("x \u2026 (" + std::to_string(cut) + " more bytes not shown)"));

    EXPECT_EQ(run({"upload", "--data-dir", data, "--index", "2"}), 2);
    EXPECT_NE(err.str().find("--index 2 is out of range"), std::string::npos);
    EXPECT_EQ(run({"upload", "--data-dir", data}), 1);  // no server given
    EXPECT_EQ(err.str(), "kesto upload: the measurement was not delivered\n");
}

// The log decides what --pending resends, oldest first; the history file is
// never touched by an upload.
TEST_F(HistoryCommandTest, UploadLogShowsInTheListingAndPendingResendsTheRest) {
    auto older = record("older", 36.0, 1);
    older->setStartDate(Date::fromUnixSeconds(1200000000.0));
    save({older, record("middle", 36.0, 1), record("newest", 36.0, 1)});
    const std::string data = dir.path().string();
    const auto historyBytes = [&] {
        std::ifstream in(dir.path() / "radiationHistory.txt");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = historyBytes();
    const auto uploads = [&] {
        EXPECT_EQ(run({"history", "--data-dir", data, "--json"}), 0);
        std::vector<std::string> shown;
        const auto listing = nlohmann::json::parse(out.str());
        for (const auto& r : listing["records"]) {
            shown.push_back(r["upload"]);
        }
        return shown;
    };
    {
        test::LoopbackServer accepting(test::LoopbackServer::response(200, "ok"));
        ASSERT_EQ(run({"upload", "--data-dir", data, "--server", accepting.baseURL()}), 0);
    }
    {
        test::LoopbackServer refusing(test::LoopbackServer::response(503, "busy"));
        EXPECT_EQ(run({"upload", "--data-dir", data, "--server", refusing.baseURL(), "--pending"}),
                  1);
        ASSERT_EQ(refusing.requests().size(), 2u);
        EXPECT_NE(refusing.requests()[0].find("\r\n\r\nolder\r\n"), std::string::npos);
        EXPECT_NE(out.str().find("2  \u2068older\u2069"), std::string::npos) << out.str();
        EXPECT_EQ(err.str(), "kesto upload: 2 of 2 measurements not acknowledged\n");
    }
    EXPECT_EQ(uploads(), (std::vector<std::string>{"sent", "failed", "failed"}));
    {
        test::LoopbackServer accepting(test::LoopbackServer::response(200, "ok"));
        EXPECT_EQ(run({"upload", "--data-dir", data, "--server", accepting.baseURL(), "--pending"}),
                  0);
        EXPECT_EQ(accepting.requests().size(), 2u);
        EXPECT_EQ(run({"upload", "--data-dir", data, "--server", accepting.baseURL(), "--pending"}),
                  0);
        EXPECT_EQ(accepting.requests().size(), 2u);
    }
    EXPECT_EQ(uploads(), (std::vector<std::string>{"sent", "sent", "sent"}));
    EXPECT_EQ(historyBytes(), before);
}

TEST_F(HistoryCommandTest, ACommandThatSavesSaysWhetherTheSaveReachedTheDisk) {
    std::ostringstream saveOut, saveErr;
    RadiationHistoryMng::resetForTesting(dir.path());
    RadiationHistoryMng::registerRadiationHistoryRecord(record("kept", 36.0, 1));
    EXPECT_EQ(Command::reportHistorySave("measure", saveOut, saveErr), 0);
    // A data directory under a plain file cannot be made.
    std::ofstream(dir.path() / "plain") << "x";
    RadiationHistoryMng::resetForTesting(dir.path() / "plain" / "kesto");
    RadiationHistoryMng::registerRadiationHistoryRecord(record("lost", 36.0, 1));
    EXPECT_EQ(Command::reportHistorySave("measure", saveOut, saveErr), 1);
    EXPECT_NE(saveErr.str().find("kesto measure: the history could not be saved"),
              std::string::npos);
}

}  // namespace
}  // namespace kesto
