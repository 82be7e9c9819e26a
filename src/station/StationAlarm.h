#pragma once

#include <optional>

#include "engine/DoseRateInterval.h"
#include "platform/Date.h"
#include "station/CountWindow.h"

namespace kesto {

// A station's alarm on a dose rate: raised when the lower 95% bound of the
// rate over the window is above the threshold (the rate is surely above
// it), cleared when the upper bound is below it (surely below). In between
// it stays as it is, so a rate near the threshold does not raise and clear
// it again and again.
//
// Threads: a value; the main thread.
class StationAlarm {
  public:
    struct Change {
        bool raised = false;
        Date at;
        DoseRateInterval interval;  // the window's, which made the change
    };

    StationAlarm(double thresholdMicroSievertsPerHour, double windowSeconds);

    // Judges the window's count at `now`: the change it made, if any.
    std::optional<Change> judge(Date now, const CountWindow::Count& count);

    double threshold() const { return threshold_; }
    double windowSeconds() const { return window_; }
    bool raised() const { return raised_; }
    // When it was last raised or cleared; nothing before the first change.
    const std::optional<Date>& changedAt() const { return changedAt_; }
    // The interval last judged.
    const DoseRateInterval& last() const { return last_; }

  private:
    double threshold_;
    double window_;
    bool raised_ = false;
    std::optional<Date> changedAt_;
    DoseRateInterval last_;
};

}  // namespace kesto
