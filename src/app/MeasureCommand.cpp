#include "app/MeasureCommand.h"

#include <CLI/App.hpp>

#include "app/HeadlessFrontEnd.h"
#include "app/IntervalReport.h"
#include "app/OptionChecks.h"
#include "app/SensorBanner.h"
#include "app/TerminalText.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/Format.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/TextField.h"

namespace kesto {
namespace {

constexpr const char* kMeasureScreen = "MeasureViewController";
constexpr const char* kTagScreen = "RegisterRadioactivityViewController";
constexpr const char* kStopImage = "B_stop.png";  // the start/stop button while measuring
constexpr int kMeasureTab = 1;

// The screen's figures, and beside them (read from the engine, never shown
// on the screen) the 95% interval of the dose rate.
std::string readOut(const HeadlessFrontEnd& person) {
    return person.text("lblElapsedTime") + "  " + person.text("lblVM") + "  " +
           person.text("lblVD") +
           IntervalReport::suffix(DoseRateInterval::ofEngine(BitmapProcessor::sharedInstance()));
}

// The screen's texts, and the same figures as numbers in base units.
nlohmann::json readOutFields(const HeadlessFrontEnd& person, const char* event) {
    nlohmann::json fields = {{"event", event},
                             {"elapsed", person.text("lblElapsedTime")},
                             {"doseRate", person.text("lblVM")},
                             {"dose", person.text("lblVD")}};
    IntervalReport::addFigures(fields, BitmapProcessor::sharedInstance());
    return fields;
}

// The measurement as saved: its figures as numbers in base units.
void reportSaved(ProgressReport& report, const RadiationHistoryRecord& record) {
    const auto interval = DoseRateInterval::forEvents(
        static_cast<std::int64_t>(record.radionEvents().size()), record.duration());
    nlohmann::json fields = {
        {"event", "saved"},
        {"tag", record.tag().value_or("")},
        {"startDate", record.startDate() ? nlohmann::json(record.startDate()->iso8601())
                                         : nlohmann::json(nullptr)},
        {"events", record.radionEvents().size()},
        {"duration", record.duration()},
        {"meanDoseRate", record.vm()},
        {"dose", record.vd()},
        {"history", RadiationHistoryMng::historyFilePath().string()}};
    IntervalReport::addFields(fields, interval);
    report.message(
        "Saved \"" + TerminalText::isolated(record.tag().value_or("")) + "\"" +
            cformat(": %zu events over %.0f s, mean %.2f \u03bcSv/h, dose %.2f \u03bcSv",
                    record.radionEvents().size(), record.duration(), record.vm(), record.vd()) +
            IntervalReport::suffix(interval),
        fields);
}

// With a server set, what became of the saved measurement's upload, as the
// upload log says (the exchange itself is a developer's console line).
void reportUpload(ProgressReport& report) {
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    if (!RadiationHistoryMng::serverURL() || list == nullptr || list->empty()) {
        return;
    }
    const bool simulated = RadiationHistoryMng::isSimulated() || list->front()->isSimulated();
    const UploadLog::Status status =
        simulated ? UploadLog::Status::NeverSent
                  : UploadLog::read(RadiationHistoryMng::uploadLogPath()).statusOf(*list->front());
    const char* why = status == UploadLog::Status::Sent ? ""
                      : simulated                       ? " (a simulated measurement is never sent)"
                                  : " (send it again with 'kesto upload --pending')";
    report.message(std::string("Upload: ") + UploadLog::text(status) + why,
                   {{"event", "upload"}, {"upload", UploadLog::text(status)}});
}

}  // namespace

void MeasureCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto measure [--sensor SPEC] [--position P] [--duration S] [--tag TEXT]\n"
           "                     [--data-dir D] [--server URL] [--profile] [--json]\n"
           "\n"
           "Runs a measurement as the Measure tab does, with its read-out (elapsed time,\n"
           "dose rate, dose) once a second, until S seconds have passed or Ctrl-C (or\n"
           "SIGTERM, or the terminal closing). With --tag the measurement is then saved\n"
           "under that tag: in the history and, when a server is set and the network can\n"
           "be reached, sent to it (the command waits for the upload). A second Ctrl-C\n"
           "stops that wait: the measurement stays saved, and 'kesto upload --pending'\n"
           "sends it later. Ctrl-\\ (SIGQUIT) quits at once, saving nothing.\n"
           "\n"
           "A camera that stops sending frames ends the measurement at its last frame:\n"
           "the figures (and, with --tag, the saved record) cover only the time frames\n"
           "came; under 2 seconds of frames nothing is kept. Light on the sensor for a\n"
           "minute abandons the measurement.\n"
           "\n"
           "Options:\n"
        << ApplicationOptions::helpText(true)
        << "  --duration S     stop after S seconds (default: at Ctrl-C)\n"
           "  --tag TEXT       save the measurement with this tag\n"
           "  --json           one JSON object per second, then one for the result\n"
           "\n"
           "Exit status: 0 when the measurement ran (and, with --tag, was saved or held\n"
           "no event to save), 1 when it could not run, was abandoned, was cut short by\n"
           "its camera or was not saved.\n"
           "\n"
           "Beside the dose rate, its 95% interval: the range of rates that could give\n"
           "the events seen. At the start, the smallest dose rate the run can detect.\n";
}

void MeasureCommand::declareOptions(CLI::App& app) {
    application_.declare(app, true);
    app.add_option("--duration", duration_)
        ->type_name("S")
        ->check(OptionChecks::wholeNumber(1, kMaximumSeconds));
    app.add_option("--tag", tag_)->type_name("TEXT");
    app.add_flag("--json", json_);
}

void MeasureCommand::checkTag() const {
    // Said before measuring, not after: the tag entry screen would refuse it.
    if (tag_ &&
        TextField::characterCount(*tag_) > RegisterRadioactivityViewController::kMaxTagLength) {
        throw UsageError("--tag: at most " +
                         std::to_string(RegisterRadioactivityViewController::kMaxTagLength) +
                         " characters (a place name or a short note); this one has " +
                         std::to_string(TextField::characterCount(*tag_)));
    }
}

bool MeasureCommand::startMeasurement(HeadlessFrontEnd& person, std::ostream& err) const {
    if (!person.driver().tapTab(kMeasureTab) || person.tabScreen() != kMeasureScreen) {
        err << "kesto measure: the measure screen could not be shown\n";
        return false;
    }
    person.settle();
    if (!person.driver().tap("btnStart")) {
        err << "kesto measure: the measurement could not be started\n";
        return false;
    }
    person.settle();
    return true;
}

int MeasureCommand::run(std::ostream& out, std::ostream& err) {
    checkTag();
    // First, so that no thread the application starts takes Ctrl-C unasked.
    HeadlessFrontEnd person(out, ProgressReport::styleFor(out, json_));
    if (auto started = person.launch(application_); !started) {
        return failed("measure", started.error(), err);
    }
    SensorBanner::print(person.report());
    IntervalReport::printDetectable(
        person.report(),
        duration_ ? std::optional<double>(static_cast<double>(*duration_)) : std::nullopt);
    if (!startMeasurement(person, err)) {
        return 1;
    }

    bool calibrating = false;
    for (std::size_t second = 1; !duration_ || second <= *duration_; ++second) {
        person.runFor(1.0);
        if (person.interruptions() > 0) {
            break;
        }
        if (person.followCalibration()) {
            if (person.darknessWaitIsOver()) {
                err << "kesto measure: light still reaches the sensor after a minute: the "
                       "measurement was abandoned; cover the lens completely and run it again\n";
                return 1;
            }
            calibrating = true;
            continue;
        }
        if (calibrating) {
            err << "kesto measure: the lens is covered again, but the measurement was "
                   "abandoned: run it again\n";
            return 1;
        }
        // The only question the measure screen asks by itself: its camera
        // stopped, and the measurement with it.
        if (const auto message = person.dismissAlert()) {
            return cameraStopped(person, *message, out, err);
        }
        const std::optional<double> fraction =
            duration_ ? std::optional<double>(static_cast<double>(second) /
                                              static_cast<double>(*duration_))
                      : std::nullopt;
        person.report().update(fraction, readOut(person), readOutFields(person, "second"));
    }
    if (calibrating) {
        err << "kesto measure: interrupted while light reached the sensor: the measurement "
               "was abandoned\n";
        return 1;
    }
    return finish(person, out, err);
}

int MeasureCommand::cameraStopped(HeadlessFrontEnd& person, const std::string& message,
                                  std::ostream& out, std::ostream& err) const {
    person.report().message(message + "\n" + readOut(person),
                            readOutFields(person, "cameraStopped"));
    if (BitmapProcessor::sharedInstance().acquisitionDuration() <= 0.0) {
        err << "kesto measure: the camera stopped sending frames: nothing was measured\n";
        return 1;
    }
    const std::string covered = person.text("lblElapsedTime");
    const int saved = tag_ ? save(person, out, err) : 0;
    err << "kesto measure: the camera stopped sending frames: the measurement covers only the "
           "time frames came ("
        << covered << ")" << (saved == 0 && tag_ ? " (saved)" : "") << '\n';
    return 1;
}

int MeasureCommand::finish(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const {
    if (tag_) {
        return save(person, out, err);
    }
    // The start/stop button, then "Yes" to its question.
    (void)person.driver().tap("btnStart");
    person.settle();
    (void)person.dismissAlert();
    person.report().message("Stopped: " + readOut(person), readOutFields(person, "stopped"));
    return 0;
}

int MeasureCommand::save(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const {
    // The start/stop button and "Yes" first, so that the stopped read-out is
    // read before the tag screen covers it; then Save.
    if (person.image("btnStart") == kStopImage) {
        (void)person.driver().tap("btnStart");
        person.settle();
        (void)person.dismissAlert();
    }
    const std::string last = readOut(person);
    const nlohmann::json lastFields = readOutFields(person, "stopped");
    (void)person.driver().tap("btnSave");
    person.settle();
    if (person.topScreen() != kTagScreen) {
        // No event: the screen says there is nothing to save.
        const std::string message = person.dismissAlert().value_or("nothing to save");
        person.report().message("Stopped: " + last + "\n" + message,
                                {{"event", "notSaved"}, {"message", message}});
        return 0;
    }
    auto& driver = person.driver();
    Result<void> typed = driver.beginEditing("txtTag");
    if (typed) {
        typed = driver.typeText("txtTag", *tag_);
    }
    if (!typed) {
        err << "kesto measure: the tag could not be typed: " << typed.error() << '\n';
        return 1;
    }
    if (tag_->empty()) {
        // OK stays disabled until something is typed: type a character and
        // take it back, which leaves an empty tag that OK accepts.
        (void)driver.typeText("txtTag", " ");
        (void)driver.deleteBackward("txtTag");
    }
    if (!driver.tap("btnSave")) {
        err << "kesto measure: the tag entry screen refused the measurement\n";
        return 1;
    }
    person.settle();
    person.report().message("Stopped: " + last, lastFields);
    const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
    // Saved only when it reached the disk.
    if (RadiationHistoryMng::lastSave().ok() && list != nullptr && !list->empty()) {
        reportSaved(person.report(), *list->front());
    }
    if (!person.waitForUploads()) {
        err << "kesto measure: quit before the upload ended: the measurement is saved, but the "
               "server may not have it (send it with 'kesto upload')\n";
    } else {
        reportUpload(person.report());
    }
    if (json_ && RadiationHistoryMng::lastSave().ok()) {
        return 0;  // the "saved" object says where; standard output stays JSON
    }
    return reportHistorySave("measure", out, err);
}

}  // namespace kesto
