#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ScreenShell.h"
#include "engine/BitmapProcessor.h"
#include "platform/LocalizedStrings.h"
#include "screens/Camembert.h"
#include "support/TestSupport.h"
#include "toolkit/Driver.h"
#include "toolkit/Label.h"

namespace kesto {
namespace {

using test::ScreenShell;

std::string text(const Driver& driver, const char* outlet) {
    const auto* label = dynamic_cast<const Label*>(driver.findControl(outlet));
    return label ? label->text() : "<not on screen>";
}

// Each row acts from a fresh idle alert tab, then checks the state it left.
TEST(AlertViewControllerTest, EachStateAllowsAndRefusesWhatItShould) {
    struct Expected {
        bool detecting;
        bool ticking;
        const char* topModal;  // nullptr: none
        const char* tabScreen;
        const char* countdown;
        const char* readOut;
        const char* hintKey;
    };
    struct Row {
        const char* name;
        std::function<void(ScreenShell&, Driver&, test::ManualClock&)> act;
        Expected expected;
    };
    auto& loop = RunLoop::main();
    const Expected idle{false, false, nullptr, "AlertViewController", "30 s", "", "A_TapToLaunch"};
    const std::vector<Row> rows = {
        {"idle: light, a stop before any start and a second stop change nothing",
         [&](ScreenShell& shell, Driver&, test::ManualClock&) {
             auto& engine = BitmapProcessor::sharedInstance();
             const auto stopped = engine.stopDate();
             ScreenShell::sensor().setLensOpen(true);
             shell.alert->ignoredMaskCamera();
             shell.alert->stopDetection();
             shell.alert->stopDetection();
             loop.runFor(1.0);
             EXPECT_EQ(engine.stopDate(), stopped) << "another screen's acquisition kept";
         },
         idle},
        {"detecting: countdown after the first second, no read-out up to 2 s",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(2.0);
         },
         {true, true, nullptr, "AlertViewController", "28 s", "", "A_DetectionInProgress"}},
        {"detecting: read-out after 2 s, '< ' while no particle was counted",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(3.0);
         },
         {true, true, nullptr, "AlertViewController", "27 s", "< 66.00 \u03BCSv/h",
          "A_DetectionInProgress"}},
        {"detecting: a second tap stops, back to the idle display",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(5.0);
             ASSERT_FALSE(driver.tap("btnCommand"));
             EXPECT_FALSE(BitmapProcessor::sharedInstance().acquisitionEnCours());
         },
         idle},
        {"detecting: a light report still queued when a tap stops it puts up nothing",
         [&](ScreenShell& shell, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(1.0);
             std::thread([&] { shell.alert->ignoredMaskCamera(); }).join();
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runPending();
         },
         idle},
        {"halted: a lit sensor freezes it under one calibration screen, however many reports",
         [&](ScreenShell& shell, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(1.5);
             ScreenShell::sensor().setLensOpen(true);
             loop.runFor(2.0);  // twenty lit frames
             EXPECT_TRUE(shell.alert->isRunning()) << "the tab guard still protects it";
             EXPECT_TRUE(BitmapProcessor::sharedInstance().acquisitionEnCours());
             shell.alert->ignoredMaskCameraHandler();  // a late queued report
             EXPECT_EQ(shell.alert->modalViewController(), driver.topScreen());
         },
         {true, false, "ReglageViewController", "AlertViewController", nullptr, nullptr, nullptr}},
        {"halted: OK once masked abandons the detection; it does not resume",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             ScreenShell::sensor().setLensOpen(true);
             loop.runFor(1.0);
             ScreenShell::sensor().setLensOpen(false);
             loop.runFor(1.0);
             ASSERT_FALSE(driver.tap("okBtn"));
             loop.runFor(3.0);
         },
         idle},
        {"finished: the first tick past 30 s stops and pushes the verdict",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(30.0);
             EXPECT_EQ(text(driver, "lblTimer"), "0 s") << "exactly 30 s still counts down";
             loop.runFor(0.1);
         },
         {false, false, nullptr, "DetectionFinishViewController", nullptr, nullptr, nullptr}},
        {"finished: detect again pops the verdict and counts down afresh",
         [&](ScreenShell&, Driver& driver, test::ManualClock&) {
             ASSERT_FALSE(driver.tap("btnCommand"));
             loop.runFor(31.0);
             ASSERT_FALSE(driver.tap("btnReDetectClicked"));
             loop.runFor(1.0);
         },
         {true, true, nullptr, "AlertViewController", "29 s", "", "A_DetectionInProgress"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::ManualClock clock;
        ScreenShell& shell = ScreenShell::launch();
        ScreenShell::sensor().setLensOpen(false);
        Driver driver;
        row.act(shell, driver, clock);
        const Expected& e = row.expected;
        EXPECT_EQ(shell.alert->isDetecting(), e.detecting);
        EXPECT_EQ(shell.alert->hasTimer(), e.ticking);
        EXPECT_EQ(shell.alert->hasVideoStreamController(), e.detecting);
        EXPECT_EQ(BitmapProcessor::sharedInstance().acquisitionEnCours(), e.detecting);
        ViewController* modal = shell.alert->modalViewController();
        EXPECT_EQ(modal ? modal->nibName() : "", e.topModal ? e.topModal : "");
        EXPECT_EQ(driver.tabScreen()->nibName(), e.tabScreen);
        if (e.countdown) {
            EXPECT_EQ(text(driver, "lblTimer"), e.countdown);
            EXPECT_EQ(text(driver, "lblResult"), e.readOut);
            EXPECT_EQ(text(driver, "lblCommandMsg"), LocalizedStrings::localizedString(e.hintKey));
            const auto* pie = dynamic_cast<Camembert*>(driver.findControl("detecteurCamembert"));
            ASSERT_TRUE(pie);
            EXPECT_EQ(pie->progress() > 0.0F, e.ticking);
        }
        shell.alert->stopDetection();
        Application::sharedApplication().reset();
        loop.runPending();
    }
}

}  // namespace
}  // namespace kesto
