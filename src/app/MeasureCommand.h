#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "app/ApplicationOptions.h"
#include "app/Command.h"

namespace kesto {

class HeadlessFrontEnd;

// `kesto measure`: the Measure tab on the terminal. It starts the
// application, starts a measurement and follows the read-out once a second
// until --duration has passed or Ctrl-C; with --tag it then saves the
// measurement through the tag entry screen (history file, and the upload
// when a server is set and reachable, waited for before the process ends).
// A second Ctrl-C ends that wait (the measurement stays saved). A camera
// that stops sending frames ends the measurement at its last frame; its
// figures, and the record saved, cover only the time frames came.
//
// Threads: the main thread.
class MeasureCommand : public Command {
  public:
    static constexpr std::size_t kMaximumSeconds = 7 * 24 * 3600;

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    // A --tag longer than the tag entry screen takes is a usage error.
    void checkTag() const;
    // Shows the Measure tab and taps Start, as a person would; says why not.
    bool startMeasurement(HeadlessFrontEnd& person, std::ostream& err) const;
    // Stops the measurement as the screen's own buttons would, saving it
    // with the tag when one was given; the exit status.
    int finish(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const;
    int save(HeadlessFrontEnd& person, std::ostream& out, std::ostream& err) const;
    // After the screen said its camera stopped (`message`): saves what the
    // frames covered when a tag was given; exit status 1 either way.
    int cameraStopped(HeadlessFrontEnd& person, const std::string& message, std::ostream& out,
                      std::ostream& err) const;

    ApplicationOptions application_;
    std::optional<std::size_t> duration_;
    std::optional<std::string> tag_;
    bool json_ = false;
};

}  // namespace kesto
