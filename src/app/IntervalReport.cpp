#include "app/IntervalReport.h"

#include "app/ProgressReport.h"
#include "engine/BitmapProcessor.h"

namespace kesto {

std::string IntervalReport::meanText(const DoseRateInterval& interval) {
    return interval.known()
               ? "run mean " + DoseRateInterval::rateText(interval.mean()) + ", " + interval.text()
               : std::string();
}

std::string IntervalReport::suffix(const DoseRateInterval& interval) {
    return interval.known() ? "  |  " + meanText(interval) : std::string();
}

void IntervalReport::addFields(nlohmann::json& fields, const DoseRateInterval& interval) {
    fields["meanDoseRate"] = interval.known() ? nlohmann::json(interval.mean()) : nullptr;
    fields["doseRateLower95"] = interval.known() ? nlohmann::json(interval.lower()) : nullptr;
    fields["doseRateUpper95"] = interval.known() ? nlohmann::json(interval.upper()) : nullptr;
}

DoseRateInterval IntervalReport::addFigures(nlohmann::json& fields, const BitmapProcessor& engine) {
    const std::int32_t events = engine.nbEventDetected();
    const double seconds = engine.acquisitionDuration();
    const DoseRateInterval interval = DoseRateInterval::forEvents(events, seconds);
    fields["elapsedSeconds"] = seconds;
    fields["events"] = events;
    fields["doseMicrosieverts"] = engine.instantaneousVD();
    fields["doseRateMicrosievertsPerHour"] = engine.instantaneousRadiation();
    addFields(fields, interval);
    return interval;
}

std::string IntervalReport::detectableText(std::optional<double> seconds) {
    const std::string tail =
        " (3 events expected); a quiet reading does not rule out a lower rate. The read-out's "
        "dose rate follows the last 11 events; the run mean, after '|', takes them all, with "
        "its 95% interval";
    if (seconds) {
        return "This run can detect dose rates from " +
               DoseRateInterval::rateText(DoseRateInterval::detectableRate(*seconds)) + " up in " +
               std::to_string(static_cast<long long>(*seconds)) + " s" + tail;
    }
    return "A measurement can detect dose rates from " +
           DoseRateInterval::rateText(DoseRateInterval::detectableRate(60.0)) +
           " up after a minute, from " +
           DoseRateInterval::rateText(DoseRateInterval::detectableRate(3600.0)) +
           " up after an hour" + tail;
}

void IntervalReport::printDetectable(ProgressReport& report, std::optional<double> seconds) {
    nlohmann::json fields = {{"event", "detectable"}, {"unit", "\u03bcSv/h"}};
    if (seconds) {
        fields["seconds"] = *seconds;
        fields["doseRate"] = DoseRateInterval::detectableRate(*seconds);
    } else {
        fields["perMinute"] = DoseRateInterval::detectableRate(60.0);
        fields["perHour"] = DoseRateInterval::detectableRate(3600.0);
    }
    report.message(detectableText(seconds), fields);
}

}  // namespace kesto
