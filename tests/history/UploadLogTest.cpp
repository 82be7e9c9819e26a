#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "history/UploadLog.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

RadiationHistoryRecord record(std::optional<std::string> tag, double start,
                              std::optional<std::string> udid = "udid-1") {
    RadiationHistoryRecord r;
    r.setStartDate(Date::fromUnixSeconds(start));
    r.setUdid(std::move(udid));
    r.setTag(std::move(tag));
    return r;
}

HttpClient::Result answer(long status) {
    HttpClient::Result r;
    r.responded = true;
    r.status = status;
    return r;
}

HttpClient::Result noAnswer(const std::string& why) {
    HttpClient::Result r;
    r.error = why;
    return r;
}

// A measurement is matched by start date, identifier and tag together; a
// later 2xx wins over earlier failures and a torn line costs only itself.
TEST(UploadLogTest, StatusPerMeasurementFromItsLines) {
    test::TemporaryDirectory dir;
    const auto file = dir.path() / UploadLog::kFileName;
    std::string error;
    const Date now = Date::fromUnixSeconds(1400000000.0);
    const RadiationHistoryRecord quoted = record("a,\"b\"\nç", 1300000000.0);
    ASSERT_TRUE(UploadLog::append(file, now, quoted, noAnswer("timeout"), error)) << error;
    ASSERT_TRUE(UploadLog::append(file, now, quoted, answer(500), error));
    ASSERT_TRUE(UploadLog::append(file, now, quoted, answer(201), error));
    ASSERT_TRUE(UploadLog::append(file, now, record("x", 1300000100.0), answer(302), error));
    ASSERT_TRUE(
        UploadLog::append(file, now, record(std::nullopt, 1300000200.0), answer(200), error));
    std::ofstream(file, std::ios::app) << "{\"time\": \"2026-\n";

    const struct {
        RadiationHistoryRecord record;
        UploadLog::Status status;
    } cases[] = {
        {quoted, UploadLog::Status::Sent},
        {record("x", 1300000100.0), UploadLog::Status::Failed},
        {record(std::nullopt, 1300000200.0), UploadLog::Status::Sent},
        {record("", 1300000200.0), UploadLog::Status::NeverSent},  // empty is not absent
        {record("x", 1300000100.0, "other"), UploadLog::Status::NeverSent},
        {record("x", 1300000101.0), UploadLog::Status::NeverSent},
    };
    const UploadLog::Outcomes outcomes = UploadLog::read(file);
    for (const auto& c : cases) {
        EXPECT_EQ(outcomes.statusOf(c.record), c.status) << c.record.tag().value_or("(none)");
    }
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    const auto first = nlohmann::json::parse(line);
    EXPECT_EQ(first["tag"], "a,\"b\"\nç");
    EXPECT_EQ(first["startDate"], Date::fromUnixSeconds(1300000000.0).iso8601());
    EXPECT_EQ(first["error"], "timeout");
    EXPECT_FALSE(first.contains("status"));

    EXPECT_FALSE(UploadLog::append(dir.path(), now, quoted, answer(200), error));
    EXPECT_FALSE(error.empty());
}

// Upload threads appending at once never tear each other's lines.
TEST(UploadLogTest, ConcurrentAppendsKeepWholeLines) {
    test::TemporaryDirectory dir;
    const auto file = dir.path() / UploadLog::kFileName;
    const std::string longTag(3000, 't');
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            std::string error;
            for (int i = 0; i < 50; ++i) {
                UploadLog::append(file, Date::fromUnixSeconds(0.0), record(longTag, t * 1000 + i),
                                  answer(200), error);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::ifstream in(file);
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(nlohmann::json::parse(line)["tag"], longTag);
        ++lines;
    }
    EXPECT_EQ(lines, 400);
}

}  // namespace
}  // namespace kesto
