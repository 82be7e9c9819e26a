#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace kesto {

class BitmapProcessor;
class CaptureBackend;
class Station;

// The figures an always-on detector is graphed and alarmed on, in the
// Prometheus text exposition format (version 0.0.4), for GET /metrics:
//
//   kesto_sensor_info            1, with the sensor's kind, "simulated" and description
//   kesto_frames_total           frames analysed since the server started (counter)
//   kesto_last_frame_timestamp_seconds  when the last frame was analysed (Unix time, 0 before)
//   kesto_frames_stopped         1 when the current or last acquisition's camera
//                                stopped sending frames (none for 5 s), until the next
//   kesto_events_total           events detected since the server started (counter)
//   kesto_acquisition_running    1 while an acquisition runs
//   kesto_acquisition_events     events of the current (or last) acquisition
//   kesto_acquisition_hits       hits (pixels over the limit) of that acquisition
//   kesto_acquisition_dose_microsieverts
//   kesto_dose_rate_microsieverts_per_hour, and its _lower and _upper 95% bounds
//   kesto_light                  1 when the last frame said light reaches the sensor
//   kesto_saved_measurements     measurements in the history served
//   kesto_uploads_total          uploads by outcome ("acknowledged" or "failed")
//
// With an always-on station (Station), kesto_frames_total and
// kesto_last_frame_timestamp_seconds follow the frames it analysed since
// start-up, and:
//
//   kesto_station_dose_rate_microsieverts_per_hour{window="1m"|"10m"|"1h"}
//                                the mean dose rate over the last minute, ten
//                                minutes, hour (dark time only), and its
//   kesto_station_dose_rate_lower_microsieverts_per_hour, _upper_  95% bounds
//   kesto_station_dark_seconds{window=...}   the dark time they were measured over
//   kesto_station_interval_events, kesto_station_interval_dark_seconds,
//   kesto_station_interval_lit_seconds       the interval in progress
//   kesto_station_light          1 when light reaches the sensor (not counted)
//   kesto_station_frames_arriving  0 when the camera has sent nothing for 5 s
//   kesto_station_intervals_saved_total
//   kesto_alarm                  1 while the alarm is raised (with --alarm-above),
//   kesto_alarm_threshold_microsieverts_per_hour
//
// Every sample carries sensor="camera" | "sim" | "raw" | "gst", so that a
// simulated sensor's figures are never taken for a real one's.
//
// Threads: construction, render() and destruction on the main thread; the
// frame and event counts arrive on the frame thread.
class MetricsExporter {
  public:
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    // `station` (may be null) must outlive the exporter.
    MetricsExporter(CaptureBackend& backend, BitmapProcessor& engine,
                    const Station* station = nullptr);
    ~MetricsExporter();
    MetricsExporter(const MetricsExporter&) = delete;
    MetricsExporter& operator=(const MetricsExporter&) = delete;

    std::string render() const;

    // The label value naming `backend`'s kind.
    static const char* sensorLabel(CaptureBackend& backend);
    // A label value with \, " and newlines escaped.
    static std::string escapeLabel(const std::string& value);

  private:
    CaptureBackend& backend_;
    BitmapProcessor& engine_;
    const Station* station_;
    std::atomic<std::uint64_t> frames_{0};
    std::atomic<double> lastFrame_{0.0};  // Unix seconds
    std::atomic<std::uint64_t> events_{0};
    std::atomic<bool> light_{false};
};

}  // namespace kesto
