#include "station/StationCounter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kesto {
namespace {

constexpr double kHour = 3600.0;

}  // namespace

StationCounter::StationCounter(double intervalSeconds, double longestWindow)
    : length_(intervalSeconds), window_(std::max(kHour, longestWindow)) {}

Date StationCounter::boundaryBefore(Date date) const {
    return Date::fromUnixSeconds(std::floor(date.unixSeconds() / length_) * length_);
}

void StationCounter::begin(Date now, std::optional<StationInterval> resumed) {
    std::lock_guard lock(mutex_);
    counting_ = true;
    lastFrame_.reset();
    closed_.clear();
    if (resumed && resumed->start <= now && now < resumed->end) {
        current_ = std::move(*resumed);
        return;
    }
    current_ = StationInterval{};
    current_.start = Date::fromUnixSeconds(std::floor(now.unixSeconds()));
    current_.end = boundaryBefore(now).addingTimeInterval(length_);
}

void StationCounter::account(Date from, Date to, bool light) {
    from = std::max(from, current_.start);
    to = std::min(to, current_.end);
    const double span = to.timeIntervalSince(from);
    if (!(span > 0.0)) {
        return;
    }
    if (light) {
        current_.litSeconds += span;
    } else {
        current_.darkSeconds += span;
        window_.add(to, span, 0);
    }
}

void StationCounter::close() {
    closed_.push_back(std::move(current_));
    current_ = StationInterval{};
}

void StationCounter::rollOver(Date now) {
    const Date end = current_.end;
    close();
    if (now >= end && now < end.addingTimeInterval(length_)) {
        current_.start = end;
    } else {
        // The clock jumped (forward past a whole interval, or back): count on
        // from the interval holding the new time.
        current_.start = boundaryBefore(now);
    }
    current_.end = current_.start.addingTimeInterval(length_);
}

void StationCounter::addFrame(Date now, std::int32_t hits, bool light) {
    std::lock_guard lock(mutex_);
    if (!counting_) {
        return;
    }
    ++framesTotal_;
    light_ = light;
    const std::optional<Date> previous = std::exchange(lastFrame_, now);
    const double gap = previous ? now.timeIntervalSince(*previous) : 0.0;
    const bool counted = previous && gap > 0.0 && gap <= kLongestFrameGap;
    if (now >= current_.end) {
        if (counted) {
            account(*previous, current_.end, light);  // the gap's part before the boundary
        }
        rollOver(now);
    } else if (now < current_.start) {
        rollOver(now);  // the clock went back
    }
    if (!counted) {
        return;
    }
    account(*previous, now, light);
    if (light) {
        return;
    }
    ++current_.frames;
    if (hits > 0) {
        current_.events.push_back(RadiationEvent::RadiationEventAtTime(current_.darkSeconds, hits));
        window_.add(now, 0.0, 1);
    }
}

std::vector<StationInterval> StationCounter::closeDue(Date now) {
    std::lock_guard lock(mutex_);
    if (counting_ && (now >= current_.end.addingTimeInterval(kLongestFrameGap) ||
                      now < current_.start.addingTimeInterval(-kLongestFrameGap))) {
        rollOver(now);
    }
    return std::exchange(closed_, {});
}

std::vector<StationInterval> StationCounter::finish(Date now) {
    std::lock_guard lock(mutex_);
    if (!counting_) {
        return std::exchange(closed_, {});
    }
    if (now >= current_.end) {
        rollOver(now);
    }
    counting_ = false;
    close();
    return std::exchange(closed_, {});
}

bool StationCounter::counting() const {
    std::lock_guard lock(mutex_);
    return counting_;
}

StationInterval StationCounter::current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

CountWindow::Count StationCounter::window(Date now, double seconds) const {
    std::lock_guard lock(mutex_);
    return window_.sum(now, seconds);
}

bool StationCounter::light() const {
    std::lock_guard lock(mutex_);
    return light_;
}

std::optional<Date> StationCounter::lastFrameDate() const {
    std::lock_guard lock(mutex_);
    return lastFrame_;
}

std::uint64_t StationCounter::framesTotal() const {
    std::lock_guard lock(mutex_);
    return framesTotal_;
}

}  // namespace kesto
