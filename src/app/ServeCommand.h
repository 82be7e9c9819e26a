#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ApplicationOptions.h"
#include "app/Command.h"
#include "app/StationOptions.h"

namespace kesto {

class HeadlessFrontEnd;
class ListenAddress;
class Station;
class WebFrontEnd;

// `kesto serve`: the application in a browser. It starts the application as
// the terminal front ends do, serves it over HTTP (WebFrontEnd: the page,
// the state pushed after every change, a person's actions) and prints the
// address to open. With --station it is also an always-on station (Station)
// that counts from start-up, whoever is connected. Ctrl-C or SIGTERM closes
// every connection at once, saves a running measurement of the Measure tab
// (tagged as stopped by the system) and the station's interval in progress,
// stops any other detection, then waits for the uploads in flight (a second
// one quits at once). Its steps are in shutDown().
//
// Threads: the main thread, which runs the application's loop.
class ServeCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    void printAddress(std::ostream& out, const WebFrontEnd& web, const ListenAddress& listen) const;
    static int shutDown(HeadlessFrontEnd& person, WebFrontEnd& web, Station* station,
                        std::ostream& out, std::ostream& err);
    // Saves the Measure tab's running measurement as a person would (Save,
    // Yes, the tag, OK), tagged as stopped by the system. Nothing while light
    // on the sensor is abandoning it.
    static void saveRunningMeasurement(HeadlessFrontEnd& person, std::ostream& out);
    // Stops the detection of the alert and measure screens, as leaving them would.
    static void stopDetections();
    std::unique_ptr<Station> startStation(std::ostream& out) const;

    ApplicationOptions application_;
    StationOptions station_;
    std::string listen_ = "127.0.0.1:8080";
    std::vector<std::string> allowedHosts_;
    std::optional<std::string> tokenFile_;
};

}  // namespace kesto
