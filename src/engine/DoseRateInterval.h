#pragma once

#include <cstdint>
#include <string>

namespace kesto {

class BitmapProcessor;

// How far a dose rate measured from a few events can be trusted: the exact
// (Garwood) 95% bounds on the mean of a Poisson count, turned into μSv/h by
// the dose model over the time the events were counted in. With no event
// yet the lower bound is 0 and the upper one, 3.69 events over the time, is
// the least rate that could still be there unseen.
//
// Threads: a plain value; any thread. ofEngine reads the engine as its
// figures allow (the main thread).
class DoseRateInterval {
  public:
    static constexpr double kConfidence = 0.95;
    // Events expected over a run for a rate to count as detectable by it.
    static constexpr double kDetectableEvents = 3.0;

    // Bounds on the Poisson mean behind `events` observed events.
    struct EventBounds {
        double lower = 0.0;
        double upper = 0.0;
    };
    static EventBounds eventBounds(std::int64_t events);

    // The interval for `events` over `seconds`; no interval (known() false)
    // for no time at all.
    static DoseRateInterval forEvents(std::int64_t events, double seconds);
    // An interval forEvents gave before, from its kept figures (a database
    // row), without computing the bounds again.
    static DoseRateInterval fromBounds(std::int64_t events, double seconds, double lower,
                                       double upper);
    // The engine's running (or last) acquisition.
    static DoseRateInterval ofEngine(const BitmapProcessor& engine);
    // The least dose rate (μSv/h) that gives three events expected over
    // `seconds`: below it, a quiet run says nothing.
    static double detectableRate(double seconds);

    bool known() const { return known_; }
    std::int64_t events() const { return events_; }
    double seconds() const { return seconds_; }
    double lower() const { return lower_; }  // μSv/h
    double upper() const { return upper_; }  // μSv/h

    // "95%: 0.12–0.89 μSv/h" (both bounds in the upper one's unit), or with
    // no event yet "95%: below 0.89 μSv/h"; empty when not known.
    std::string text() const;
    // A rate with its unit: "0.89 μSv/h", "1.20 mSv/h".
    static std::string rateText(double rate);

  private:
    bool known_ = false;
    std::int64_t events_ = 0;
    double seconds_ = 0.0;
    double lower_ = 0.0;
    double upper_ = 0.0;
};

}  // namespace kesto
