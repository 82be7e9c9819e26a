#pragma once

#include <functional>
#include <memory>

#include "platform/Date.h"
#include "platform/RunLoop.h"

namespace kesto {

// A timer on the main run loop, owned by whoever scheduled it: it fires until
// invalidate() or until the handle is destroyed. A repeating timer fires at
// start + k × interval, k = 1, 2, ...; a one-shot timer fires once and is
// then no longer valid.
//
// Threads: main thread only (schedule, invalidate, destroy); the action runs
// on the main thread. The action may invalidate or destroy its own timer.
class Timer {
  public:
    static std::unique_ptr<Timer> scheduledTimer(double interval, bool repeats,
                                                 std::function<void()> action);

    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Ends the timer for good; later calls do nothing.
    void invalidate();
    bool isValid() const;
    double timeInterval() const { return interval_; }
    Date fireDate() const;

    // Only scheduledTimer builds timers.
    class Key {
        friend class Timer;
        Key() = default;
    };
    Timer(Key, RunLoop& loop, double interval);

  private:
    RunLoop& loop_;
    double interval_;
    RunLoop::TimerId id_ = 0;
};

}  // namespace kesto
