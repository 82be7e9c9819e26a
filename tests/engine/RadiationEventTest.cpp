#include <cmath>

#include <gtest/gtest.h>

#include "engine/RadiationEvent.h"

namespace kesto {
namespace {

// Other tools read the saved form; missing entries read as 0, unfit counts clamp.
TEST(RadiationEventTest, SavedFormAndReadingItBack) {
    const auto saved = RadiationEvent(12.5, 3).toDictionary();
    const auto& entries = *saved.dictionaryValue();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(std::tuple(entries[0].first, entries[0].second.realValue()),
              std::tuple("timeInterval", 12.5));
    EXPECT_EQ(std::tuple(entries[1].first, entries[1].second.integerValue()),
              std::tuple("numberOfParticules", 3));

    auto dict = PropertyListValue::dictionary();
    EXPECT_EQ(RadiationEvent::toRadiationEvent(dict), RadiationEvent(0.0, 0));
    dict.set("timeInterval", PropertyListValue::real(4.5));
    for (const auto& [count, expected] : {std::pair{1e30, INT32_MAX}, std::pair{std::nan(""), 0}}) {
        dict.set("numberOfParticules", PropertyListValue::real(count));
        EXPECT_EQ(RadiationEvent::toRadiationEvent(dict), RadiationEvent(4.5, expected));
    }
}

}  // namespace
}  // namespace kesto
