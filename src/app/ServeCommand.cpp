#include "app/ServeCommand.h"

#include <CLI/App.hpp>

#include "app/HeadlessFrontEnd.h"
#include "app/KestoAppDelegate.h"
#include "app/SensorBanner.h"
#include "camera/CaptureBackend.h"
#include "camera/ContinuousCaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "platform/LocalizedStrings.h"
#include "platform/RunLoop.h"
#include "screens/DetecterDelegate.h"
#include "screens/MeasureViewController.h"
#include "station/Station.h"
#include "toolkit/AlertView.h"
#include "toolkit/location/LocationManager.h"
#include "web/ListenAddress.h"
#include "web/WebFrontEnd.h"

namespace kesto {
namespace {

constexpr const char* kMeasureScreen = "MeasureViewController";
constexpr const char* kTagScreen = "RegisterRadioactivityViewController";
constexpr int kNo = 1;
constexpr int kYes = 0;
// How long a running alarm command may hold up the stop.
constexpr double kAlarmCommandWait = 10.0;

KestoAppDelegate* appDelegate() {
    return dynamic_cast<KestoAppDelegate*>(Application::sharedApplication().delegate());
}

}  // namespace

void ServeCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto serve [--sensor SPEC] [--position P] [--listen ADDR:PORT]\n"
           "                   [--data-dir D] [--server URL] [--allow-host NAME]...\n"
           "                   [--token-file F] [--profile]\n"
           "                   [--station [--interval D] [--station-tag T]\n"
           "                    [--alarm-above R [--alarm-window D] [--alarm-command CMD]]]\n"
           "\n"
           "Runs the application and shows it in a browser: the four tabs, every change\n"
           "as it happens, taps and typing applied as on the phone. Prints the address to\n"
           "open. Ctrl-C or SIGTERM closes every connection, saves a running measurement\n"
           "of the Measure tab (tagged as stopped by the system), stops any other\n"
           "detection and waits for an upload in flight; a second one quits at once.\n"
           "\n"
           "With --station it counts from start-up, with or without a browser: each\n"
           "interval of the clock (10 minutes by default) is saved in the history and\n"
           "uploaded when a server is set; time with light on the sensor or no frames is\n"
           "not counted. A person still uses the tabs: their checks and measurements\n"
           "read the same frames without touching the station's count. The interval in\n"
           "progress is kept on disk every 30 s: after a kill or a power cut it goes on\n"
           "(or is saved) at the next start; Ctrl-C and SIGTERM save it.\n"
           "\n"
           "Only requests that name this server (its address, or a name given with\n"
           "--allow-host) are answered. On an address other than loopback (127.0.0.0/8,\n"
           "::1) the page needs an access token: a random one, printed once in the\n"
           "address, or the one in F (never printed; F must not be readable by others).\n"
           "\n"
           "Options:\n"
        << ApplicationOptions::helpText(true) << StationOptions::helpText()
        << "  --listen ADDR:PORT  where to listen (default 127.0.0.1:8080; [::1]:8080 for IPv6)\n"
           "  --allow-host NAME   also answer to this host name (a proxy's, a LAN name)\n"
           "  --token-file F      require the token in F (one line, 16 characters or more)\n"
           "\n"
           "Exit status: 0 after a clean stop, 1 when the application or the server could\n"
           "not start, or an upload was left unfinished.\n";
}

void ServeCommand::declareOptions(CLI::App& app) {
    application_.declare(app, true);
    station_.declare(app);
    app.add_option("--listen", listen_)->type_name("ADDR:PORT");
    app.add_option("--allow-host", allowedHosts_)->type_name("NAME");
    app.add_option("--token-file", tokenFile_)->type_name("F");
}

int ServeCommand::run(std::ostream& out, std::ostream& err) {
    const auto listen = ListenAddress::parse(listen_);
    if (!listen) {
        throw UsageError("--listen: " + listen.error());
    }
    station_.check();
    // First, so that no thread the application starts takes Ctrl-C unasked.
    HeadlessFrontEnd person(out, ProgressReport::styleFor(out, false));
    if (auto applied = application_.apply(); !applied) {
        return failed("serve", applied.error(), err);
    }
    if (station_.enabled()) {
        // Before any capture controller: they attach to the one capture.
        (void)CaptureBackend::makeContinuous();
    }
    if (auto started = person.launch(); !started) {
        return failed("serve", started.error(), err);
    }
    SensorBanner::print(person.report());
    const std::unique_ptr<Station> station = startStation(out);

    WebFrontEnd web;
    WebFrontEnd::Options options;
    options.listen = *listen;
    options.allowedHosts = allowedHosts_;
    if (tokenFile_) {
        options.tokenFile = *tokenFile_;
    }
    options.station = station.get();
    if (auto started = web.start(options); !started) {
        err << "kesto serve: " << started.error() << '\n';
        return 1;
    }
    printAddress(out, web, *listen);
    while (person.interruptions() == 0) {
        RunLoop::main().run();  // the signal handler stops it
    }
    return shutDown(person, web, station.get(), out, err);
}

std::unique_ptr<Station> ServeCommand::startStation(std::ostream& out) const {
    if (!station_.enabled()) {
        return nullptr;
    }
    Station::Options options = station_.options();
    ContinuousCaptureBackend& capture = CaptureBackend::makeContinuous();
    options.capture = &capture;
    options.simulated = capture.isSimulated();
    options.position = [] {
        std::pair<double, double> position(0.0, 0.0);
        if (KestoAppDelegate* delegate = appDelegate()) {
            if (const auto location = delegate->myLocation()) {
                position = {location->latitude(), location->longitude()};
            }
            // A fresh fix for the next interval, as each measurement asks.
            delegate->locationManager().startUpdatingLocation();
        }
        return position;
    };
    auto station =
        std::make_unique<Station>(std::move(options), BitmapProcessor::sharedInstance().sibling());
    station->start();
    out << "Station: counting from now on, each interval of " << station_.intervalText()
        << " saved as \"" << station->tag() << "\"";
    if (const auto above = station_.alarmAbove()) {
        out << "; alarm above " << *above << " \u03bcSv/h";
    }
    out << ".\n";
    return station;
}

void ServeCommand::printAddress(std::ostream& out, const WebFrontEnd& web,
                                const ListenAddress& listen) const {
    // A token read from a file stays out of the output (and the journal).
    std::string url = web.url();
    if (!web.tokenMadeUp()) {
        url = url.substr(0, url.find('?'));
    }
    out << "Open " << url << " in a browser";
    if (tokenFile_) {
        out << ", adding ?token= and the token in " << *tokenFile_;
    }
    out << ". Ctrl-C stops.\n";
    if (listen.isWildcard()) {
        out << "(Listening on every interface: use this machine's address in place of "
            << listen.host() << ".)\n";
    }
    out << std::flush;
}

// In order: no client holds anything up (every connection closes at once),
// a running measurement and the station's interval are saved, the other
// detections stop as leaving their screens would, and the uploads in flight
// (then a running alarm command) get their bounded wait, which a second
// signal cuts short.
int ServeCommand::shutDown(HeadlessFrontEnd& person, WebFrontEnd& web, Station* station,
                           std::ostream& out, std::ostream& err) {
    web.stop();
    saveRunningMeasurement(person, out);
    stopDetections();
    if (station != nullptr) {
        station->stop();
    }
    person.settle();
    if (!person.waitForUploads()) {
        err << "kesto serve: quit before the upload ended: the measurement is saved, but the "
               "server may not have it (send it with 'kesto upload')\n";
        return 1;
    }
    if (station != nullptr) {
        const int before = person.interruptions();
        for (int i = 0; i < static_cast<int>(kAlarmCommandWait * 10) &&
                        !station->waitForAlarmCommand(0.1) && person.interruptions() == before;
             ++i) {
            person.settle();  // reads a second signal meanwhile
        }
    }
    out << "Stopped.\n";
    return 0;
}

void ServeCommand::saveRunningMeasurement(HeadlessFrontEnd& person, std::ostream& out) {
    KestoAppDelegate* delegate = appDelegate();
    MeasureViewController* measure = delegate != nullptr ? delegate->measureScreen() : nullptr;
    if (measure == nullptr || !measure->isRunning()) {
        return;
    }
    Driver& driver = person.driver();
    // A question up (stop it? leave the tab?) is answered No: the
    // measurement goes on, to be saved.
    for (int i = 0; i < 3 && Application::sharedApplication().visibleAlert() != nullptr; ++i) {
        (void)driver.answerAlert(kNo);
        person.settle();
    }
    if (person.topScreen() != kMeasureScreen) {
        return;  // light on the sensor: the measurement is being abandoned
    }
    // Save, then Yes to stop-and-save.
    if (!driver.tap("btnSave")) {
        return;
    }
    person.settle();
    (void)driver.answerAlert(kYes);
    person.settle();
    if (person.topScreen() != kTagScreen) {
        // No event: the screen says there is nothing to save.
        (void)driver.answerAlert(kYes);
        person.settle();
        out << "The running measurement held no event: nothing to save.\n";
        return;
    }
    const std::string tag = LocalizedStrings::localizedString("B_StoppedBySystem");
    if (!driver.beginEditing("txtTag") || !driver.typeText("txtTag", tag) ||
        !driver.tap("btnSave")) {
        out << "The running measurement could not be saved.\n";
        return;
    }
    person.settle();
    out << "Saved the running measurement as \"" << tag << "\".\n";
}

void ServeCommand::stopDetections() {
    KestoAppDelegate* delegate = appDelegate();
    if (delegate == nullptr) {
        return;
    }
    for (DetecterDelegate* screen :
         {delegate->alertViewController(), delegate->measureViewController()}) {
        if (screen != nullptr && screen->isRunning()) {
            screen->stopDetection();
        }
    }
}

}  // namespace kesto
