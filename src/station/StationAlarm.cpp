#include "station/StationAlarm.h"

namespace kesto {

StationAlarm::StationAlarm(double thresholdMicroSievertsPerHour, double windowSeconds)
    : threshold_(thresholdMicroSievertsPerHour), window_(windowSeconds) {}

std::optional<StationAlarm::Change> StationAlarm::judge(Date now, const CountWindow::Count& count) {
    last_ = DoseRateInterval::forEvents(count.events, count.seconds);
    if (!last_.known()) {
        return std::nullopt;
    }
    const bool raise = !raised_ && last_.lower() > threshold_;
    const bool clear = raised_ && last_.upper() < threshold_;
    if (!raise && !clear) {
        return std::nullopt;
    }
    raised_ = raise;
    changedAt_ = now;
    return Change{raised_, now, last_};
}

}  // namespace kesto
