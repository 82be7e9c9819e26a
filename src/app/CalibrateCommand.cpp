#include "app/CalibrateCommand.h"

#include <chrono>
#include <ostream>
#include <thread>

#include <CLI/App.hpp>
#include <nlohmann/json.hpp>

#include "app/ApplicationOptions.h"
#include "app/OptionChecks.h"
#include "app/ProgressReport.h"
#include "camera/CameraIdentity.h"
#include "camera/CaptureBackend.h"
#include "camera/CaptureSession.h"
#include "camera/SampleBufferDelegate.h"
#include "engine/BitmapProcessor.h"
#include "engine/DarkFrameCalibration.h"
#include "history/CameraProfileFile.h"
#include "history/file/DataDirectory.h"
#include "platform/Format.h"
#include "platform/SerialQueue.h"

namespace kesto {
namespace {

// Hands the session's frames to the calibration, on the delivery queue.
class Recorder : public SampleBufferDelegate {
  public:
    explicit Recorder(DarkFrameCalibration& calibration) : calibration_(calibration) {}
    void didOutputSampleBuffer(const FrameBitmap& frame) override {
        (void)calibration_.addFrame(frame);
    }

  private:
    DarkFrameCalibration& calibration_;
};

std::string falseEvents(double perHour) {
    return perHour < 0.001 ? std::string("< 0.001") : cformat("%.3f", perHour);
}

}  // namespace

void CalibrateCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto calibrate [--sensor SPEC] [--frames N] [--data-dir D] [--json]\n"
           "\n"
           "Calibrates the camera before it counts: cover the lens, and Kesto records N\n"
           "dark frames (default 300, 30 s at 10 frames a second), finds the hot pixels\n"
           "(bright in most frames), measures the dark noise and proposes a detection\n"
           "threshold and a light limit that keep false events from noise below one an\n"
           "hour. The result is the camera's profile in the data directory\n"
           "(profiles/<camera>.json), used by capture, alert, measure and serve with\n"
           "--profile. Light on the sensor stops the calibration: nothing is written.\n"
           "\n"
           "Options:\n"
           "  --sensor SPEC    the camera to calibrate (default $KESTO_SENSOR, else\n"
           "                   camera); see 'kesto capture --help'\n"
           "  --frames N       dark frames to record, 10 to 36000 (default 300)\n"
           "  --data-dir D     where the profile is written (default $KESTO_DATA_DIR,\n"
           "                   else $XDG_DATA_HOME/kesto or ~/.local/share/kesto)\n"
           "  --json           progress and the result as JSON objects, one a line\n"
           "\n"
           "Exit status: 0 when the profile was written, 1 otherwise.\n";
}

void CalibrateCommand::declareOptions(CLI::App& app) {
    app.add_option("--sensor", sensor_)->type_name("SPEC")->check(OptionChecks::notEmpty());
    app.add_option("--frames", frames_)
        ->type_name("N")
        ->check(OptionChecks::wholeNumber(10, kMaximumFrames));
    app.add_option("--data-dir", dataDirectory_)->type_name("D")->check(OptionChecks::notEmpty());
    app.add_flag("--json", json_);
}

Result<CameraProfile> CalibrateCommand::calibrate(CaptureBackend& backend, int frames,
                                                  const Waiter& wait, ProgressReport& report) {
    // The device model's figures: what the proposal starts from and is compared with.
    const auto device = BitmapProcessor::create();
    DarkFrameCalibration calibration(static_cast<std::uint32_t>(frames), device->seuil(),
                                     device->seuilSigma());
    Recorder recorder(calibration);
    auto session = backend.createSession();
    session->beginConfiguration();
    session->setSessionPreset(CaptureSession::kPresetMedium);
    session->addInput(backend.defaultDevice());
    session->setSampleBufferDelegate(&recorder, std::make_unique<SerialQueue>("calibration"));
    session->setMinFrameDuration(1.0 / kFramesPerSecond);
    session->setPixelFormat(CaptureSession::kPixelFormatBGRA);
    session->commitConfiguration();
    session->startRunning();

    // Frames come at most ten a second; a slow camera gets three times that
    // and ten seconds more before the calibration gives up.
    const int giveUp = static_cast<int>(frames / kFramesPerSecond) * 3 + 10;
    bool light = false;
    bool interrupted = false;
    for (int second = 1; second <= giveUp; ++second) {
        if (!wait(second, session.get())) {
            interrupted = true;
            break;
        }
        const std::uint32_t done = calibration.frames();
        if (calibration.lightFrames() > 0) {
            light = true;
            break;
        }
        report.update(static_cast<double>(done) / frames,
                      cformat("%u of %d dark frames", done, frames),
                      {{"event", "progress"}, {"frames", done}, {"of", frames}});
        if (done >= calibration.wantedFrames()) {
            break;
        }
    }
    session->stopRunning();
    session.reset();
    if (light) {
        return fail(
            "light reached the sensor (a frame average above the light limit): cover the "
            "lens completely and run the calibration again");
    }
    if (interrupted) {
        return fail("interrupted");
    }
    if (calibration.frames() < calibration.wantedFrames()) {
        return fail(cformat("only %u of %d frames arrived from %s", calibration.frames(), frames,
                            backend.description().c_str()));
    }
    return calibration.propose(kFramesPerSecond);
}

std::string CalibrateCommand::summary(const CameraProfile& p) {
    const auto& s = p.statistics;
    return cformat(
        "Camera %s: %u dark frames of %zu x %zu pixels\n"
        "  dark level     %.1f \u00B1 %.1f (values %.0f to %.0f)\n"
        "  frame average  %.2f \u00B1 %.2f (up to %.2f)\n"
        "  hot pixels     %zu channel value(s) masked (bright in half the frames or more)\n"
        "  threshold      %d (device default %d)\n"
        "  light limit    %.0f (device default %.0f)\n"
        "  false events   %s an hour expected from noise at this threshold",
        p.identity.c_str(), s.frames, p.width, p.height, s.darkLevel.mean, s.darkLevel.sigma,
        s.darkLevel.min, s.darkLevel.max, s.frameAverage.mean, s.frameAverage.sigma,
        s.frameAverage.max, p.mask.size(), p.threshold, s.deviceThreshold, p.lightLimit,
        s.deviceLightLimit, falseEvents(s.falseEventsPerHour).c_str());
}

int CalibrateCommand::run(std::ostream& out, std::ostream& err) {
    const SensorSpec sensor = ApplicationOptions::selectSensor(sensor_);
    const auto directory = DataDirectory::resolve(
        dataDirectory_ ? std::optional<std::filesystem::path>(*dataDirectory_) : std::nullopt);
    if (!directory) {
        throw UsageError("--data-dir: " + directory.error());
    }
    CaptureBackend& backend = CaptureBackend::current();
    const CameraIdentity camera(sensor);
    ProgressReport report(out, ProgressReport::styleFor(out, json_));
    report.message(
        "Calibrating " + backend.description() +
            (backend.isSimulated() ? " \u2014 SIMULATED, not a measurement" : "") +
            ".\nCover the camera's lens completely (black tape, or the lens cap) and keep it "
            "still; recording dark frames.",
        {{"event", "start"},
         {"camera", camera.name()},
         {"sensor", backend.description()},
         {"simulated", backend.isSimulated()},
         {"frames", frames_}});

    const auto origin = std::chrono::steady_clock::now();
    const Waiter wait = [origin](int second, CaptureSession*) {
        std::this_thread::sleep_until(origin + std::chrono::seconds(second));
        return true;
    };
    const auto started = std::chrono::steady_clock::now();
    Result<CameraProfile> profile = calibrate(backend, frames_, wait, report);
    if (!profile) {
        const std::string& why = profile.error();
        report.message("Calibration failed: " + why, {{"event", "failed"}, {"reason", why}});
        err << "kesto calibrate: " << why << '\n';
        return 1;
    }
    profile->identity = camera.name();
    const auto path = CameraProfileFile::path(*directory, camera.fileName());
    if (auto written = CameraProfileFile::write(path, *profile); !written) {
        err << "kesto calibrate: the profile could not be written: " << written.error() << '\n';
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    nlohmann::json result = nlohmann::json::parse(CameraProfileFile::encode(*profile));
    result.erase("mask");
    result["masked"] = profile->mask.size();
    result["event"] = "written";
    result["path"] = path.string();
    result["seconds"] = seconds;
    report.message(
        summary(*profile) + cformat("\nRecorded in %.1f s. Profile written to ", seconds) +
            path.string() + "\nUse it with --profile on capture, alert, measure and serve.",
        result);
    return 0;
}

}  // namespace kesto
