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

UploadLog::Exchange answer(long status, std::string error = {}) {
    if (status == 0) {
        return fail(std::move(error));
    }
    return HttpClient::Response{status, {}};
}

// Matched by start date (in whole seconds), identifier and tag together; a
// later 2xx wins over earlier failures; a torn last line costs only itself,
// also when another line is appended after it.
TEST(UploadLogTest, StatusPerMeasurementFromItsLines) {
    test::TemporaryDirectory dir;
    const auto file = dir.path() / UploadLog::kFileName;
    const Date now = Date::fromUnixSeconds(1400000000.0);
    const RadiationHistoryRecord quoted = record("a,\"b\"\nç", 1300000000.0);
    for (const auto& [r, exchange] : {std::pair{quoted, answer(0, "timeout")},
                                      {quoted, answer(201)},
                                      {record("x", 1300000100.0), answer(302)},
                                      {record(std::nullopt, 1300000200.0), answer(200)}}) {
        const auto appended = UploadLog::append(file, now, r, exchange);
        ASSERT_TRUE(appended) << appended.error();
    }
    std::ofstream(file, std::ios::app) << "{\"time\": \"2026-";  // a full disk's cut
    ASSERT_TRUE(UploadLog::append(file, now, record("y", 1300000300.0), answer(200)));
    // Written while records held fractions of a second.
    std::ofstream(file, std::ios::app) << R"({"startDate": "2011-03-13T07:08:20.274Z", )"
                                       << R"("udid": "udid-1", "tag": "z", "status": 200})" << '\n';
    const struct {
        RadiationHistoryRecord record;
        UploadLog::Status status;
    } cases[] = {
        {quoted, UploadLog::Status::Sent},
        {record("x", 1300000100.0), UploadLog::Status::Failed},
        {record(std::nullopt, 1300000200.0), UploadLog::Status::Sent},
        {record("", 1300000200.0), UploadLog::Status::NeverSent},  // empty is not absent
        {record("x", 1300000100.0, "other"), UploadLog::Status::NeverSent},
        {record("y", 1300000300.0), UploadLog::Status::Sent},
        {record("z", 1300000100.0), UploadLog::Status::Sent},
    };
    const UploadLog::Outcomes outcomes = UploadLog::read(file);
    for (const auto& c : cases) {
        EXPECT_EQ(outcomes.statusOf(c.record), c.status) << c.record.tag().value_or("(none)");
    }
    EXPECT_FALSE(UploadLog::append(dir.path(), now, quoted, answer(200)));
}

// Upload threads appending at once never tear each other's lines.
TEST(UploadLogTest, ConcurrentAppendsKeepWholeLines) {
    test::TemporaryDirectory dir;
    const auto file = dir.path() / UploadLog::kFileName;
    const std::string longTag(3000, 't');
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                (void)UploadLog::append(file, Date::fromUnixSeconds(0.0),
                                        record(longTag, t * 1000 + i), answer(200));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::ifstream in(file);
    std::string line;
    int lines = 0;
    for (; std::getline(in, line); ++lines) {
        ASSERT_EQ(nlohmann::json::parse(line)["tag"], longTag);
    }
    EXPECT_EQ(lines, 400);
}

}  // namespace
}  // namespace kesto
