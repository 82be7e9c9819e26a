#include <gtest/gtest.h>

#include "screens/DetectionFinishViewController.h"

namespace kesto {
namespace {

TEST(DetectionFinishViewControllerTest, PlaceholdersAreFilledInOrderFromTheUnscaledRate) {
    struct Row {
        const char* text;
        double rate;
        const char* shown;
    };
    // #1: a whole year (8760 h) at the rate, in mSv; #2: days to reach 1 mSv.
    for (const auto& row : {Row{"#0|#1|#2", 2.0, "2.00 \u03BCSv/h|17.52|20.83"},
                            Row{"#0|#1|#2", 2000.0, "2.00 mSv/h|17520.00|0.02"},
                            Row{"#0|#2", 0.0, "0.00 \u03BCSv/h|inf"},
                            Row{"#1, #1, #3 and ##11#", 2.0, "17.52, 17.52, #3 and #17.521#"}}) {
        EXPECT_EQ(DetectionFinishViewController::radioActivityMessage(row.text, row.rate),
                  row.shown)
            << row.text << " at " << row.rate;
    }
}

}  // namespace
}  // namespace kesto
