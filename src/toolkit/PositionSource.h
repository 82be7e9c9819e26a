#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "toolkit/Location.h"
#include "toolkit/PositionSpec.h"

namespace kesto {

// Where a source hands its fixes and failures, from whichever thread it
// runs on.
struct PositionSink {
    std::function<void(const Location&)> fix;
    std::function<void(const std::string&)> failure;
};

// The device behind a LocationManager. start() begins a delivery to `sink`
// (a second start() ends the first delivery); stop() ends it, and once it
// has returned the sink is never called again and no longer referenced.
//
// Threads: start() and stop() from one thread (the manager's, the main
// thread); the sink may be called from any thread in between.
class PositionSource {
  public:
    virtual ~PositionSource() = default;
    virtual void start(PositionSink sink) = 0;
    virtual void stop() = 0;
};

// No device: never a fix, never a failure.
class NoPositionSource final : public PositionSource {
  public:
    void start(PositionSink) override {}
    void stop() override {}
};

// A fixed place: each start delivers one fresh fix there, accuracy 0,
// stamped with the clock's current time.
class FixedPositionSource final : public PositionSource {
  public:
    FixedPositionSource(double latitude, double longitude)
        : latitude_(latitude), longitude_(longitude) {}
    void start(PositionSink sink) override;
    void stop() override {}

  private:
    double latitude_;
    double longitude_;
};

// Fixes and failures injected by hand, from any thread: tests of what a
// delegate accepts choose each fix's accuracy and time stamp. Injections
// while stopped go nowhere (and answer false).
class ManualPositionSource final : public PositionSource {
  public:
    void start(PositionSink sink) override;
    void stop() override;

    bool deliver(const Location& location);
    bool fail(const std::string& error);
    bool isStarted() const;
    int startCount() const;

  private:
    mutable std::mutex mutex_;
    std::optional<PositionSink> sink_;
    int starts_ = 0;
};

// The source a selection asks for.
std::unique_ptr<PositionSource> makePositionSource(const PositionSpec& spec);

}  // namespace kesto
