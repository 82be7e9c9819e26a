#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/ApplicationOptions.h"
#include "app/ProgressReport.h"
#include "platform/Date.h"
#include "platform/Result.h"
#include "platform/SignalWatch.h"
#include "toolkit/Driver.h"

namespace kesto {

// A person at a terminal in front of the application: launches it, reads
// what the screen on top shows and taps, types and answers through Driver,
// as a finger would. Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal
// closing) become interruptions that the front end reads between two
// seconds; they do not end the process.
//
// Time: runFor() lets the application run for that long by its clock, in
// real time or, with a manual clock (tests), by stepping it.
//
// Threads: the main thread. Build it before the application starts any
// thread, so that none inherits the signals unblocked.
class HeadlessFrontEnd {
  public:
    HeadlessFrontEnd(std::ostream& out, ProgressReport::Style style);
    ~HeadlessFrontEnd();
    HeadlessFrontEnd(const HeadlessFrontEnd&) = delete;
    HeadlessFrontEnd& operator=(const HeadlessFrontEnd&) = delete;

    // Applies the options (sensor, position, data directory, server;
    // UsageError for a value that cannot be used), then starts the
    // application.
    Result<void> launch(const ApplicationOptions& options);
    // Starts the application with options applied by the caller (serve
    // wraps the chosen sensor for its station in between).
    Result<void> launch();

    Driver& driver() { return driver_; }
    ProgressReport& report() { return report_; }

    // What the screen that takes the taps shows, by outlet: a label's text
    // or a button's title; an image view's or a button's image name; whether
    // a button is enabled. Empty or false when there is no such control.
    std::string text(std::string_view outlet) const;
    std::string image(std::string_view outlet) const;
    bool isEnabled(std::string_view outlet) const;
    // A progress pie's angle in degrees; 0 when there is no such pie.
    double pieProgress(std::string_view outlet) const;
    // The class names of the screen that takes the taps and of the selected
    // tab's top screen.
    std::string topScreen() const;
    std::string tabScreen() const;

    // Runs the application for `seconds` (less when interrupted meanwhile).
    void runFor(double seconds);
    // Runs what is due now (after a tap).
    void settle();
    int interruptions() const { return interruptions_; }
    // Waits (real time) for the uploads saves started, at most as long as an
    // upload may take; a further interruption ends the wait. False when some
    // upload had not ended.
    bool waitForUploads();

    // The calibration screen, when one is up: its instructions are shown once
    // and OK is tapped as soon as the lens is covered. True while one was up
    // at the call (the detection behind it is being abandoned).
    bool followCalibration();
    // The calibration screen has waited kDarknessWait seconds (by the clock)
    // for the lens to be covered: a person at a terminal gives up then.
    bool darknessWaitIsOver() const;
    static constexpr double kDarknessWait = 60.0;

    // The message of the alert on top, answered with its first button;
    // nothing when no alert is up.
    std::optional<std::string> dismissAlert();

  private:
    ProgressReport report_;
    Driver driver_;
    int interruptions_ = 0;
    bool instructionsShown_ = false;
    std::optional<Date> calibrationSince_;
    SignalWatch signals_;
};

}  // namespace kesto
