#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/Command.h"

namespace kesto {

class BitmapProcessor;
class CaptureBackend;
class CaptureSession;

// `kesto capture`: one acquisition through the capture chain for a number
// of seconds, in real time, with a read-out once a second (elapsed time,
// frames, events, hits, dose rate, dose, light) as the measure screen
// shows it. The first line says which sensor is read, and SIMULATED when it
// is the simulator.
//
// Threads: main thread.
class CaptureCommand : public Command {
  public:
    struct Options {
        int seconds = 10;
        bool json = false;
    };
    // Waits until `second` seconds after the start; false when interrupted.
    // `session` is the running chain's (a manual clock steps it).
    using Waiter = std::function<bool(int second, CaptureSession* session)>;

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

    // Runs the acquisition on `backend` into `engine`; the exit status: 1
    // when no frame arrived (nothing was measured), 0 otherwise.
    static int measure(CaptureBackend& backend, BitmapProcessor& engine, const Options& options,
                       const Waiter& wait, std::ostream& out, std::ostream& err);

  private:
    Options options_;
    std::optional<std::string> sensor_;
    std::optional<std::string> dataDirectory_;
    bool profile_ = false;
};

}  // namespace kesto
