#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ScreenShell.h"
#include "engine/BitmapProcessor.h"
#include "platform/LocalizedStrings.h"
#include "screens/DetectionFinishViewController.h"
#include "support/TestSupport.h"
#include "toolkit/Button.h"
#include "toolkit/Driver.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"

namespace kesto {
namespace {

using test::ScreenShell;

TEST(DetectionFinishViewControllerTest, PlaceholdersAreFilledInOrderFromTheUnscaledRate) {
    struct Row {
        const char* text;
        double rate;
        const char* shown;
    };
    const std::vector<Row> rows = {
        // #1: a whole year (8760 h) at 2 μSv/h; #2: days to reach 1 mSv.
        {"#0|#1|#2", 2.0, "2.00 \u03BCSv/h|17.52|20.83"},
        {"#0|#1|#2", 2000.0, "2.00 mSv/h|17520.00|0.02"},
        {"#0|#2", 0.0, "0.00 \u03BCSv/h|inf"},
        {"#1 and #1 again, #3 left", 2.0, "17.52 and 17.52 again, #3 left"},
        {"##11#", 2.0, "#17.521#"},
        {"no placeholder", 2.0, "no placeholder"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DetectionFinishViewController::radioActivityMessage(row.text, row.rate),
                  row.shown)
            << row.text << " at " << row.rate;
    }
}

// The verdict of the engine's stopped acquisition, and where its buttons lead.
TEST(DetectionFinishViewControllerTest, VerdictFollowsTheEventsAndButtonsLeadOn) {
    test::ManualClock clock;
    ScreenShell& shell = ScreenShell::launch();
    auto& engine = BitmapProcessor::sharedInstance();
    Driver driver;
    struct Row {
        std::vector<RadiationEvent> events;
        const char* background;
        std::string message;
    };
    const std::vector<Row> rows = {
        {{}, "A02.png", LocalizedStrings::localizedString("A_NoRadioActivityDetected")},
        // One event in 99 s: 2 μSv/h.
        {{RadiationEvent(50.0, 3)},
         "A03.png",
         DetectionFinishViewController::radioActivityMessage(
             LocalizedStrings::localizedString("A_RadioActivityDetected"), 2.0)},
    };
    for (const auto& row : rows) {
        engine.stopAcquisition();
        engine.setStartDate(clock.now());
        engine.setStopDate(clock.now().addingTimeInterval(99.0));
        engine.setRadiationEvents(row.events);
        shell.alertStack().pushViewController(std::make_unique<DetectionFinishViewController>(),
                                              false);
        const auto* background = dynamic_cast<ImageView*>(driver.findControl("bgImgView"));
        ASSERT_TRUE(background && background->image());
        EXPECT_EQ(background->image()->name(), row.background);
        EXPECT_EQ(dynamic_cast<Label*>(driver.findControl("lblMsg"))->text(), row.message);
        EXPECT_EQ(dynamic_cast<Button*>(driver.findControl("btnMeasure"))->currentTitle(),
                  LocalizedStrings::localizedString("A_Measure"));
        shell.alertStack().popViewControllerAnimated(false);
        RunLoop::main().runPending();
    }

    // Measure: the Measure tab, measuring; the verdict stays on the alert tab.
    shell.alertStack().pushViewController(std::make_unique<DetectionFinishViewController>(), false);
    ASSERT_FALSE(driver.tap("btnMeasure"));
    EXPECT_EQ(shell.tabs->selectedIndex(), 1);
    EXPECT_EQ(shell.measure->starts, 1);
    EXPECT_EQ(shell.alertStack().topViewController()->nibName(), "DetectionFinishViewController");

    // Detect again: back on the alert tab, the verdict goes and a detection runs.
    shell.tabs->setSelectedIndex(0);
    ASSERT_FALSE(driver.tap("btnReDetectClicked"));
    EXPECT_EQ(shell.alertStack().topViewController(), shell.alert);
    EXPECT_TRUE(shell.alert->isDetecting());
    shell.alert->stopDetection();
    Application::sharedApplication().reset();
    RunLoop::main().runPending();
}

}  // namespace
}  // namespace kesto
