#include <cmath>

#include <gtest/gtest.h>

#include "engine/RadiationEvent.h"

namespace kesto {
namespace {

// The saved form, which other tools read: the time as a real, then the count
// as an integer.
TEST(RadiationEventTest, SavedFormHoldsTheTimeThenTheCount) {
    const auto dict = RadiationEvent(12.5, 3).toDictionary();
    const auto& entries = *dict.dictionaryValue();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "timeInterval");
    EXPECT_EQ(entries[0].second.realValue(), 12.5);
    EXPECT_EQ(entries[1].first, "numberOfParticules");
    EXPECT_EQ(entries[1].second.integerValue(), 3);
}

// Missing entries read as 0; a count a 32-bit integer cannot hold is
// clamped rather than converted with undefined behaviour.
TEST(RadiationEventTest, MissingOrUnfitEntriesReadSafely) {
    auto dict = PropertyListValue::dictionary();
    EXPECT_EQ(RadiationEvent::toRadiationEvent(dict), RadiationEvent(0.0, 0));
    dict.set("timeInterval", PropertyListValue::real(4.5));
    dict.set("numberOfParticules", PropertyListValue::real(1e30));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(dict), RadiationEvent(4.5, INT32_MAX));
    dict.set("numberOfParticules", PropertyListValue::real(std::nan("")));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(dict), RadiationEvent(4.5, 0));
}

}  // namespace
}  // namespace kesto
