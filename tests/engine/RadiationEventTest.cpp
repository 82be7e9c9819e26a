#include <bit>
#include <cmath>

#include <gtest/gtest.h>

#include "engine/RadiationEvent.h"

namespace kesto {
namespace {

TEST(RadiationEventTest, DictionaryFormHasBothKeysInOrderWithTheirKinds) {
    const auto dict = RadiationEvent(12.5, 3).toDictionary();
    const auto* entries = dict.dictionaryValue();
    ASSERT_NE(entries, nullptr);
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].first, "timeInterval");
    EXPECT_EQ((*entries)[0].second.realValue(), 12.5);
    EXPECT_EQ((*entries)[1].first, "numberOfParticules");
    EXPECT_EQ((*entries)[1].second.integerValue(), 3);
}

TEST(RadiationEventTest, RoundTripKeepsTheTimeBitForBit) {
    for (double time : {0.1, 1.0 / 3.0, 1e-300, 123456.789012345678, -0.0}) {
        const auto back = RadiationEvent::toRadiationEvent(RadiationEvent(time, 7).toDictionary());
        EXPECT_EQ(std::bit_cast<std::uint64_t>(back.timeStamp()),
                  std::bit_cast<std::uint64_t>(time));
        EXPECT_EQ(back.numberOfParticules(), 7);
    }
}

TEST(RadiationEventTest, MissingOrOddEntriesFallBackToZeroAndTruncate) {
    auto onlyTime = PropertyListValue::dictionary();
    onlyTime.set("timeInterval", PropertyListValue::real(4.5));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(onlyTime), RadiationEvent(4.5, 0));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(PropertyListValue::dictionary()),
              RadiationEvent(0.0, 0));

    auto fractional = PropertyListValue::dictionary();
    fractional.set("numberOfParticules", PropertyListValue::real(3.7));
    fractional.set("other", PropertyListValue::string("ignored"));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(fractional).numberOfParticules(), 3);

    // Values that a 32-bit count cannot hold clamp instead of invoking UB.
    auto huge = PropertyListValue::dictionary();
    huge.set("numberOfParticules", PropertyListValue::real(1e30));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(huge).numberOfParticules(), INT32_MAX);
    huge.set("numberOfParticules", PropertyListValue::real(std::nan("")));
    EXPECT_EQ(RadiationEvent::toRadiationEvent(huge).numberOfParticules(), 0);
}

}  // namespace
}  // namespace kesto
