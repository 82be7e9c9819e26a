#include <array>

#include <gtest/gtest.h>

#include "collect/CollectQuery.h"

namespace kesto {
namespace {

TEST(CollectQueryTest, ReadsDatesInIsoFormOrUnixSeconds) {
    EXPECT_EQ(CollectQuery::parseDate("2011-03-13").value(), 1299974400000000);
    EXPECT_EQ(CollectQuery::parseDate("2011-03-13T07:06:40Z").value(), 1300000000000000);
    EXPECT_EQ(CollectQuery::parseDate("2011-03-13T07:06:40.25Z").value(), 1300000000250000);
    EXPECT_EQ(CollectQuery::parseDate("2011-03-13T07:06Z").value(), 1299999960000000);
    EXPECT_EQ(CollectQuery::parseDate("1300000000.25").value(), 1300000000250000);
    for (const char* bad : {"2011-3-13", "2011-03-13T07:06:40", "2011-13-01", "yesterday", "nan",
                            "2011-03-13T07:06:40.x5Z", "1e300", ""}) {
        EXPECT_FALSE(CollectQuery::parseDate(bad)) << bad;
    }
}

TEST(CollectQueryTest, TurnsTheQueryIntoAFilterAndRefusesWhatItCannotMean) {
    const auto filter = CollectQuery::parse({{"from", "2024-01-01"},
                                             {"to", "2025-01-01"},
                                             {"device", "abc"},
                                             {"bbox", "2.2,48.8,2.5,48.9"},
                                             {"limit", "10"},
                                             {"token", "ignored"}},
                                            100);
    ASSERT_TRUE(filter) << filter.error();
    EXPECT_EQ(*filter->fromMicros, 1704067200000000);
    EXPECT_EQ(*filter->toMicros, 1735689600000000);
    EXPECT_EQ(*filter->udid, "abc");
    EXPECT_EQ(filter->box->west, 2.2);
    EXPECT_EQ(filter->box->south, 48.8);
    EXPECT_EQ(filter->box->east, 2.5);
    EXPECT_EQ(filter->box->north, 48.9);
    EXPECT_EQ(filter->limit, 10U);
    EXPECT_EQ(CollectQuery::parse({}, 100)->limit, 100U);

    // A map panned across the antimeridian (Leaflet gives 170..190) and one
    // zoomed out past a turn.
    const auto pacific = CollectQuery::parse({{"bbox", "170,-20,190,-10"}}, 100);
    EXPECT_EQ(pacific->box->west, 170.0);
    EXPECT_EQ(pacific->box->east, -170.0);
    const auto world = CollectQuery::parse({{"bbox", "-400,-90,400,90"}}, 100);
    EXPECT_EQ(world->box->west, -180.0);
    EXPECT_EQ(world->box->east, 180.0);

    for (const auto& [name, value, reason] : std::vector<std::array<std::string, 3>>{
             {"bbox", "1,2,3", "west,south,east,north"},
             {"bbox", "1,2,3,4,5", "west,south,east,north"},
             {"bbox", "0,50,1,40", "south first"},
             {"limit", "0", "limit: give 1 to 100"},
             {"limit", "101", "limit: give 1 to 100"},
             {"from", "soon", "from: 'soon' is not a date"},
             {"devices", "abc", "unknown parameter 'devices'"},
         }) {
        const auto refused = CollectQuery::parse({{name, value}}, 100);
        ASSERT_FALSE(refused) << name << "=" << value;
        EXPECT_NE(refused.error().find(reason), std::string::npos) << refused.error();
    }
    EXPECT_FALSE(CollectQuery::parse({{"from", "2025-01-01"}, {"to", "2024-01-01"}}, 100));
}

}  // namespace
}  // namespace kesto
