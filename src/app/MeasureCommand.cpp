#include "app/MeasureCommand.h"

#include <CLI/App.hpp>

#include "app/HeadlessFrontEnd.h"
#include "app/IntervalReport.h"
#include "app/OptionChecks.h"
#include "app/SensorBanner.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/Format.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/AlertView.h"
#include "toolkit/TextField.h"

namespace kesto {
namespace {

constexpr const char* kMeasureScreen = "MeasureViewController";
constexpr const char* kTagScreen = "RegisterRadioactivityViewController";
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

// The top alert's message, after answering it with its first button.
std::optional<std::string> dismissAlert(HeadlessFrontEnd& person) {
    const AlertView* alert = Application::sharedApplication().visibleAlert();
    if (alert == nullptr) {
        return std::nullopt;
    }
    std::string message = alert->message();
    (void)person.driver().answerAlert(0);
    person.settle();
    return message;
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
    report.message(cformat("Saved \"%s\": %zu events over %.0f s, mean %.2f \u03bcSv/h, dose "
                           "%.2f \u03bcSv",
                           record.tag().value_or("").c_str(), record.radionEvents().size(),
                           record.duration(), record.vm(), record.vd()) +
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
    const UploadLog::Status status =
        RadiationHistoryMng::isSimulated()
            ? UploadLog::Status::NeverSent
            : UploadLog::read(RadiationHistoryMng::uploadLogPath()).statusOf(*list->front());
    const char* why = status == UploadLog::Status::Sent ? ""
                      : RadiationHistoryMng::isSimulated()
                          ? " (a simulated measurement is never sent)"
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
           "dose rate, dose) once a second, until S seconds have passed or Ctrl-C. With\n"
           "--tag the measurement is then saved under that tag: in the history and, when\n"
           "a server is set and the network can be reached, sent to it (the command\n"
           "waits for the upload). A second Ctrl-C quits at once, saving nothing.\n"
           "\n"
           "Options:\n"
        << ApplicationOptions::helpText(true)
        << "  --duration S     stop after S seconds (default: at Ctrl-C)\n"
           "  --tag TEXT       save the measurement with this tag\n"
           "  --json           one JSON object per second, then one for the result\n"
           "\n"
           "Exit status: 0 when the measurement ran (and, with --tag, was saved or held\n"
           "no event to save), 1 when it could not run, was abandoned or not saved.\n"
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

int MeasureCommand::run(std::ostream& out, std::ostream& err) {
    // Said before measuring, not after: the tag entry screen would refuse it.
    if (tag_ &&
        TextField::characterCount(*tag_) > RegisterRadioactivityViewController::kMaxTagLength) {
        throw UsageError("--tag: at most " +
                         std::to_string(RegisterRadioactivityViewController::kMaxTagLength) +
                         " characters (a place name or a short note); this one has " +
                         std::to_string(TextField::characterCount(*tag_)));
    }
    // First, so that no thread the application starts takes Ctrl-C unasked.
    HeadlessFrontEnd person(out, ProgressReport::styleFor(out, json_));
    if (auto started = person.launch(application_); !started) {
        return failed("measure", started.error(), err);
    }
    SensorBanner::print(person.report());
    IntervalReport::printDetectable(
        person.report(),
        duration_ ? std::optional<double>(static_cast<double>(*duration_)) : std::nullopt);
    if (!person.driver().tapTab(kMeasureTab) || person.tabScreen() != kMeasureScreen) {
        err << "kesto measure: the measure screen could not be shown\n";
        return 1;
    }
    person.settle();
    if (!person.driver().tap("btnStart")) {
        err << "kesto measure: the measurement could not be started\n";
        return 1;
    }
    person.settle();

    bool calibrating = false;
    for (std::size_t second = 1; !duration_ || second <= *duration_; ++second) {
        person.runFor(1.0);
        if (person.interruptions() > 0) {
            break;
        }
        if (person.followCalibration()) {
            calibrating = true;
            continue;
        }
        if (calibrating) {
            err << "kesto measure: the lens is covered again, but the measurement was "
                   "abandoned: run it again\n";
            return 1;
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

int MeasureCommand::finish(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const {
    if (tag_) {
        return save(person, out, err);
    }
    // The start/stop button, then "Yes" to its question.
    (void)person.driver().tap("btnStart");
    person.settle();
    (void)dismissAlert(person);
    person.report().message("Stopped: " + readOut(person), readOutFields(person, "stopped"));
    return 0;
}

int MeasureCommand::save(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const {
    // Save, then "Yes" to stop-and-save.
    (void)person.driver().tap("btnSave");
    person.settle();
    (void)dismissAlert(person);
    const std::string last = readOut(person);
    if (person.topScreen() != kTagScreen) {
        // No event: the screen says there is nothing to save.
        const std::string message = dismissAlert(person).value_or("nothing to save");
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
    person.report().message("Stopped: " + last, readOutFields(person, "stopped"));
    if (const auto* list = RadiationHistoryMng::getRadiationHistoryRecordList();
        list != nullptr && !list->empty()) {
        reportSaved(person.report(), *list->front());
    }
    if (!person.waitForUploads()) {
        err << "kesto measure: quit before the upload ended: the measurement is saved, but the "
               "server may not have it (send it with 'kesto upload')\n";
    } else {
        reportUpload(person.report());
    }
    return reportHistorySave("measure", out, err);
}

}  // namespace kesto
