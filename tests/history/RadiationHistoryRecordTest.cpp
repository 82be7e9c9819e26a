#include <gtest/gtest.h>

#include "history/RadiationHistoryRecord.h"

namespace kesto {
namespace {

RadiationHistoryRecord recordOver(double seconds, std::size_t events) {
    RadiationHistoryRecord record;
    record.setStartDate(Date::fromUnixSeconds(1300000000.25));
    record.setStopDate(Date::fromUnixSeconds(1300000000.25 + seconds));
    record.setRadionEvents(std::vector<RadiationEvent>(events, RadiationEvent(1.0, 12)));
    return record;
}

TEST(RadiationHistoryRecordTest, DerivesDoseFromEventsNotHitsAndRateFromDuration) {
    const auto one = recordOver(36.0, 1);
    EXPECT_DOUBLE_EQ(one.vd(), 0.055);
    EXPECT_DOUBLE_EQ(one.vm(), 5.5);

    const auto many = recordOver(3600.0, 200);
    EXPECT_DOUBLE_EQ(many.duration(), 3600.0);
    EXPECT_DOUBLE_EQ(many.vd(), 11.0);
    EXPECT_DOUBLE_EQ(many.vm(), 11.0);

    // Equal dates: no division by zero.
    EXPECT_EQ(recordOver(0.0, 3).vm(), 0.0);
    // A stop before the start is not clamped.
    EXPECT_LT(recordOver(-36.0, 1).vm(), 0.0);

    auto open = recordOver(36.0, 4);
    open.setStopDate(std::nullopt);
    EXPECT_EQ(open.duration(), 0.0);
    EXPECT_EQ(open.vm(), 0.0);
    EXPECT_DOUBLE_EQ(open.vd(), 0.22);

    const RadiationHistoryRecord fresh;
    EXPECT_EQ(fresh.duration(), 0.0);
    EXPECT_EQ(fresh.vd(), 0.0);
    EXPECT_EQ(fresh.vm(), 0.0);
}

TEST(RadiationHistoryRecordTest, DictionaryFormKeepsOrderAndRoundTripsExactly) {
    RadiationHistoryRecord record = recordOver(12.5, 0);
    record.setUdid("device-1");
    record.setTag("Cave à vin <1>");
    record.setLatitude(48.856613);
    record.setLongitude(-0.1275);
    record.setRadionEvents({RadiationEvent(0.1 + 0.2, 3), RadiationEvent(2.25, 1)});

    const PropertyListValue dictionary = record.toDictionary();
    std::vector<std::string> keys;
    for (const auto& entry : *dictionary.dictionaryValue()) {
        keys.push_back(entry.first);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"udid", "tag", "startDate", "stopDate", "latitude",
                                              "longitude", "radionEvents"}));
    EXPECT_EQ(RadiationHistoryRecord::toRadiationHistoryRecord(dictionary), record);
}

TEST(RadiationHistoryRecordTest, AbsentFieldsHaveNoKeyAndLoadBackAbsent) {
    RadiationHistoryRecord record;
    record.setTag("only a tag");
    const PropertyListValue dictionary = record.toDictionary();
    EXPECT_EQ(dictionary.find("udid"), nullptr);
    EXPECT_EQ(dictionary.find("startDate"), nullptr);
    EXPECT_EQ(dictionary.find("stopDate"), nullptr);

    const auto back = RadiationHistoryRecord::toRadiationHistoryRecord(dictionary);
    EXPECT_EQ(back.tag(), "only a tag");
    EXPECT_FALSE(back.udid());
    EXPECT_FALSE(back.startDate());
    EXPECT_EQ(back.latitude(), 0.0);
    EXPECT_TRUE(back.radionEvents().empty());
    EXPECT_EQ(back.duration(), 0.0);
    EXPECT_EQ(back.vd(), 0.0);
    EXPECT_EQ(back.vm(), 0.0);
}

TEST(RadiationHistoryRecordTest, ValuesOfTheWrongKindLoadAsAbsentOrZero) {
    PropertyListValue dictionary = PropertyListValue::dictionary();
    dictionary.set("tag", PropertyListValue::integer(7));
    dictionary.set("startDate", PropertyListValue::string("2011-03-13"));
    dictionary.set("latitude", PropertyListValue::string("48.8"));
    dictionary.set("longitude", PropertyListValue::integer(2));
    dictionary.set("extra", PropertyListValue::string("ignored"));
    PropertyListValue events = PropertyListValue::array();
    events.append(PropertyListValue::string("not an event"));
    events.append(RadiationEvent(1.5, 2).toDictionary());
    dictionary.set("radionEvents", events);

    const auto record = RadiationHistoryRecord::toRadiationHistoryRecord(dictionary);
    EXPECT_FALSE(record.tag());
    EXPECT_FALSE(record.startDate());
    EXPECT_EQ(record.latitude(), 0.0);
    EXPECT_EQ(record.longitude(), 2.0);
    EXPECT_EQ(record.radionEvents(), std::vector<RadiationEvent>{RadiationEvent(1.5, 2)});
}

}  // namespace
}  // namespace kesto
