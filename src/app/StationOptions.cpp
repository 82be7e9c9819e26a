#include "app/StationOptions.h"

#include <cmath>

#include <CLI/App.hpp>

#include "app/Command.h"
#include "app/OptionChecks.h"
#include "engine/DoseRateInterval.h"
#include "platform/Format.h"
#include "platform/ParseNumber.h"
#include "screens/RegisterRadioactivityViewController.h"
#include "toolkit/TextField.h"

namespace kesto {
namespace {

constexpr double kDay = 24.0 * 3600.0;

double duration(const std::optional<std::string>& text, const char* option, double fallback,
                double shortest, double longest) {
    if (!text) {
        return fallback;
    }
    const auto seconds = StationOptions::parseDuration(*text);
    if (!seconds || *seconds < shortest || *seconds > longest) {
        throw UsageError(std::string(option) + ": a duration from " +
                         std::to_string(static_cast<int>(shortest)) + " s to " +
                         std::to_string(static_cast<int>(longest)) +
                         " s is needed (e.g. 30s, 10m, 1h), not '" + *text + "'");
    }
    return *seconds;
}

}  // namespace

std::optional<double> StationOptions::parseDuration(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    double unit = 1.0;
    std::string digits = text;
    switch (text.back()) {
        case 's':
            digits.pop_back();
            break;
        case 'm':
            unit = 60.0;
            digits.pop_back();
            break;
        case 'h':
            unit = 3600.0;
            digits.pop_back();
            break;
        default:
            break;
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const auto value = parseNumber<std::uint32_t>(digits);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<double>(*value) * unit;
}

void StationOptions::declare(CLI::App& app) {
    app.add_flag("--station", enabled_);
    app.add_option("--interval", interval_)->type_name("DURATION");
    app.add_option("--station-tag", tag_)->type_name("TEXT");
    app.add_option("--alarm-above", alarmAbove_)->type_name("R")->check(CLI::Range(1e-6, 100000.0));
    app.add_option("--alarm-window", alarmWindow_)->type_name("DURATION");
    app.add_option("--alarm-command", alarmCommand_)
        ->type_name("CMD")
        ->check(OptionChecks::notEmpty());
}

void StationOptions::check() const {
    if (!enabled_) {
        for (const auto& [given, name] :
             {std::pair{interval_.has_value(), "--interval"},
              std::pair{tag_.has_value(), "--station-tag"},
              std::pair{alarmAbove_.has_value(), "--alarm-above"},
              std::pair{alarmWindow_.has_value(), "--alarm-window"},
              std::pair{alarmCommand_.has_value(), "--alarm-command"}}) {
            if (given) {
                throw UsageError(std::string(name) + " needs --station");
            }
        }
        return;
    }
    if (!alarmAbove_ && (alarmWindow_ || alarmCommand_)) {
        throw UsageError(std::string(alarmWindow_ ? "--alarm-window" : "--alarm-command") +
                         " needs --alarm-above");
    }
    const double interval =
        duration(interval_, "--interval", 600.0, kShortestInterval, kLongestInterval);
    if (std::fmod(kDay, interval) != 0.0) {
        throw UsageError("--interval: " + *interval_ +
                         " does not divide a day into whole intervals (10m, 15m, 30m, 1h do)");
    }
    const double window =
        duration(alarmWindow_, "--alarm-window", 600.0, kShortestInterval, kLongestAlarmWindow);
    // The alarm clears when the rate is surely below the threshold: a window
    // too short to show that even with no event would keep it raised for good.
    if (alarmAbove_) {
        const double silent = DoseRateInterval::forEvents(0, window).upper();
        if (silent >= *alarmAbove_) {
            const double needed = std::ceil(window * silent / *alarmAbove_ / 60.0 + 1e-9);
            throw UsageError(cformat(
                "--alarm-above %g: over a window of %s the alarm could never be cleared (with no "
                "event at all the rate could still be up to %.2f \u03bcSv/h); give a threshold "
                "above that, or --alarm-window %.0fm or longer",
                *alarmAbove_, StationOptions::lengthText(window).c_str(), silent, needed));
        }
    }
    if (tag_ &&
        TextField::characterCount(*tag_) > RegisterRadioactivityViewController::kMaxTagLength) {
        throw UsageError("--station-tag: at most " +
                         std::to_string(RegisterRadioactivityViewController::kMaxTagLength) +
                         " characters");
    }
}

Station::Options StationOptions::options() const {
    Station::Options options;
    options.intervalSeconds =
        duration(interval_, "--interval", 600.0, kShortestInterval, kLongestInterval);
    options.tag = tag_.value_or("");
    options.alarmAbove = alarmAbove_;
    options.alarmWindowSeconds =
        duration(alarmWindow_, "--alarm-window", 600.0, kShortestInterval, kLongestAlarmWindow);
    options.alarmCommand = alarmCommand_.value_or("");
    return options;
}

std::string StationOptions::intervalText() const {
    return lengthText(options().intervalSeconds);
}

std::string StationOptions::lengthText(double seconds) {
    if (std::fmod(seconds, 3600.0) == 0.0) {
        return std::to_string(static_cast<int>(seconds / 3600.0)) + " h";
    }
    if (std::fmod(seconds, 60.0) == 0.0) {
        return std::to_string(static_cast<int>(seconds / 60.0)) + " min";
    }
    return std::to_string(static_cast<int>(seconds)) + " s";
}

const char* StationOptions::helpText() {
    return "  --station        an always-on station: counts from start-up with no browser,\n"
           "                   saves each interval in the history (and uploads it)\n"
           "  --interval D     the station's intervals, on the clock (default 10m; 10s to\n"
           "                   1h, dividing a day)\n"
           "  --station-tag T  the tag of the saved intervals (default \"Station\")\n"
           "  --alarm-above R  raise the alarm when the dose rate over the window is surely\n"
           "                   above R μSv/h (its 95% interval above R); clear it when\n"
           "                   surely below\n"
           "  --alarm-window D the alarm's window (default 10m; up to 24h)\n"
           "  --alarm-command CMD  run by /bin/sh at each change, the figures in its\n"
           "                   environment (KESTO_ALARM=raised|cleared, KESTO_DOSE_RATE,\n"
           "                   KESTO_DOSE_RATE_LOWER, _UPPER, KESTO_ALARM_THRESHOLD,\n"
           "                   KESTO_ALARM_WINDOW, KESTO_ALARM_TIME, KESTO_SIMULATED, ...)\n";
}

}  // namespace kesto
