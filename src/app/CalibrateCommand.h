#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/Command.h"
#include "engine/CameraProfile.h"

namespace kesto {

class CaptureBackend;
class CaptureSession;
class ProgressReport;

// `kesto calibrate`: learns the camera's dark noise from covered frames,
// finds its hot pixels and proposes a threshold and a light limit that keep
// false events from noise below one an hour; writes them as the camera's
// profile (used with --profile by capture, alert, measure and serve) and
// prints a summary a person can judge.
//
// Threads: main thread.
class CalibrateCommand : public Command {
  public:
    static constexpr int kDefaultFrames = 300;
    static constexpr int kMaximumFrames = 36000;
    // The capture chain's pace, for the false-event bound.
    static constexpr double kFramesPerSecond = 10.0;

    // Waits until `second` seconds after the start; false when interrupted.
    using Waiter = std::function<bool(int second, CaptureSession* session)>;

    void declareOptions(CLI::App& app) override;
    int run(std::ostream& out, std::ostream& err) override;
    static void printHelp(std::ostream& out);

    // Records `frames` covered frames from `backend` and proposes the
    // camera's profile; fails when the frames were light, did not come, or
    // leave no usable threshold.
    static Result<CameraProfile> calibrate(CaptureBackend& backend, int frames, const Waiter& wait,
                                           ProgressReport& report);
    // The summary lines (text) of a profile.
    static std::string summary(const CameraProfile& profile);

  private:
    std::optional<std::string> sensor_;
    std::optional<std::string> dataDirectory_;
    int frames_ = kDefaultFrames;
    bool json_ = false;
};

}  // namespace kesto
