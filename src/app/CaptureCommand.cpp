#include "app/CaptureCommand.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ostream>
#include <thread>

#include <CLI/App.hpp>
#include <nlohmann/json.hpp>

#include "app/ApplicationOptions.h"
#include "app/IntervalReport.h"
#include "app/OptionChecks.h"
#include "app/SensorBanner.h"
#include "camera/CaptureBackend.h"
#include "camera/OrvVideoStreamController.h"
#include "camera/SensorSpec.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseRateInterval.h"
#include "engine/LightReport.h"
#include "platform/Format.h"
#include "platform/NotificationCenter.h"

namespace kesto {
namespace {

constexpr int kMaximumSeconds = 366 * 24 * 3600;

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

// Ctrl-C ends the acquisition instead of the process, while the object
// lives (a failure on the way out included).
class InterruptHandler {
  public:
    InterruptHandler() {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptHandler() { sigaction(SIGINT, &previous_, nullptr); }
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

  private:
    struct sigaction previous_ {};
};

// What the engine's per-frame notification last said, observed for as long
// as the object lives (the observer refers to it).
class FrameWatch {
  public:
    explicit FrameWatch(BitmapProcessor& engine) {
        NotificationCenter::defaultCenter().addObserver(
            this, BitmapProcessor::kMatriceImageChanged,
            [this](const Notification& n) {
                const auto report = LightReport::from(n);
                if (!report) {
                    return;
                }
                level_.store(report->level);
                limit_.store(report->limit);
                frames_.fetch_add(1);
            },
            &engine);
    }
    ~FrameWatch() { NotificationCenter::defaultCenter().removeObserver(this); }
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    long long frames() const { return frames_.load(); }
    // The last frame's average was above the light limit.
    bool light() const { return frames() > 0 && level_.load() > limit_.load(); }

  private:
    std::atomic<long long> frames_{0};
    std::atomic<long long> level_{0};
    std::atomic<long long> limit_{0};
};

std::string hoursMinutesSeconds(double seconds) {
    const auto whole = static_cast<long long>(seconds > 0.0 ? seconds : 0.0);
    return cformat("%02lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
}

}  // namespace

void CaptureCommand::printHelp(std::ostream& out) {
    out << "Usage: kesto capture [--sensor SPEC] [--seconds N] [--profile [--data-dir D]] "
           "[--json]\n"
           "\n"
           "Runs one acquisition through the capture chain for N seconds (default 10) in\n"
           "real time and prints once a second the elapsed time, frames analysed, events,\n"
           "hits, dose rate and dose, and whether light reaches the sensor. Ctrl-C ends it\n"
           "early. The exit status is 1 when no frame arrived: nothing was measured.\n"
           "\n"
           "Sensors (--sensor overrides KESTO_SENSOR; the default is camera, the\n"
           "simulator only ever when asked for):\n"
           "  sim[:rate=R,seed=S,lens=covered|open,size=WxH,hot=N,hotseed=H,noise=L,frames=F]\n"
           "        simulated sensor, never a measurement: R μSv/h (default 0.5), a random\n"
           "        seed unless given, 480x360 frames; above 1980 μSv/h every frame has hits;\n"
           "        N hot pixels (default 0) placed by the seed H (default S: calibrate\n"
           "        once with H, measure with any S), mean dark level L (default 5); with\n"
           "        F, no frame after the first F, as from a camera that stops\n"
           "  camera[:DEVICE]\n"
           "        a Video4Linux camera, lens covered: /dev/video0, /dev/videoN or N\n"
           "  raw:DIR[,width=W,height=H,bytes-per-row=B,loop]\n"
           "        replays raw BGRA frame files of DIR in name order (default 480 × 360)\n"
           "  gst:PIPELINE\n"
           "        a GStreamer pipeline; unless it ends in an appsink named \"kesto\", the\n"
           "        chain appends: videoconvert ! videorate max-rate=10 !\n"
           "        video/x-raw,format=BGRA ! appsink name=kesto\n"
           "\n"
           "Options:\n"
           "  --json        one JSON object per line: first the sensor, then each second\n"
           "  --profile     use the camera's profile from 'kesto calibrate' (threshold,\n"
           "                light limit, hot pixels masked) instead of the defaults\n"
           "  --data-dir D  where profiles are kept (default $KESTO_DATA_DIR, else\n"
           "                $XDG_DATA_HOME/kesto or ~/.local/share/kesto)\n"
           "\n"
           "The dose rate follows the last 11 events, as the screens show it. After '|',\n"
           "each second also gives the run mean (all the events over the elapsed time;\n"
           "JSON: meanDoseRate) and its 95% interval (doseRateLower95, doseRateUpper95, in\n"
           "\u03bcSv/h): exact Poisson bounds. With no event yet the upper bound is the\n"
           "least rate that could still be there unseen.\n";
}

namespace {

// One second's read-out: a JSON line, or a text line.
void printSecond(std::ostream& out, bool json, const FrameWatch& watch,
                 const BitmapProcessor& engine) {
    const long long frames = watch.frames();
    const bool light = watch.light();
    const double duration = engine.acquisitionDuration();
    const double rateInBaseUnit = engine.instantaneousRadiation();
    const double doseInBaseUnit = engine.instantaneousVD();
    double rate = rateInBaseUnit;
    double dose = doseInBaseUnit;
    const std::string rateUnit = BitmapProcessor::getUnitOfVMValue(rate);
    const std::string doseUnit = BitmapProcessor::getUnitOfVDValue(dose);
    const std::int32_t hits = engine.cumulatedParticules();
    // Before the first particle the rate is what one event would give.
    const bool upperBound = hits == 0 && duration > 2.0;
    const auto interval = DoseRateInterval::forEvents(engine.nbEventDetected(), duration);
    if (json) {
        nlohmann::json line = {{"elapsed", duration},
                               {"frames", frames},
                               {"events", engine.nbEventDetected()},
                               {"hits", hits},
                               {"doseRate", rate},
                               {"doseRateUnit", rateUnit},
                               {"doseRateMicrosievertsPerHour", rateInBaseUnit},
                               {"doseRateIsUpperBound", upperBound},
                               {"dose", dose},
                               {"doseUnit", doseUnit},
                               {"doseMicrosieverts", doseInBaseUnit},
                               {"light", frames > 0 ? nlohmann::json(light) : nullptr}};
        IntervalReport::addFields(line, interval);
        out << line.dump() << std::endl;
        return;
    }
    out << hoursMinutesSeconds(duration)
        << cformat(
               "  frames %lld  events %d  hits %d  dose rate %s%0.2f %s  dose %0.2f %s  light %s",
               frames, engine.nbEventDetected(), hits, upperBound ? "< " : "", rate,
               rateUnit.c_str(), dose, doseUnit.c_str(),
               frames == 0 ? "unknown (no frames)"
               : light     ? "YES"
                           : "no")
        << IntervalReport::suffix(interval) << std::endl;
}

}  // namespace

int CaptureCommand::measure(CaptureBackend& backend, BitmapProcessor& engine,
                            const Options& options, const Waiter& wait, std::ostream& out,
                            std::ostream& err) {
    if (options.json) {
        nlohmann::json sensor = SensorBanner::fields(backend);
        sensor.erase("event");
        out << sensor.dump() << std::endl;
    } else {
        out << SensorBanner::text(backend) << std::endl;
    }

    const FrameWatch watch(engine);
    bool sawLight = false;
    {
        OrvVideoStreamController controller(backend, engine);
        engine.startAcquisition();
        controller.setupVideoChain();
        controller.activateVideoChain(true);
        for (int second = 1; second <= options.seconds; ++second) {
            if (!wait(second, controller.session())) {
                out << "Interrupted" << std::endl;
                break;
            }
            sawLight = sawLight || watch.light();
            printSecond(out, options.json, watch, engine);
        }
        engine.stopAcquisition();
        controller.activateVideoChain(false);
        controller.deleteVideoChain();
    }
    if (watch.frames() == 0) {
        err << "kesto capture: no frame arrived from " << backend.description()
            << ": nothing was measured\n";
        return 1;
    }
    if (sawLight) {
        err << "kesto capture: light reached the sensor: cover the camera, the figures do not "
               "count\n";
    }
    return 0;
}

void CaptureCommand::declareOptions(CLI::App& app) {
    app.add_option("--sensor", sensor_)->type_name("SPEC")->check(OptionChecks::notEmpty());
    app.add_option("--seconds", options_.seconds)
        ->type_name("N")
        ->check(OptionChecks::wholeNumber(1, kMaximumSeconds));
    app.add_flag("--json", options_.json);
    app.add_flag("--profile", profile_);
    app.add_option("--data-dir", dataDirectory_)->type_name("D")->check(OptionChecks::notEmpty());
}

int CaptureCommand::run(std::ostream& out, std::ostream& err) {
    const SensorSpec sensor = ApplicationOptions::selectSensor(sensor_);
    if (!profile_ && dataDirectory_) {
        throw UsageError("--data-dir: only with --profile");
    }
    if (profile_) {
        if (auto applied = ApplicationOptions::applyProfile(sensor, dataDirectory_); !applied) {
            return failed("capture", applied.error(), err);
        }
    }

    interrupted.store(false);
    const InterruptHandler handler;
    // Real time: the wait itself runs on a steady clock, in short steps so
    // Ctrl-C ends it promptly.
    const auto origin_time = std::chrono::steady_clock::now();
    const Waiter wait = [origin_time](int second, CaptureSession*) {
        const auto deadline = origin_time + std::chrono::seconds(second);
        while (!interrupted.load()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                return true;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                deadline - now, std::chrono::milliseconds(100)));
        }
        return false;
    };
    return measure(CaptureBackend::current(), BitmapProcessor::sharedInstance(), options_, wait,
                   out, err);
}

}  // namespace kesto
