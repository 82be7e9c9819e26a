#include "web/MetricsExporter.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "camera/CaptureBackend.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/RawCaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseModel.h"
#include "engine/DoseRateInterval.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/CLocaleScope.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCheck.h"
#include "screens/MaskReport.h"

namespace kesto {
namespace {

class Writer {
  public:
    explicit Writer(std::string labels) : labels_(std::move(labels)) {}

    void family(const char* name, const char* type, const char* help) {
        text_ += cformat("# HELP %s %s\n# TYPE %s %s\n", name, help, name, type);
        name_ = name;
    }
    void sample(double value, const std::string& extra = {}) {
        text_ += name_ + "{" + labels_ + extra + "} ";
        // The shortest text that reads back as the same number.
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        text_ += std::isfinite(value) ? std::string(digits, end) : std::string("NaN");
        text_ += '\n';
    }
    std::string take() { return std::move(text_); }

  private:
    std::string labels_;
    std::string name_;
    std::string text_;
};

}  // namespace

MetricsExporter::MetricsExporter(CaptureBackend& backend, BitmapProcessor& engine)
    : backend_(backend), engine_(engine) {
    KESTO_CHECK_MAIN_THREAD();
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(
        this, BitmapProcessor::kMatriceImageChanged,
        [this](const Notification& notification) {
            frames_.fetch_add(1, std::memory_order_relaxed);
            lastFrame_.store(Clock::now().unixSeconds(), std::memory_order_relaxed);
            if (const auto report = MaskReport::from(notification)) {
                light_.store(report->lightReaches(), std::memory_order_relaxed);
            }
        },
        &engine_);
    center.addObserver(
        this, BitmapProcessor::kEventDetected,
        [this](const Notification&) { events_.fetch_add(1, std::memory_order_relaxed); }, &engine_);
}

MetricsExporter::~MetricsExporter() {
    // Waits for a call in progress on the frame thread.
    NotificationCenter::defaultCenter().removeObserver(this);
}

const char* MetricsExporter::sensorLabel(CaptureBackend& backend) {
    // The simulated flag first: whatever the class, a made-up frame is "sim".
    if (backend.isSimulated()) {
        return "sim";
    }
    if (dynamic_cast<RawCaptureBackend*>(&backend) != nullptr) {
        return "raw";
    }
    if (dynamic_cast<PipelineCaptureBackend*>(&backend) != nullptr) {
        return "gst";
    }
    return "camera";
}

std::string MetricsExporter::escapeLabel(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string MetricsExporter::render() const {
    KESTO_CHECK_MAIN_THREAD();
    const CLocaleScope cLocale;  // numbers with a point, whatever the locale
    const std::string sensor = sensorLabel(backend_);
    Writer w("sensor=\"" + sensor + "\"");

    w.family("kesto_sensor_info", "gauge", "The sensor the detector reads (always 1).");
    w.sample(1.0, cformat(",simulated=\"%s\",description=\"",
                          backend_.isSimulated() ? "true" : "false") +
                      escapeLabel(backend_.description()) + "\"");
    w.family("kesto_frames_total", "counter", "Frames analysed since the server started.");
    w.sample(static_cast<double>(frames_.load()));
    w.family("kesto_last_frame_timestamp_seconds", "gauge",
             "When the last frame was analysed, in seconds since 1970 (0 before the first).");
    w.sample(lastFrame_.load());
    w.family("kesto_frames_stopped", "gauge",
             "1 when the current or last acquisition's camera stopped sending frames.");
    w.sample(engine_.framesStopped() || engine_.endedByCamera() ? 1.0 : 0.0);
    w.family("kesto_events_total", "counter", "Events detected since the server started.");
    w.sample(static_cast<double>(events_.load()));
    w.family("kesto_acquisition_running", "gauge", "1 while an acquisition runs.");
    w.sample(engine_.acquisitionEnCours() ? 1.0 : 0.0);
    w.family("kesto_acquisition_events", "gauge", "Events of the current or last acquisition.");
    w.sample(engine_.nbEventDetected());
    w.family("kesto_acquisition_hits", "gauge",
             "Hits (pixels over the limit) of the current or last acquisition.");
    w.sample(engine_.cumulatedParticules());
    w.family("kesto_acquisition_dose_microsieverts", "gauge",
             "Dose of the current or last acquisition, in microsieverts.");
    w.sample(engine_.instantaneousVD());
    const double rate = engine_.instantaneousRadiation();
    // The bounds are those of the acquisition's events over its time, as the
    // front ends show them beside the screens' figures.
    const DoseRateInterval interval = DoseRateInterval::ofEngine(engine_);
    w.family("kesto_dose_rate_microsieverts_per_hour", "gauge",
             "Current dose rate, in microsieverts per hour.");
    w.sample(rate);
    w.family("kesto_dose_rate_lower_microsieverts_per_hour", "gauge",
             "Lower bound of the acquisition's dose rate, 95% interval.");
    w.sample(interval.lower());
    w.family("kesto_dose_rate_upper_microsieverts_per_hour", "gauge",
             "Upper bound of the acquisition's dose rate, 95% interval.");
    w.sample(interval.upper());
    w.family("kesto_light", "gauge", "1 when the last frame said light reaches the sensor.");
    w.sample(light_.load() ? 1.0 : 0.0);
    const RadiationHistoryMng::RecordList* list =
        RadiationHistoryMng::getRadiationHistoryRecordList();
    w.family("kesto_saved_measurements", "gauge", "Measurements in the history served.");
    w.sample(list ? static_cast<double>(list->size()) : 0.0);
    w.family("kesto_uploads_total", "counter",
             "Uploads since the server started, by outcome (acknowledged: HTTP 2xx).");
    w.sample(static_cast<double>(UploadLog::sentCount()), ",outcome=\"acknowledged\"");
    w.sample(static_cast<double>(UploadLog::failedCount()), ",outcome=\"failed\"");
    return w.take();
}

}  // namespace kesto
