// What readers get out of a store: exports a page at a time with the
// history's columns and the device's, the page's JSON, the metrics.
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "collect/CollectApi.h"
#include "collect/CollectMetrics.h"
#include "collect/ExportStream.h"
#include "collect/MeasurementStore.h"
#include "collect/TestDatabase.h"
#include "history/export/CsvExport.h"

namespace kesto {
namespace {

using test::sampleMeasurement;

class CollectReadersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto opened = MeasurementStore::open(database_.url());
        ASSERT_TRUE(opened) << opened.error();
        store_ = std::move(*opened);
    }
    void put(const std::vector<UploadedMeasurement>& measurements) {
        std::vector<const UploadedMeasurement*> pointers;
        for (const auto& m : measurements) {
            pointers.push_back(&m);
        }
        ASSERT_TRUE(store_->storeAll(pointers, 1'700'000'000'000'000));
    }
    std::string exported(ExportStream::Format format, MeasurementFilter filter = {}) {
        ExportStream stream(*store_, filter, format);
        std::string out;
        for (int pieces = 0;; ++pieces) {
            const auto more = stream.next(out);
            EXPECT_TRUE(more);
            if (!more || !*more) {
                break;
            }
            EXPECT_LT(pieces, 100);
        }
        return out;
    }

    test::TestDatabase database_{DatabaseUrl::Engine::Sqlite};
    std::unique_ptr<MeasurementStore> store_;
};

TEST_F(CollectReadersTest, ExportsEveryRowAPageAtATimeWithTheHistorysColumnsAndTheDevice) {
    std::vector<UploadedMeasurement> many;
    for (int i = 0; i < 2 * static_cast<int>(ExportStream::kPageRows) + 7; ++i) {
        many.push_back(sampleMeasurement("dev,\"1\"", 1300000000.0 + i, "=cmd", 48.0, 2.0, 1));
    }
    many.push_back(sampleMeasurement("dev2", 1300000000.0, "No place", 0.0, 0.0));
    put(many);

    const std::string csv = exported(ExportStream::Format::Csv);
    std::istringstream lines(csv);
    std::string header;
    std::getline(lines, header);
    std::ostringstream history;
    CsvExport::writeHeader(history);
    EXPECT_EQ(header + "\n", history.str().substr(0, history.str().size() - 2) + ",device\r\n");
    std::size_t rows = 0;
    std::string line;
    std::string first;
    while (std::getline(lines, line)) {
        first = rows == 0 ? line : first;
        ++rows;
    }
    EXPECT_EQ(rows, many.size());
    std::ostringstream expected;
    CsvExport::writeRow(ExportRow::of(many[0].record()), expected, &many[0].udid);
    EXPECT_EQ(first + "\n", expected.str());

    // GeoJSON: the placed ones only, each with its device.
    const auto geojson = nlohmann::json::parse(exported(ExportStream::Format::GeoJson));
    ASSERT_EQ(geojson["features"].size(), many.size() - 1);
    EXPECT_EQ(geojson["features"][0]["properties"]["device"], "dev,\"1\"");
    EXPECT_EQ(geojson["features"][0]["geometry"]["coordinates"], nlohmann::json({2.0, 48.0}));

    // A limit cuts the export short, exactly.
    MeasurementFilter limited;
    limited.limit = ExportStream::kPageRows + 1;
    EXPECT_EQ(
        nlohmann::json::parse(exported(ExportStream::Format::GeoJson, limited))["features"].size(),
        ExportStream::kPageRows + 1);
}

TEST_F(CollectReadersTest, ThePageReadsPointsNewestFirstDevicesAndADevicesSeries) {
    put({sampleMeasurement("a", 1300000000.0, "Old", 48.0, 2.0),
         sampleMeasurement("a", 1300003600.0, "New", 48.1, 2.1, 9),
         sampleMeasurement("b", 1300001000.0, "Unplaced", 0.0, 0.0)});
    MeasurementFilter two;
    two.limit = 2;
    auto points = nlohmann::json::parse(CollectApi::points(*store_, two).value());
    ASSERT_EQ(points["points"].size(), 2U);
    EXPECT_EQ(points["points"][0]["tag"], "New");
    EXPECT_EQ(points["truncated"], false);
    two.limit = 1;
    points = nlohmann::json::parse(CollectApi::points(*store_, two).value());
    EXPECT_EQ(points["truncated"], true);
    const auto& point = points["points"][0];
    EXPECT_EQ(point["device"], "a");
    EXPECT_EQ(point["start"], "2011-03-13T08:06:40Z");
    EXPECT_LT(point["lower"].get<double>(), point["rate"].get<double>());
    EXPECT_GT(point["upper"].get<double>(), point["rate"].get<double>());

    const auto devices = nlohmann::json::parse(CollectApi::devices(*store_).value());
    ASSERT_EQ(devices["devices"].size(), 2U);
    const auto& a =
        devices["devices"][0]["device"] == "a" ? devices["devices"][0] : devices["devices"][1];
    EXPECT_EQ(a["measurements"], 2);
    EXPECT_EQ(a["latest"]["tag"], "New");
    EXPECT_EQ(a["lastSeen"], "2023-11-14T22:13:20Z");

    MeasurementFilter device;
    device.udid = "a";
    const auto series = nlohmann::json::parse(CollectApi::series(*store_, device).value());
    ASSERT_EQ(series["measurements"].size(), 2U);
    EXPECT_EQ(series["measurements"][0]["tag"], "Old");
}

TEST_F(CollectReadersTest, MetricsGiveEachDevicesLatestRateWithItsBoundsAndTheUploadCounts) {
    put({sampleMeasurement("a\"\\\n", 1300000000.0, "x", 48.0, 2.0, 4)});
    CollectMetrics metrics;
    metrics.count(CollectMetrics::Upload::Stored);
    metrics.count(CollectMetrics::Upload::Refused);
    metrics.count(CollectMetrics::Upload::Refused);
    const std::string text = metrics.render(*store_).value();
    EXPECT_NE(text.find("kesto_collect_measurements 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("kesto_collect_uploads_total{outcome=\"refused\"} 2\n"), std::string::npos);
    // 4 events over 600 s: 0.22 μSv / (1/6 h) = 1.32 μSv/h.
    EXPECT_NE(
        text.find("kesto_collect_device_dose_rate_microsieverts_per_hour{device=\"a\\\"\\\\\\n\"} "
                  "1.32"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("kesto_collect_device_dose_rate_lower_microsieverts_per_hour{device="),
              std::string::npos);
}

}  // namespace
}  // namespace kesto
