// One suite, both engines: what goes in through the store comes out the
// same, once, findable by device, time and place, and the schema migrates.
#include <cmath>
#include <memory>

#include <gtest/gtest.h>

#include "collect/CollectSchema.h"
#include "collect/MeasurementStore.h"
#include "collect/PostgresConnection.h"
#include "collect/SqlConnection.h"
#include "collect/SqliteConnection.h"
#include "collect/TestDatabase.h"
#include "history/export/ExportRow.h"

namespace kesto {

// Test names and failures say the engine, not its bytes.
void PrintTo(DatabaseUrl::Engine engine, std::ostream* out) {
    *out << test::TestDatabase::engineName(engine);
}

namespace {

using Engine = DatabaseUrl::Engine;
using Outcome = MeasurementStore::Outcome;
using test::sampleMeasurement;

constexpr double kMarch2011 = 1300000000.25;

class MeasurementStoreTest : public ::testing::TestWithParam<Engine> {
  protected:
    MeasurementStoreTest() : database_(GetParam()) {}

    std::unique_ptr<MeasurementStore> open() {
        auto store = MeasurementStore::open(database_.url());
        if (!store) {
            ADD_FAILURE() << store.error();
            return nullptr;
        }
        return std::move(*store);
    }
    std::unique_ptr<SqlConnection> connect() {
        if (GetParam() == Engine::Sqlite) {
            return std::move(*SqliteConnection::open(database_.url().target()));
        }
        return std::move(*PostgresConnection::open(database_.url().target()));
    }
    std::vector<Outcome> put(MeasurementStore& store,
                             const std::vector<UploadedMeasurement>& measurements,
                             std::int64_t received = 1'700'000'000'000'000) {
        std::vector<const UploadedMeasurement*> pointers;
        for (const auto& m : measurements) {
            pointers.push_back(&m);
        }
        auto outcomes = store.storeAll(pointers, received);
        EXPECT_TRUE(outcomes) << (outcomes ? "" : outcomes.error());
        return outcomes ? *outcomes : std::vector<Outcome>{};
    }
    static std::vector<MeasurementRow> rows(MeasurementStore& store,
                                            const MeasurementFilter& filter = {}) {
        std::vector<MeasurementRow> out;
        const auto read = store.forEach(filter, [&](const MeasurementRow& row) {
            out.push_back(row);
            return true;
        });
        EXPECT_TRUE(read) << (read ? "" : read.error());
        return out;
    }
    static std::vector<std::string> tags(const std::vector<MeasurementRow>& rows) {
        std::vector<std::string> out;
        for (const auto& row : rows) {
            out.push_back(row.tag);
        }
        return out;
    }

    test::TestDatabase database_;
};

TEST_P(MeasurementStoreTest, KeepsEveryFieldAndTheFiguresTheHistoryDerives) {
    auto store = open();
    ASSERT_TRUE(store);
    UploadedMeasurement cellar =
        sampleMeasurement("device-a", kMarch2011, "Cellar \u00e9t\u00e9", -33.8688, 151.2093, 0);
    cellar.events = {{0.1 + 0.2, 3}, {599.999999, 2147483647}};
    UploadedMeasurement unplaced = sampleMeasurement("device-a", kMarch2011 + 1.5, "", 0.0, 0.0);
    EXPECT_EQ(store->storeAll({&cellar, &unplaced}, 1'700'000'000'123'456).value(),
              (std::vector<Outcome>{Outcome::Stored, Outcome::Stored}));

    const auto stored = rows(*store);
    ASSERT_EQ(stored.size(), 2U);
    const MeasurementRow& row = stored[0];
    EXPECT_EQ(row.udid, "device-a");
    EXPECT_EQ(row.tag, "Cellar \u00e9t\u00e9");
    EXPECT_EQ(row.startMicros, cellar.startMicros);
    EXPECT_EQ(row.stopMicros, cellar.stopMicros);
    EXPECT_EQ(row.latitude, -33.8688);
    EXPECT_EQ(row.longitude, 151.2093);
    EXPECT_EQ(row.events, 2);
    EXPECT_EQ(row.hits, 2147483650);
    EXPECT_EQ(row.receivedMicros, 1'700'000'000'123'456);
    // The figures and bounds are those `kesto history` gives the same record.
    const ExportRow expected = ExportRow::of(cellar.record());
    const ExportRow exported = row.exportRow();
    EXPECT_EQ(exported.dose, expected.dose);
    EXPECT_EQ(exported.meanRate, expected.meanRate);
    EXPECT_DOUBLE_EQ(exported.interval.lower(), expected.interval.lower());
    EXPECT_DOUBLE_EQ(exported.interval.upper(), expected.interval.upper());
    EXPECT_EQ(exported.start, expected.start);
    // Events come back bit for bit, in order.
    EXPECT_EQ(store->events(row.id).value(), cellar.events);
    // No position: none stored, none exported.
    EXPECT_FALSE(stored[1].latitude.has_value());
    EXPECT_FALSE(stored[1].exportRow().hasPosition());
    EXPECT_TRUE(store->events(stored[1].id).value().size() == 3);
}

TEST_P(MeasurementStoreTest, AMeasurementIsStoredOnceAndAConflictingOneNotAtAll) {
    auto store = open();
    ASSERT_TRUE(store);
    const auto first = sampleMeasurement("device-a", kMarch2011, "Roof");
    auto sameIdentityOtherEvents = first;
    sameIdentityOtherEvents.events.pop_back();
    const auto otherTag = sampleMeasurement("device-a", kMarch2011, "Garden");
    const auto otherDevice = sampleMeasurement("device-b", kMarch2011, "Roof");

    EXPECT_EQ(put(*store, {first, first}),
              (std::vector<Outcome>{Outcome::Stored, Outcome::AlreadyStored}));
    EXPECT_EQ(put(*store, {first, sameIdentityOtherEvents, otherTag, otherDevice}),
              (std::vector<Outcome>{Outcome::AlreadyStored, Outcome::Conflict, Outcome::Stored,
                                    Outcome::Stored}));
    EXPECT_EQ(store->count().value(), 3);
    // The conflicting copy changed nothing of the first.
    MeasurementFilter deviceA;
    deviceA.udid = "device-a";
    const auto roof = rows(*store, deviceA);
    ASSERT_EQ(roof.size(), 2U);
    EXPECT_EQ(store->events(roof[0].id).value(), first.events);
    const auto devices = store->devices().value();
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0].measurements + devices[1].measurements, 3);
}

TEST_P(MeasurementStoreTest, FindsByDeviceTimeAndPlaceAndPagesInOrder) {
    auto store = open();
    ASSERT_TRUE(store);
    put(*store, {
                    sampleMeasurement("a", kMarch2011 + 300, "Paris", 48.85, 2.35),
                    sampleMeasurement("a", kMarch2011, "Lyon", 45.76, 4.84),
                    sampleMeasurement("b", kMarch2011 + 100, "Fiji", -17.7, 179.9),
                    sampleMeasurement("b", kMarch2011 + 200, "Samoa", -13.8, -171.8),
                    sampleMeasurement("b", kMarch2011 + 400, "Nowhere", 0.0, 0.0),
                });
    EXPECT_EQ(tags(rows(*store)),
              (std::vector<std::string>{"Paris", "Lyon", "Fiji", "Samoa", "Nowhere"}));
    MeasurementFilter filter;
    filter.udid = "b";
    filter.byStart = true;
    EXPECT_EQ(tags(rows(*store, filter)), (std::vector<std::string>{"Fiji", "Samoa", "Nowhere"}));
    filter = {};
    filter.fromMicros = std::llround((kMarch2011 + 100) * 1e6);
    filter.toMicros = std::llround((kMarch2011 + 300) * 1e6);
    filter.byStart = true;
    EXPECT_EQ(tags(rows(*store, filter)), (std::vector<std::string>{"Fiji", "Samoa"}));
    // France; then the Pacific across the antimeridian (west > east).
    filter = {};
    filter.box = MeasurementFilter::Box{42.0, -5.0, 51.5, 8.5};
    filter.byStart = true;
    EXPECT_EQ(tags(rows(*store, filter)), (std::vector<std::string>{"Lyon", "Paris"}));
    filter.box = MeasurementFilter::Box{-20.0, 170.0, -10.0, -170.0};
    EXPECT_EQ(tags(rows(*store, filter)), (std::vector<std::string>{"Fiji", "Samoa"}));
    // Pages of two by id.
    filter = {};
    filter.limit = 2;
    const auto firstPage = rows(*store, filter);
    filter.afterId = firstPage.back().id;
    const auto secondPage = rows(*store, filter);
    EXPECT_EQ(tags(secondPage), (std::vector<std::string>{"Fiji", "Samoa"}));
}

TEST_P(MeasurementStoreTest, ADeviceShowsItsLatestMeasurementNotItsLatestUpload) {
    auto store = open();
    ASSERT_TRUE(store);
    put(*store, {sampleMeasurement("a", kMarch2011 + 1000, "New", 48.0, 2.0, 5)},
        1'700'000'000'000'000);
    // An old measurement resent later: last seen moves, the latest does not.
    put(*store, {sampleMeasurement("a", kMarch2011, "Old")}, 1'700'000'100'000'000);
    put(*store, {sampleMeasurement("b", kMarch2011, "Other")}, 1'600'000'000'000'000);
    const auto devices = store->devices().value();
    ASSERT_EQ(devices.size(), 2U);
    EXPECT_EQ(devices[0].udid, "a");
    EXPECT_EQ(devices[0].measurements, 2);
    EXPECT_EQ(devices[0].lastReceivedMicros, 1'700'000'100'000'000);
    EXPECT_EQ(devices[0].latest.tag, "New");
    EXPECT_EQ(devices[0].latest.events, 5);
    EXPECT_EQ(devices[1].udid, "b");
}

TEST_P(MeasurementStoreTest, MigratesAnOlderDatabaseKeepingItsMeasurements) {
    {
        auto connection = connect();
        ASSERT_EQ(CollectSchema::migrate(*connection, 1).value(), 1);
        // A measurement written by the version-1 program.
        ASSERT_TRUE(connection->run(
            "INSERT INTO measurements (udid, tag, start_us, stop_us, latitude, longitude, events,"
            " hits, dose, mean_rate, rate_lower, rate_upper, digest, received_us)"
            " VALUES ('old', 'Attic', 1, 3600000001, 10.0, 20.0, 2, 2, 0.11, 0.11, 0.01, 0.4, 7,"
            " 5)",
            {}));
    }
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->schemaVersion().value(), CollectSchema::kVersion);
    const auto devices = store->devices().value();
    ASSERT_EQ(devices.size(), 1U);
    EXPECT_EQ(devices[0].udid, "old");
    EXPECT_EQ(devices[0].latest.tag, "Attic");
    EXPECT_EQ(put(*store, {sampleMeasurement("old", kMarch2011)}),
              std::vector<Outcome>{Outcome::Stored});
    EXPECT_EQ(store->devices().value()[0].measurements, 2);
    store.reset();
    // Opening again is a no-op; a newer schema than ours is refused.
    EXPECT_EQ(open()->count().value(), 2);
    ASSERT_TRUE(connect()->run("UPDATE kesto_schema SET version = 99", {}));
    const auto refused = MeasurementStore::open(database_.url());
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("schema version 99, newer than this kesto knows"),
              std::string::npos)
        << refused.error();
}

INSTANTIATE_TEST_SUITE_P(BothEngines, MeasurementStoreTest,
                         ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& engine) {
                             return test::TestDatabase::engineName(engine.param);
                         });

}  // namespace
}  // namespace kesto
