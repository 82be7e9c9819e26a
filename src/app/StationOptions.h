#pragma once

#include <optional>
#include <string>

#include "station/Station.h"

namespace CLI {
class App;
}

namespace kesto {

// The options of `kesto serve` that make it an always-on station:
// --station, --interval, --station-tag, --alarm-above, --alarm-window,
// --alarm-command. Durations are written 30s, 10m, 1h (a bare number is
// seconds); an interval divides a day, from 10 s to 1 h; an alarm's window
// must be long enough for the alarm to be cleared at all.
//
// Threads: the main thread.
class StationOptions {
  public:
    static constexpr double kShortestInterval = 10.0;
    static constexpr double kLongestInterval = 3600.0;
    static constexpr double kLongestAlarmWindow = 24.0 * 3600.0;

    void declare(CLI::App& app);
    // Throws UsageError for values that cannot be used together.
    void check() const;
    bool enabled() const { return enabled_; }
    // The station's options from these (the capture, position and simulated
    // flag are the caller's).
    Station::Options options() const;
    static const char* helpText();
    // "10 min", "10 s", "1 h": the interval for a person.
    std::string intervalText() const;
    // "10 min", "10 s", "1 h": a duration for a person.
    static std::string lengthText(double seconds);
    const std::optional<double>& alarmAbove() const { return alarmAbove_; }

    // "30s", "10m", "1h", "600" → seconds; nothing for anything else.
    static std::optional<double> parseDuration(const std::string& text);

  private:
    bool enabled_ = false;
    std::optional<std::string> interval_;
    std::optional<std::string> tag_;
    std::optional<double> alarmAbove_;
    std::optional<std::string> alarmWindow_;
    std::optional<std::string> alarmCommand_;
};

}  // namespace kesto
