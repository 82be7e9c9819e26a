#include "web/MetricsExporter.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "camera/CaptureBackend.h"
#include "camera/ContinuousCaptureBackend.h"
#include "camera/PipelineCaptureBackend.h"
#include "camera/RawCaptureBackend.h"
#include "engine/BitmapProcessor.h"
#include "engine/DoseModel.h"
#include "engine/DoseRateInterval.h"
#include "engine/LightReport.h"
#include "history/RadiationHistoryMng.h"
#include "history/UploadLog.h"
#include "platform/CLocaleScope.h"
#include "platform/Clock.h"
#include "platform/Format.h"
#include "platform/NotificationCenter.h"
#include "platform/ThreadCheck.h"
#include "station/Station.h"

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
    // A family of one sample.
    void gauge(const char* name, const char* help, double value) {
        family(name, "gauge", help);
        sample(value);
    }
    std::string take() { return std::move(text_); }

  private:
    std::string labels_;
    std::string name_;
    std::string text_;
};

// The station's families.
void renderStation(Writer& w, const Station::Reading& station) {
    static constexpr std::array<const char*, Station::kRateWindows.size()> names = {"1m", "10m",
                                                                                    "1h"};
    std::array<DoseRateInterval, Station::kRateWindows.size()> intervals;
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        intervals[i] =
            DoseRateInterval::forEvents(station.windows[i].events, station.windows[i].seconds);
    }
    const auto perWindow = [&](const char* name, const char* help, auto value) {
        w.family(name, "gauge", help);
        for (std::size_t i = 0; i < intervals.size(); ++i) {
            w.sample(value(i), cformat(",window=\"%s\"", names[i]));
        }
    };
    perWindow("kesto_station_dose_rate_microsieverts_per_hour",
              "Mean dose rate over the window (dark time only), in microsieverts per hour.",
              [&](std::size_t i) {
                  const auto& c = station.windows[i];
                  return c.seconds > 0.0 ? static_cast<double>(c.events) *
                                               DoseModel::kOneEventPerSecond / c.seconds
                                         : NAN;
              });
    perWindow("kesto_station_dose_rate_lower_microsieverts_per_hour",
              "Lower bound of the window's dose rate, 95% interval.",
              [&](std::size_t i) { return intervals[i].known() ? intervals[i].lower() : NAN; });
    perWindow("kesto_station_dose_rate_upper_microsieverts_per_hour",
              "Upper bound of the window's dose rate, 95% interval.",
              [&](std::size_t i) { return intervals[i].known() ? intervals[i].upper() : NAN; });
    perWindow("kesto_station_dark_seconds", "Dark time the window's rate was measured over.",
              [&](std::size_t i) { return station.windows[i].seconds; });
    w.family("kesto_station_interval_events", "gauge", "Events of the interval in progress.");
    w.sample(static_cast<double>(station.events));
    w.family("kesto_station_interval_dark_seconds", "gauge",
             "Time the interval in progress has measured (dark frames coming).");
    w.sample(station.darkSeconds);
    w.family("kesto_station_interval_lit_seconds", "gauge",
             "Time of the interval in progress lost to light on the sensor.");
    w.sample(station.litSeconds);
    w.family("kesto_station_light", "gauge",
             "1 when light reaches the sensor (those frames are not counted).");
    w.sample(station.light ? 1.0 : 0.0);
    w.family("kesto_station_frames_arriving", "gauge",
             "1 while frames arrive, 0 when none came for 5 seconds.");
    w.sample(station.framesArriving ? 1.0 : 0.0);
    w.family("kesto_station_intervals_saved_total", "counter",
             "Intervals saved in the history since the server started.");
    w.sample(static_cast<double>(station.intervalsSaved));
    if (station.alarm) {
        w.family("kesto_alarm", "gauge",
                 "1 while the station's alarm is raised (the rate surely above the threshold).");
        w.sample(station.alarm->raised() ? 1.0 : 0.0);
        w.family("kesto_alarm_threshold_microsieverts_per_hour", "gauge",
                 "The dose rate above which the alarm is raised.");
        w.sample(station.alarm->threshold());
    }
}

// The current or last acquisition, as the engine has it.
void renderAcquisition(Writer& w, BitmapProcessor& engine) {
    w.gauge("kesto_acquisition_running", "1 while an acquisition runs.",
            engine.acquisitionEnCours() ? 1.0 : 0.0);
    w.gauge("kesto_acquisition_events", "Events of the current or last acquisition.",
            engine.nbEventDetected());
    w.gauge("kesto_acquisition_hits",
            "Hits (pixels over the limit) of the current or last acquisition.",
            engine.cumulatedParticules());
    w.gauge("kesto_acquisition_dose_microsieverts",
            "Dose of the current or last acquisition, in microsieverts.", engine.instantaneousVD());
    // The bounds are those of the acquisition's events over its time, as the
    // front ends show them beside the screens' figures.
    const DoseRateInterval interval = DoseRateInterval::ofEngine(engine);
    w.gauge("kesto_dose_rate_microsieverts_per_hour",
            "Current dose rate, in microsieverts per hour.", engine.instantaneousRadiation());
    w.gauge("kesto_dose_rate_lower_microsieverts_per_hour",
            "Lower bound of the acquisition's dose rate, 95% interval.", interval.lower());
    w.gauge("kesto_dose_rate_upper_microsieverts_per_hour",
            "Upper bound of the acquisition's dose rate, 95% interval.", interval.upper());
}

}  // namespace

MetricsExporter::MetricsExporter(CaptureBackend& backend, BitmapProcessor& engine,
                                 const Station* station)
    : backend_(backend), engine_(engine), station_(station) {
    KESTO_CHECK_MAIN_THREAD();
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(
        this, BitmapProcessor::kMatriceImageChanged,
        [this](const Notification& notification) {
            frames_.fetch_add(1, std::memory_order_relaxed);
            lastFrame_.store(Clock::now().unixSeconds(), std::memory_order_relaxed);
            if (const auto report = LightReport::from(notification)) {
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
    if (auto* continuous = dynamic_cast<ContinuousCaptureBackend*>(&backend)) {
        return sensorLabel(continuous->source());
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
    const std::optional<Station::Reading> station =
        station_ != nullptr ? std::optional<Station::Reading>(station_->reading()) : std::nullopt;
    w.family("kesto_frames_total", "counter", "Frames analysed since the server started.");
    w.sample(static_cast<double>(station ? station->frames : frames_.load()));
    w.family("kesto_last_frame_timestamp_seconds", "gauge",
             "When the last frame was analysed, in seconds since 1970 (0 before the first).");
    // A station reads every frame; the engine's only an acquisition's.
    w.sample(station && station->lastFrame ? station->lastFrame->unixSeconds() : lastFrame_.load());
    w.family("kesto_frames_stopped", "gauge",
             "1 when the current or last acquisition's camera stopped sending frames.");
    w.sample(engine_.framesStopped() || engine_.endedByCamera() ? 1.0 : 0.0);
    w.family("kesto_events_total", "counter", "Events detected since the server started.");
    w.sample(static_cast<double>(events_.load()));
    renderAcquisition(w, engine_);
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
    if (station) {
        renderStation(w, *station);
    }
    return w.take();
}

}  // namespace kesto
