#pragma once

#include <ostream>

#include "app/ApplicationOptions.h"
#include "app/Command.h"

namespace kesto {

// `kesto alert`: the Alert tab's 30-second detection on the terminal. It
// starts the application, taps the alert button and follows the screen once
// a second (countdown and read-out), then prints the verdict screen's
// message. Exit status 0 when no radioactivity was detected, 2 when it was,
// 1 when the detection could not run or was abandoned (light on the sensor,
// a minute of it at most; Ctrl-C; a camera that stopped sending frames).
//
// Threads: the main thread.
class AlertCommand : public Command {
  public:
    static constexpr int kRadioactivityDetected = 2;

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

  private:
    ApplicationOptions application_;
    bool json_ = false;
};

}  // namespace kesto
