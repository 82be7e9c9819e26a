#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ScreensFixture.h"
#include "platform/LocalizedStrings.h"
#include "screens/Camembert.h"
#include "toolkit/ImageView.h"
#include "toolkit/Label.h"
#include "toolkit/NavigationController.h"

namespace kesto::test {
namespace {

class AlertTest : public ScreensFixture {
  protected:
    AlertViewController& alert() const { return app->alert(); }
    std::string text(const char* outlet) const {
        const auto* label = dynamic_cast<const Label*>(driver.findControl(outlet));
        return label ? label->text() : "<not on screen>";
    }
    std::string background() const {
        const auto* view = dynamic_cast<const ImageView*>(driver.findControl("bgImgView"));
        return view && view->image() ? view->image()->name() : "";
    }
    void start() { ASSERT_TRUE(driver.tap("btnCommand")); }
};

// Each row acts on a fresh alert tab, then checks the state it left.
TEST_F(AlertTest, EachStateAllowsAndRefusesWhatItShould) {
    struct Row {
        const char* name;
        std::function<void()> act;
        bool detecting;
        bool ticking;
        const char* top;        // the screen taking the taps
        const char* countdown;  // nullptr: the alert screen is covered
        const char* readOut;
    };
    const std::vector<Row> rows = {
        {"idle: light, a stop before any start and a second stop change nothing",
         [&] {
             const auto stopped = BitmapProcessor::sharedInstance().stopDate();
             sensor().setLensOpen(true);
             alert().ignoredMaskCamera();
             alert().stopDetection();
             alert().stopDetection();
             EXPECT_EQ(BitmapProcessor::sharedInstance().stopDate(), stopped);
         },
         false, false, "AlertViewController", "30 s", ""},
        {"detecting: the read-out comes after 2 s, '< ' before any particle",
         [&] {
             start(), run(2.0);
             EXPECT_EQ(text("lblResult"), "");
             run(1.0);
         },
         true, true, "AlertViewController", "27 s", "< 66.00 \u03BCSv/h"},
        {"detecting: a second tap stops; a light report still queued then puts up nothing",
         [&] {
             start(), run(1.0);
             std::thread([&] { alert().ignoredMaskCamera(); }).join();
             start(), RunLoop::main().runPending();
         },
         false, false, "AlertViewController", "30 s", ""},
        {"halted: one calibration screen however many lit frames and late reports",
         [&] {
             start(), run(1.0), sensor().setLensOpen(true), run(2.0);
             alert().ignoredMaskCameraHandler();
             EXPECT_TRUE(alert().isRunning());
         },
         true, false, "ReglageViewController", nullptr, nullptr},
        {"halted: OK once covered abandons the detection for good",
         [&] {
             start(), sensor().setLensOpen(true), run(1.0), sensor().setLensOpen(false), run(1.0);
             ASSERT_TRUE(driver.tap("okBtn"));
             run(3.0);
         },
         false, false, "AlertViewController", "30 s", ""},
        {"finished without hits: exactly 30 s still counts, then the verdict",
         [&] {
             start(), run(30.0);
             EXPECT_EQ(text("lblTimer"), "0 s");
             run(0.1);
             EXPECT_EQ(background(), "A02.png");
             EXPECT_EQ(text("lblMsg"),
                       LocalizedStrings::localizedString("A_NoRadioActivityDetected"));
         },
         false, false, "DetectionFinishViewController", nullptr, nullptr},
        {"finished with hits: Measure starts a measurement; the verdict stays on its tab",
         [&] {
             sensor().setRate(SimulatedSensor::kSaturationRate);
             start(), run(31.0);
             EXPECT_EQ(background(), "A03.png");
             ASSERT_TRUE(driver.tap("btnMeasure"));
             EXPECT_TRUE(measure().isMeasuring());
             EXPECT_EQ(alert().navigationController()->topViewController()->nibName(),
                       "DetectionFinishViewController");
         },
         false, false, "MeasureViewController", nullptr, nullptr},
        {"finished: detect again pops the verdict and counts down afresh",
         [&] { start(), run(31.0), (void)driver.tap("btnReDetectClicked"), run(1.0); }, true, true,
         "AlertViewController", "29 s", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        quit();
        sensor().setRate(0.0);
        sensor().setLensOpen(false);
        launch();
        app->tabBarController()->setSelectedIndex(0);
        row.act();
        EXPECT_EQ(alert().isDetecting(), row.detecting);
        EXPECT_EQ(alert().hasTimer(), row.ticking);
        EXPECT_EQ(alert().hasVideoStreamController(), row.detecting);
        EXPECT_EQ(driver.topScreen()->nibName(), row.top);
        if (row.countdown) {
            EXPECT_EQ(text("lblTimer"), row.countdown);
            EXPECT_EQ(text("lblResult"), row.readOut);
            EXPECT_EQ(text("lblCommandMsg"),
                      LocalizedStrings::localizedString(row.ticking ? "A_DetectionInProgress"
                                                                    : "A_TapToLaunch"));
            const auto* pie = dynamic_cast<Camembert*>(driver.findControl("detecteurCamembert"));
            EXPECT_EQ(pie && pie->progress() > 0.0F, row.ticking);
        }
        alert().stopDetection();
    }
}

}  // namespace
}  // namespace kesto::test
