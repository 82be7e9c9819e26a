#pragma once

#include <compare>
#include <string>

namespace kesto {

// An absolute point in time with sub-second precision: seconds since
// 1970-01-01 00:00:00 UTC. A plain value, freely copied between threads.
class Date {
  public:
    // Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the
    // reference date of property-list dates.
    static constexpr double kReferenceDateOffset = 978307200.0;

    constexpr Date() = default;
    static constexpr Date fromUnixSeconds(double seconds) { return Date(seconds); }
    static constexpr Date fromReferenceSeconds(double seconds) {
        return Date(seconds + kReferenceDateOffset);
    }

    constexpr double unixSeconds() const { return seconds_; }
    constexpr double referenceSeconds() const { return seconds_ - kReferenceDateOffset; }

    // Seconds from `earlier` to this date (negative when this one is earlier).
    constexpr double timeIntervalSince(Date earlier) const { return seconds_ - earlier.seconds_; }
    constexpr Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }

    // ISO 8601 in UTC, e.g. "2011-03-13T06:26:40Z"; fractions of a second are
    // written with millisecond precision when present.
    std::string iso8601() const;

    constexpr auto operator<=>(const Date&) const = default;

  private:
    constexpr explicit Date(double seconds) : seconds_(seconds) {}
    double seconds_ = 0.0;
};

}  // namespace kesto
