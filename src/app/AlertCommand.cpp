#include "app/AlertCommand.h"

#include <CLI/App.hpp>

#include "app/HeadlessFrontEnd.h"
#include "app/IntervalReport.h"
#include "app/SensorBanner.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "screens/AlertViewController.h"

namespace kesto {
namespace {

constexpr const char* kAlertScreen = "AlertViewController";
constexpr const char* kVerdictScreen = "DetectionFinishViewController";
constexpr const char* kDetectedBackground = "A03.png";
// The detection lasts 30 s; the front end waits a good deal longer before it
// gives up on a verdict that never comes.
constexpr int kGiveUpAfterSeconds = 120;

// The verdict screen's message, with the figures as numbers; the exit status.
int reportVerdict(HeadlessFrontEnd& person) {
    const bool detected = person.image("bgImgView") == kDetectedBackground;
    const std::string message = person.text("lblMsg");
    nlohmann::json fields = {
        {"event", "verdict"}, {"radioactivityDetected", detected}, {"message", message}};
    const auto interval = IntervalReport::addFigures(fields, BitmapProcessor::sharedInstance());
    person.report().message(
        message + (interval.known() ? "\nThe 30 s: " + IntervalReport::meanText(interval)
                                    : std::string()),
        fields);
    return detected ? AlertCommand::kRadioactivityDetected : 0;
}

// One second of the detection: the countdown and read-out as the screen
// shows them, and beside them, read-only, the same as numbers and how far
// they can be trusted.
void reportSecond(HeadlessFrontEnd& person) {
    const std::string countdown = person.text("lblTimer");
    const std::string readOut = person.text("lblResult");
    nlohmann::json fields = {{"event", "second"}, {"countdown", countdown}, {"readOut", readOut}};
    const auto interval = IntervalReport::addFigures(fields, BitmapProcessor::sharedInstance());
    person.report().update(
        person.pieProgress("detecteurCamembert") / 360.0,
        countdown + (readOut.empty() ? "" : "  " + readOut) + IntervalReport::suffix(interval),
        fields);
}

}  // namespace

void AlertCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto alert [--sensor SPEC] [--position P] [--data-dir D] [--profile] [--json]\n"
           "\n"
           "Answers whether there is radioactivity here: the Alert tab's 30-second\n"
           "detection, followed on the terminal (countdown and dose rate once a second),\n"
           "then the verdict with its figures. Keep the camera's lens covered: light on\n"
           "the sensor shows how to cover it, and the detection is abandoned (after a\n"
           "minute of light, the command gives up). A camera that stops sending frames\n"
           "ends the detection without a verdict.\n"
           "\n"
           "Options:\n"
        << ApplicationOptions::helpText(false)
        << "  --json           one JSON object per second, then one for the verdict\n"
           "\n"
           "Exit status: 0 when no radioactivity was detected, 2 when it was, 1 when\n"
           "the detection could not run, was abandoned or its camera stopped.\n"
           "\n"
           "Beside the dose rate, its 95% interval: the range of rates that could give\n"
           "the events seen. At the start, the smallest dose rate 30 seconds can detect\n"
           "(about 20 \u03bcSv/h): a quiet result below it is no proof of a safe place.\n";
}

void AlertCommand::declareOptions(CLI::App& app) {
    application_.declare(app, false);
    app.add_flag("--json", json_);
}

int AlertCommand::run(std::ostream& out, std::ostream& err) {
    // First, so that no thread the application starts takes Ctrl-C unasked.
    HeadlessFrontEnd person(out, ProgressReport::styleFor(out, json_));
    if (auto started = person.launch(application_); !started) {
        return failed("alert", started.error(), err);
    }
    SensorBanner::print(person.report());
    IntervalReport::printDetectable(person.report(), AlertViewController::kDetectionLength);
    if (person.tabScreen() != kAlertScreen || !person.driver().tap("btnCommand")) {
        err << "kesto alert: the alert screen could not be started\n";
        return 1;
    }
    person.settle();

    bool calibrating = false;
    for (int second = 1; second <= kGiveUpAfterSeconds; ++second) {
        person.runFor(1.0);
        if (person.interruptions() > 0) {
            if (!calibrating) {
                (void)person.driver().tap("btnCommand");  // stops it, as a second tap does
                person.settle();
            }
            err << "kesto alert: interrupted: the detection was abandoned\n";
            return 1;
        }
        if (person.followCalibration()) {
            if (person.darknessWaitIsOver()) {
                err << "kesto alert: light still reaches the sensor after a minute: the "
                       "detection was abandoned; cover the lens completely and run it again\n";
                return 1;
            }
            calibrating = true;
            continue;
        }
        if (calibrating) {
            err << "kesto alert: the lens is covered again, but the detection was abandoned: "
                   "run it again\n";
            return 1;
        }
        // The only question the alert screen asks by itself: its camera stopped.
        if (const auto message = person.dismissAlert()) {
            person.report().message(*message, {{"event", "cameraStopped"}, {"message", *message}});
            err << "kesto alert: the camera stopped sending frames: no verdict\n";
            return 1;
        }
        if (person.tabScreen() == kVerdictScreen) {
            return reportVerdict(person);
        }
        reportSecond(person);
    }
    err << "kesto alert: the detection did not end: no verdict\n";
    return 1;
}

}  // namespace kesto
