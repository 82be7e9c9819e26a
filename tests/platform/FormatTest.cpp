#include <clocale>

#include <gtest/gtest.h>

#include "platform/Date.h"
#include "platform/Format.h"

namespace kesto {
namespace {

TEST(FormatTest, FixedPointUsesAPointWhateverTheLocaleAndDatesPrintAsUtc) {
    // A decimal-comma locale (scripts/install-deps makes fr_FR.UTF-8).
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr);
    ASSERT_EQ(*std::localeconv()->decimal_point, ',');
    EXPECT_EQ(cformat("%f|%d", -0.1275, 3), "-0.127500|3");
    EXPECT_EQ(cformat("%s", std::string(300, 'x').c_str()).size(), 300u);
    std::setlocale(LC_ALL, "C");
    // Dates convert between the Unix and reference epochs and print as UTC.
    const auto date = Date::fromUnixSeconds(1300000000.0);
    EXPECT_EQ(date.referenceSeconds(), 1300000000.0 - 978307200.0);
    EXPECT_EQ(Date::fromReferenceSeconds(0).iso8601(), "2001-01-01T00:00:00Z");
    EXPECT_EQ(date.addingTimeInterval(0.25).iso8601(), "2011-03-13T07:06:40.250Z");
}

}  // namespace
}  // namespace kesto
