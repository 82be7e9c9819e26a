#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ApplicationOptions.h"
#include "app/Command.h"

namespace kesto {

class HeadlessFrontEnd;
class ListenAddress;
class WebFrontEnd;

// `kesto serve`: the application in a browser. It starts the application as
// the terminal front ends do, serves it over HTTP (WebFrontEnd: the page,
// the state pushed after every change, a person's actions) and prints the
// address to open. Ctrl-C or SIGTERM closes every connection at once, stops
// any running detection, then waits for an upload in flight (a second one
// quits at once). Its steps are in shutDown().
//
// Threads: the main thread, which runs the application's loop.
class ServeCommand : public Command {
  public:
    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    void printAddress(std::ostream& out, const WebFrontEnd& web, const ListenAddress& listen) const;
    static int shutDown(HeadlessFrontEnd& person, WebFrontEnd& web, std::ostream& out,
                        std::ostream& err);
    // Stops the detection of the alert and measure screens, as leaving them would.
    static void stopDetections();

    ApplicationOptions application_;
    std::string listen_ = "127.0.0.1:8080";
    std::vector<std::string> allowedHosts_;
    std::optional<std::string> tokenFile_;
};

}  // namespace kesto
