#include <gtest/gtest.h>

#include "screens/Camembert.h"

namespace kesto {
namespace {

TEST(CamembertTest, ValuesAboveAFullTurnWrapToEmpty) {
    Camembert pie;
    pie.setFrame(Rect::make(0, 0, 100, 100));
    for (const auto& [set, stored, drawsSomething] : {std::tuple{0.0F, 0.0F, false},
                                                      {0.1F, 0.1F, true},
                                                      {360.0F, 360.0F, true},
                                                      {360.1F, 0.0F, false}}) {
        pie.setProgress(set);
        pie.displayIfNeeded();
        EXPECT_EQ(pie.progress(), stored) << set;
        EXPECT_EQ(!pie.displayList().empty(), drawsSomething) << set;
    }
}

}  // namespace
}  // namespace kesto
