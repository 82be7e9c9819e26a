#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Date.h"
#include "station/CountWindow.h"
#include "station/StationInterval.h"

namespace kesto {

// The counting of an always-on station. Frames come in with the time they
// were analysed, the hits they held and whether light reached the sensor;
// the run is cut into intervals at the multiples of the interval's length
// since midnight UTC (a length that divides a day, so that 10-minute
// intervals start at :00, :10, ...).
//
// A frame counts the time since the previous frame: as dark time when it is
// dark, as lit time when it is lit, and not at all when that gap is longer
// than kLongestFrameGap (the camera stopped sending: nobody watched). A dark
// frame with hits is one event, at the interval's dark time so far. The time
// before the first frame is not counted; a gap that spans a boundary is
// shared between the two intervals.
//
// Intervals close when a frame comes after their end, or, when none comes,
// at closeDue() kLongestFrameGap after it. A clock that jumps forward by
// more than an interval (a board setting its clock from the network) closes
// the interval in progress and starts the one holding the new time, without
// a run of empty intervals between; one that jumps back before the interval
// closes it too.
//
// Threads: addFrame on the capture thread; everything else on the main
// thread. One mutex guards the state.
class StationCounter {
  public:
    static constexpr double kLongestFrameGap = 5.0;  // seconds

    // `intervalSeconds` divides a day; `longestWindow` is the longest rate
    // window asked of window() (an hour at least is kept).
    StationCounter(double intervalSeconds, double longestWindow);

    // Starts counting at `now`: in `resumed` when it is still open at `now`
    // (a checkpoint of the same interval), else in a fresh interval from now
    // to the next boundary.
    void begin(Date now, std::optional<StationInterval> resumed = std::nullopt);
    // One analysed frame.
    void addFrame(Date now, std::int32_t hits, bool light);
    // Closes the interval in progress when `now` is kLongestFrameGap past its
    // end (no frame came to close it), then hands over every interval closed
    // since the last call, oldest first.
    std::vector<StationInterval> closeDue(Date now);
    // Stops counting: the closed intervals not yet handed over, then the one
    // in progress as it stands (its end left as the boundary).
    std::vector<StationInterval> finish(Date now);

    bool counting() const;
    // A copy of the interval in progress.
    StationInterval current() const;
    // Dark time and events over the last `seconds` up to `now`.
    CountWindow::Count window(Date now, double seconds) const;
    // The last frame said light reaches the sensor.
    bool light() const;
    std::optional<Date> lastFrameDate() const;
    std::uint64_t framesTotal() const;

    // The boundary at or before `date`, and the one after it.
    Date boundaryBefore(Date date) const;

  private:
    // Adds [from, to) of dark or lit time to the interval in progress.
    void account(Date from, Date to, bool light);
    // Moves on to the interval holding `now`, closing the one in progress.
    void rollOver(Date now);
    void close();

    const double length_;
    mutable std::mutex mutex_;
    bool counting_ = false;
    StationInterval current_;
    std::vector<StationInterval> closed_;
    CountWindow window_;
    std::optional<Date> lastFrame_;
    bool light_ = false;
    std::uint64_t framesTotal_ = 0;
};

}  // namespace kesto
