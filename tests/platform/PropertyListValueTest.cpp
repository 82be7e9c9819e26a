#include <gtest/gtest.h>

#include "platform/PropertyListValue.h"

namespace kesto {
namespace {

TEST(PropertyListValueTest, DictionaryKeepsInsertionOrderAndNumbersConvertButTextsDoNot) {
    auto dict = PropertyListValue::dictionary();
    dict.set("b", PropertyListValue::integer(1));
    dict.set("a", PropertyListValue::string("x"));
    dict.set("b", PropertyListValue::real(2.5));
    const auto* entries = dict.dictionaryValue();
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].first, "b");
    EXPECT_EQ(dict.find("b")->realValue(), 2.5);
    EXPECT_EQ(*dict.find("a")->stringValue(), "x");
    EXPECT_EQ(dict.find("c"), nullptr);
    EXPECT_EQ(PropertyListValue::integer(3).find("a"), nullptr);
    // Numbers convert across kinds, clamped to the narrower one; texts do not.
    EXPECT_EQ(PropertyListValue::integer(7).numberAsDouble(), 7.0);
    EXPECT_EQ(PropertyListValue::real(-3.9).numberAsInt32(), -3);
    EXPECT_EQ(PropertyListValue::integer(INT64_MAX).numberAsInt32(), INT32_MAX);
    EXPECT_EQ(PropertyListValue::string("3").numberAsDouble(), std::nullopt);
    EXPECT_EQ(PropertyListValue::string("3").integerValue(), std::nullopt);
}

}  // namespace
}  // namespace kesto
