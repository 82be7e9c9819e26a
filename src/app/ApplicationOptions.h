#pragma once

#include <optional>
#include <string>

#include "camera/SensorSpec.h"
#include "platform/Result.h"

namespace CLI {
class App;
}

namespace kesto {

// The options of the commands that run the whole application (alert,
// measure): which sensor, where positions come from, where the history is
// and where measurements are sent. Each falls back on its environment
// variable (KESTO_SENSOR, KESTO_POSITION, KESTO_DATA_DIR, KESTO_SERVER) and
// then on the default: the camera, no position, the usual data directory,
// no server.
//
// Threads: the main thread.
class ApplicationOptions {
  public:
    void declare(CLI::App& app, bool withServer);
    // Chooses the process's sensor, position source, data directory and
    // server. Throws UsageError for a value that cannot be used; fails when
    // the profile asked for cannot be used (see applyProfile).
    Result<void> apply() const;
    // Chooses the process's sensor from --sensor (`option`), else
    // KESTO_SENSOR, else the camera, and returns it. Throws UsageError when
    // it cannot be used.
    static SensorSpec selectSensor(const std::optional<std::string>& option);
    // Gives the shared engine the calibrated profile of the camera `sensor`
    // from the data directory (--data-dir `dataDirectory`, else the usual
    // one). Fails when there is no usable one: the command fails (status 1)
    // rather than measure without.
    static Result<void> applyProfile(const SensorSpec& sensor,
                                     const std::optional<std::string>& dataDirectory);
    // The help lines of these options, for the commands' help texts.
    static const char* helpText(bool withServer);

  private:
    std::optional<std::string> sensor_;
    std::optional<std::string> position_;
    std::optional<std::string> dataDirectory_;
    std::optional<std::string> server_;
    bool profile_ = false;
};

}  // namespace kesto
