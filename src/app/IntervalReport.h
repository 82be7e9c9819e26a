#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/DoseRateInterval.h"

namespace kesto {

class BitmapProcessor;
class ProgressReport;

// The honest side of the terminal front ends' figures: the 95% interval
// beside a dose rate, and at the start the smallest rate a run can see.
//
// Threads: the main thread.
class IntervalReport {
  public:
    // "run mean 0.45 μSv/h, 95%: 0.12–0.89 μSv/h": the interval beside the
    // rate it belongs to (all the events over all the time), never beside the
    // screen's rate of the last events. Empty with no interval yet.
    static std::string meanText(const DoseRateInterval& interval);
    // "  |  " and meanText, or empty: after the screen's figures on one line.
    static std::string suffix(const DoseRateInterval& interval);
    // The JSON fields, always in μSv/h: meanDoseRate, doseRateLower95,
    // doseRateUpper95 (null when not known yet).
    static void addFields(nlohmann::json& fields, const DoseRateInterval& interval);
    // The engine's figures as numbers in base units, beside the texts a
    // screen shows: elapsedSeconds, events, doseMicrosieverts,
    // doseRateMicrosievertsPerHour (the rate the screen shows: over the last
    // ten events, or since the start before eleven), and the 95% interval of
    // the mean rate over the same events and seconds. Returns that interval.
    static DoseRateInterval addFigures(nlohmann::json& fields, const BitmapProcessor& engine);

    // The smallest detectable dose rate over a run of `seconds`, or per
    // minute and per hour for an open-ended one, as a message.
    static void printDetectable(ProgressReport& report, std::optional<double> seconds);
    static std::string detectableText(std::optional<double> seconds);
};

}  // namespace kesto
