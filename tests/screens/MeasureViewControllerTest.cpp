#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ScreensFixture.h"
#include "camera/OrvVideoStreamController.h"
#include "history/LoopbackServer.h"
#include "platform/LocalizedStrings.h"
#include "screens/Camembert.h"
#include "toolkit/Button.h"
#include "toolkit/Label.h"
#include "toolkit/TabBarController.h"

namespace kesto::test {
namespace {

using nlohmann::json;

class MeasureTest : public ScreensFixture {
  protected:
    std::string elapsed() const { return measure().lblElapsedTime->text(); }
    // What a person sees: the alert on top (if any), over the screen state.
    std::string state() {
        const json s = driver.snapshot();
        std::string base;
        if (s["modal"].is_object()) {
            base = s["modal"]["screen"] == "ReglageViewController" ? "Calibrating" : "Tagging";
        } else {
            base = measure().isMeasuring() ? "Measuring" : "Idle";
        }
        if (!s["alert"].is_object()) {
            return base;
        }
        const std::map<int, std::string> alerts = {
            {0, "No radioactivity"}, {1, "Confirm stop"}, {2, "Confirm stop-and-save"}};
        return alerts.at(s["alert"]["tag"].get<int>()) + " / " + base;
    }
    // Light reaches the sensor for a moment, then it is covered again.
    void flash() {
        sensor().setLensOpen(true);
        run(0.3);
        sensor().setLensOpen(false);
        run(0.3);
    }
};

TEST_F(MeasureTest, ReadOutFollowsTheHeartbeatOncePerSecond) {
    ASSERT_TRUE(driver.tap("toggleDetection"));
    EXPECT_EQ(measure().btnStart->imageForState(ControlState::Normal)->name(), "B_stop.png");
    EXPECT_TRUE(driver.snapshot()["idleTimerDisabled"]);
    EXPECT_EQ(positions->startCount(), 1);
    EXPECT_FLOAT_EQ(measure().camembert->progress(), 0.2F);
    struct Step {
        double advance;
        const char* elapsed;
        bool upperBound;  // "< " before the first particle, after 2 s
    };
    for (const auto& step : {Step{0.5, "00:00:00", false}, Step{0.5, "00:00:01", false},
                             Step{1.0, "00:00:02", false}, Step{1.0, "00:00:03", true}}) {
        run(step.advance);
        EXPECT_EQ(elapsed(), step.elapsed);
        EXPECT_EQ(measure().lblVM->text().find("< ") != std::string::npos, step.upperBound)
            << measure().lblVM->text();
    }
    EXPECT_NEAR(measure().camembert->progress(), 0.5F, 1e-5);
    EXPECT_EQ(measure().lastUpdatedDate(), clock.now());

    sensor().setRate(SimulatedSensor::kSaturationRate);  // a hit in every frame
    run(10.0);
    const std::string rate = measure().lblVM->text();
    EXPECT_EQ(rate.find("< "), std::string::npos);
    EXPECT_EQ(rate.substr(0, 3), "mSv") << rate;  // above 1000 μSv/h
    EXPECT_GT(measure().vm(), 1000.0);            // kept unscaled
}

TEST_F(MeasureTest, LightBringsUpOneCalibrationScreenAndOkAbandonsTheMeasurement) {
    sensor().setRate(SimulatedSensor::kSaturationRate);
    ASSERT_TRUE(driver.tap("toggleDetection"));
    run(3.0);
    sensor().setLensOpen(true);
    run(1.0);  // ten lit frames
    EXPECT_EQ(driver.snapshot()["top"], "ReglageViewController");
    run(2.0);
    EXPECT_EQ(elapsed(), "00:00:03");   // frozen
    EXPECT_FALSE(driver.tap("okBtn"));  // refused while lit

    sensor().setLensOpen(false);
    run(0.3);
    // One more lit frame whose reports are still queued when OK is tapped.
    sensor().setLensOpen(true);
    clock.advance(0.1);
    ASSERT_EQ(measure().vsc()->session()->deliverDueFrames(), 1U);
    ASSERT_TRUE(driver.tap("okBtn"));
    run(2.0);
    EXPECT_EQ(driver.snapshot()["modal"], nullptr);
    EXPECT_FALSE(measure().isMeasuring());
    EXPECT_EQ(measure().vsc(), nullptr);
    EXPECT_FALSE(driver.snapshot()["idleTimerDisabled"]);
    EXPECT_EQ(elapsed(), "00:00:00");
    EXPECT_EQ(BitmapProcessor::sharedInstance().nbEventDetected(), 0);
    EXPECT_FALSE(BitmapProcessor::sharedInstance().startDate());
}

TEST_F(MeasureTest, EachStateAllowsWhatAPersonMayDoThere) {
    const std::vector<std::pair<std::string, std::function<Result<void>()>>> actions = {
        {"start/stop", [&] { return driver.tap("toggleDetection"); }},
        {"save", [&] { return driver.tap("btnSaveClicked"); }},
        {"Yes", [&] { return driver.answerAlert(0); }},
        {"No", [&] { return driver.answerAlert(1); }},
        {"light", [&] { return flash(), Result<void>(); }},
        {"calibration OK", [&] { return driver.tap("okBtn"); }},
        {"tag Cancel", [&] { return driver.tap("btnCancelClicked"); }},
    };
    const std::string I = "Idle", M = "Measuring", Cal = "Calibrating", T = "Tagging", no = "-",
                      Stop = "Confirm stop / " + M, Save = "Confirm stop-and-save / " + M,
                      StopCal = "Confirm stop / " + Cal, SaveCal = "Confirm stop-and-save / " + Cal,
                      None = "No radioactivity / " + I;
    struct Row {
        std::string state;
        std::vector<int> reach;          // action indexes from Idle, with a second of measuring
        std::vector<std::string> after;  // per action: the state reached, or refused
    };
    // A stop confirmed under a calibration screen takes that screen away.
    const std::vector<Row> table = {
        // clang-format off
        // state, reached by     start  save  Yes  No   light    OK  Cancel
        {I,       {},            {M,     None, no,  no,  I,       no, no}},
        {M,       {0},           {Stop,  Save, no,  no,  Cal,     no, no}},
        {Stop,    {0, 0},        {no,    no,   I,   M,   StopCal, no, no}},
        {Cal,     {0, 4},        {no,    no,   no,  no,  Cal,     I,  no}},
        {Save,    {0, 1},        {no,    no,   T,   M,   SaveCal, no, no}},
        {T,       {0, 1, 2},     {no,    no,   no,  no,  T,       no, I}},
        {StopCal, {0, 0, 4},     {no,    no,   I,   Cal, StopCal, no, no}},
        // clang-format on
    };
    sensor().setRate(SimulatedSensor::kSaturationRate);
    for (const auto& row : table) {
        for (std::size_t a = 0; a < actions.size(); ++a) {
            quit();
            launch();
            for (std::size_t k = 0; k < row.reach.size(); ++k) {
                ASSERT_TRUE(actions[static_cast<std::size_t>(row.reach[k])].second());
                run(k == 0 ? 1.0 : 0.0);
            }
            ASSERT_EQ(state(), row.state);
            const auto done = actions[a].second();
            run(0.1);
            const std::string what = row.state + " + " + actions[a].first;
            EXPECT_EQ(done ? state() : no, row.after[a]) << what;
            // The heartbeat runs exactly while measuring with no calibration up.
            EXPECT_EQ(measure().heartBeatTimer() != nullptr,
                      measure().isMeasuring() && state().find(Cal) == std::string::npos)
                << what;
        }
    }
}

// Sending and the file are the front end's tests; here only what this screen decides.
// The record covers the whole measurement (the events after the last
// read-out too) in the whole seconds the file keeps, from the moment it is
// made, so the History tab shows what is saved.
TEST_F(MeasureTest, SavedMeasurementCoversItsWholeTimeAndStaysLocalWithoutARoute) {
    LoopbackServer server(LoopbackServer::response(200, "OK"));
    sensor().setRate(SimulatedSensor::kSaturationRate);
    setReachable(false);
    RadiationHistoryMng::setServerURL(server.baseURL());
    (void)driver.tapTab(1);
    ASSERT_TRUE(driver.tap("toggleDetection"));
    const Date start = clock.now();
    run(10.5);  // the last read-out at 10 s, the stop at 10.5 s
    ASSERT_TRUE(driver.tap("toggleDetection"));
    ASSERT_TRUE(driver.answerAlert(0));
    ASSERT_TRUE(driver.tap("btnSaveClicked"));
    ASSERT_TRUE(driver.beginEditing("txtTag"));
    ASSERT_TRUE(driver.typeText("txtTag", "Garden"));
    ASSERT_TRUE(driver.tap("btnSave"));
    run(0.1);
    ASSERT_TRUE(MeasureViewController::waitForUploads(10.0));
    EXPECT_EQ(driver.snapshot()["tabBar"]["selectedIndex"], 2);
    EXPECT_TRUE(server.requests().empty());
    ASSERT_TRUE(RadiationHistoryMng::getRadiationHistoryRecordList());
    const auto registered = RadiationHistoryMng::getRadiationHistoryRecordList()->front();
    EXPECT_EQ(registered->tag(), "Garden");
    EXPECT_EQ(registered->startDate(), Date::fromUnixSeconds(std::floor(start.unixSeconds())));
    EXPECT_EQ(registered->duration(), 11.0);  // 10.5 s, rounded
    EXPECT_LE(registered->radionEvents().back().timeStamp(), 11.0);

    // An acquisition this screen did not run (the alert screen's) keeps its stop date.
    BitmapProcessor& engine = BitmapProcessor::sharedInstance();
    engine.startAcquisition();
    engine.eventDetected(2, 0.5);
    clock.advance(30.0);
    engine.stopAcquisition();
    (void)driver.tapTab(1);
    ASSERT_TRUE(driver.tap("btnSaveClicked"));
    ASSERT_TRUE(driver.beginEditing("txtTag"));
    ASSERT_TRUE(driver.typeText("txtTag", "alert"));
    ASSERT_TRUE(driver.tap("btnSave"));
    EXPECT_EQ(RadiationHistoryMng::getRadiationHistoryRecordList()->front()->duration(), 30.0);
}

}  // namespace
}  // namespace kesto::test
