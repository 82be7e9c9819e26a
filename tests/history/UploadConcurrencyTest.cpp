#include <thread>

#include <gtest/gtest.h>

#include "LoopbackServer.h"
#include "history/RadiationHistoryMng.h"
#include "support/TestSupport.h"

namespace kesto {
namespace {

// Uploads on threads of their own read the records they share with the main
// thread while it keeps saving and reading the history.
TEST(UploadConcurrencyTest, UploadsReadSharedRecordsWhileTheMainThreadSaves) {
    test::TemporaryDirectory dir;
    test::ConsoleCapture console;
    setenv("no_proxy", "*", 1);
    RadiationHistoryMng::resetForTesting(dir.path());
    test::LoopbackServer server(test::LoopbackServer::response(200, "ok"));
    RadiationHistoryMng::setServerURL(server.baseURL());

    std::vector<std::thread> uploads;
    for (int i = 0; i < 4; ++i) {
        auto record = std::make_shared<RadiationHistoryRecord>();
        record->setStartDate(Date::fromUnixSeconds(1300000000.0));
        record->setRadionEvents(std::vector<RadiationEvent>(50, RadiationEvent(1.0, 1)));
        RadiationHistoryMng::registerRadiationHistoryRecord(record);
        uploads.emplace_back([record = std::shared_ptr<const RadiationHistoryRecord>(record)] {
            RadiationHistoryMng::sendRadiationHistoryRecordToServer(*record);
        });
        EXPECT_GT(RadiationHistoryMng::vdTotal(), 0.0);
    }
    for (auto& t : uploads) {
        t.join();
    }
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_EQ(console.count("Response:ok"), 4u);
    RadiationHistoryMng::resetForTesting(dir.path());
}

}  // namespace
}  // namespace kesto
